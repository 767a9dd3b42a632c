#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "diag/diagnostics.h"
#include "launch/launch.h"
#include "launch/launch_host.h"

namespace morvex {
namespace {

constexpr WindowsError kFileNotFound = 2;
constexpr WindowsError kAccessDenied = 5;
constexpr WindowsError kBadExeFormat = 193;

// Records every existence test and start; files not listed do not exist.
class FakeHost final : public LaunchHost {
 public:
  std::map<std::string, WindowsError> files;  // path -> its existence test's result
  std::map<std::string, WindowsError> start_errors;
  std::optional<std::string> search_path;
  char separator = ';';
  bool double_byte = false;  // lead bytes as in code page 932
  bool posix = false;        // the names a POSIX shell finds, joined with "/"
  std::vector<std::string> runnable;

  std::vector<std::string> tested;
  std::vector<std::string> started;
  std::string started_command_line;

  WindowsError test_existence(const std::string& path) override {
    tested.push_back(path);
    const auto file = files.find(path);
    return file == files.end() ? kFileNotFound : file->second;
  }
  WindowsError start(const std::string& path, const std::string& command_line) override {
    started.push_back(path);
    started_command_line = command_line;
    const auto error = start_errors.find(path);
    return error == start_errors.end() ? kNoWindowsError : error->second;
  }
  std::optional<std::string> read_search_path() override { return search_path; }
  char search_path_separator() const override { return separator; }
  bool is_lead_byte(unsigned char byte) const override {
    return double_byte && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
  }

  char path_separator() const override { return posix ? '/' : '\\'; }
  bool tries_name_as_written() const override { return posix; }
  bool may_run(const std::string& path) override {
    return std::find(runnable.begin(), runnable.end(), path) != runnable.end();
  }

  void add_file(const std::string& path) { files[path] = kNoWindowsError; }
};

std::vector<std::string> four(const std::string& stem) {
  return {stem + ".com", stem + ".exe", stem + ".bat", stem + ".cmd"};
}

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(BuildCommandLine, JoinsWordsWithSingleBlanksAsGiven) {
  struct Row { const char* name; std::vector<std::string> arguments; std::string expected; };
  const Row rows[] = {
      {"program alone", {"setup"}, "setup"},
      {"with argument", {"setup", "-q"}, "setup -q"},
      {"empty argument adds no blank", {"setup", ""}, "setup"},
      {"blank inside argument kept", {"setup", "a b"}, "setup a b"},
      {"program as given, no quotes", {"sub\\my setup", "\"x\""}, "sub\\my setup \"x\""},
  };
  for (const Row& row : rows) EXPECT_EQ(build_command_line(row.arguments), row.expected) << row.name;
}

TEST(MapSystemError, EveryCodeClassAndRangeEdge) {
  enum Outcome { kNotFound, kTooLong, kNotExecutable, kNoMemory, kInvalid, kAbortedAccess, kAbortedOther };
  const std::map<Outcome, std::vector<std::uint32_t>> classes = {
      {kNotFound, {2, 3, 15, 18, 53, 67, 161, 206}},
      {kTooLong, {10}},
      {kNotExecutable, {11, 188, 193, 202}},
      {kNoMemory, {7, 8, 9, 1816}},
      {kInvalid, {0, 1, 12, 13, 14, 37, 87, 131, 187, 203, 1815, 1817, 0xFFFFFFFF}},
      {kAbortedAccess, {5, 16, 19, 20, 32, 33, 36, 65, 82, 83, 108, 132, 158, 167}},
      {kAbortedOther, {4, 6, 17, 80, 89, 109, 112, 114, 128, 129, 130, 145, 164, 183, 215}},
  };
  const int messages[] = {ENOENT, E2BIG, ENOEXEC, ENOMEM, EINVAL};
  for (const auto& [outcome, codes] : classes) {
    for (std::uint32_t code : codes) {
      const LaunchFailure failure = map_system_error(code);
      const std::string row = "Windows error " + std::to_string(code);
      switch (outcome) {
        case kNotFound: EXPECT_EQ(failure, ENOENT) << row; break;
        case kTooLong: EXPECT_EQ(failure, E2BIG) << row; break;
        case kNotExecutable: EXPECT_EQ(failure, ENOEXEC) << row; break;
        case kNoMemory: EXPECT_EQ(failure, ENOMEM) << row; break;
        case kInvalid: EXPECT_EQ(failure, EINVAL) << row; break;
        case kAbortedAccess: EXPECT_EQ(failure, EACCES) << row; break;
        case kAbortedOther:
          EXPECT_NE(failure, EACCES) << row;
          for (int message : messages) EXPECT_NE(failure, message) << row;
          break;
      }
    }
  }
}

TEST(LaunchSearch, CurrentFolderFirstWithExtensionsInOrder) {
  FakeHost host;
  host.search_path = "C:\\a";
  host.add_file(".\\setup.exe");
  host.add_file(".\\setup.bat");
  EXPECT_EQ(launch_follow_on(host, "setup", {"setup", "a b"}), kLaunchStarted);
  EXPECT_EQ(host.tested, (std::vector<std::string>{".\\setup.com", ".\\setup.exe"}));
  EXPECT_EQ(host.started, (std::vector<std::string>{".\\setup.exe"}));
  EXPECT_EQ(host.started_command_line, "setup a b");
}

TEST(LaunchSearch, RefusedStartEndsTheSearch) {
  FakeHost host;
  host.search_path = "C:\\a";
  host.add_file(".\\setup.com");
  host.add_file(".\\setup.exe");
  host.add_file("C:\\a\\setup.com");
  host.start_errors[".\\setup.com"] = kBadExeFormat;
  EXPECT_EQ(launch_follow_on(host, "setup", {"setup"}), ENOEXEC);
  EXPECT_EQ(host.tested, (std::vector<std::string>{".\\setup.com"}));
}

TEST(LaunchSearch, FoundOnlyInSecondPathFolder) {
  FakeHost host;
  host.search_path = "C:\\a;C:\\b";
  host.add_file("C:\\b\\setup.exe");
  EXPECT_EQ(launch_follow_on(host, "setup", {"setup"}), kLaunchStarted);
  EXPECT_EQ(host.tested, concat({four(".\\setup"), four("C:\\a\\setup"),
                                 {"C:\\b\\setup.com", "C:\\b\\setup.exe"}}));
  EXPECT_EQ(host.started, (std::vector<std::string>{"C:\\b\\setup.exe"}));
  EXPECT_EQ(host.started_command_line, "setup");
}

// Each row: the program, PATH (nullopt: unset), the existence tests expected,
// the result. Nothing exists unless the row's files say so.
struct SearchRow {
  const char* name;
  std::string program;
  std::optional<std::string> search_path;
  std::vector<std::string> expected_tests;
  LaunchFailure expected;
  std::map<std::string, WindowsError> files = {};
  std::map<std::string, WindowsError> start_errors = {};
  char separator = ';';
  bool double_byte = false;
  std::vector<std::string> runnable = {};  // makes the host a POSIX one
};

void run_rows(const std::vector<SearchRow>& rows) {
  for (const SearchRow& row : rows) {
    FakeHost host;
    host.search_path = row.search_path;
    host.files = row.files;
    host.start_errors = row.start_errors;
    host.separator = row.separator;
    host.double_byte = row.double_byte;
    host.posix = !row.runnable.empty();
    host.runnable = row.runnable;
    EXPECT_EQ(launch_follow_on(host, row.program, {row.program}), row.expected) << row.name;
    EXPECT_EQ(host.tested, row.expected_tests) << row.name;
  }
}

TEST(LaunchSearch, NamesAndPaths) {
  run_rows({
      {"name with extension tried only as is", "setup.exe", "C:\\a",
       {".\\setup.exe", "C:\\a\\setup.exe"}, ENOENT},
      {"name without extension never started unchanged", "setup", std::nullopt,
       four(".\\setup"), ENOENT, {{".\\setup", kNoWindowsError}}},
      {"PATH unset: current folder only", "setup", std::nullopt, four(".\\setup"), ENOENT},
      {"PATH empty: current folder only", "setup", "", four(".\\setup"), ENOENT},
      {"drive path never searched in PATH", "C:\\tools\\setup", "C:\\a",
       four("C:\\tools\\setup"), ENOENT},
      {"drive-relative name", "C:setup", "C:\\a", four("C:setup"), ENOENT},
      {"relative path below the current folder", "sub\\setup", "C:\\a", four("sub\\setup"), ENOENT},
      {"forward slash is a separator", "sub/setup", "C:\\a", four("sub/setup"), ENOENT},
      {"dot in a folder is no extension", "v1.2\\setup", std::nullopt, four("v1.2\\setup"), ENOENT},
      {"existence failure other than missing ends at .cmd", "setup", "C:\\a",
       four(".\\setup"), EACCES, {{".\\setup.cmd", kAccessDenied}}},
      {"unreadable .com does not stop .exe", "setup", "C:\\a",
       concat({four(".\\setup"), four("C:\\a\\setup")}), ENOENT, {{".\\setup.com", kAccessDenied}}},
      {"directory named like the program", "setup.exe", "C:\\a", {".\\setup.exe"}, EACCES,
       {{".\\setup.exe", kNoWindowsError}}, {{".\\setup.exe", kAccessDenied}}},
      {"start failing as not found goes on along PATH", "setup.exe", "C:\\a",
       {".\\setup.exe", "C:\\a\\setup.exe"}, ENOENT,
       {{".\\setup.exe", kNoWindowsError}}, {{".\\setup.exe", kFileNotFound}}},
  });
}

TEST(LaunchSearch, PathEntries) {
  const std::string long_253(253, 'x');
  const std::string long_254(254, 'x');
  run_rows({
      {"trailing separators not doubled", "s.exe", "C:\\a\\;D:/b/;E:\\c",
       {".\\s.exe", "C:\\a\\s.exe", "D:/b/s.exe", "E:\\c\\s.exe"}, ENOENT},
      {"empty entries skipped", "s.exe", ";C:\\a;;C:\\b;",
       {".\\s.exe", "C:\\a\\s.exe", "C:\\b\\s.exe"}, ENOENT},
      {"entry used exactly as written", "s.exe", " \"C:\\a\" ",
       {".\\s.exe", " \"C:\\a\" \\s.exe"}, ENOENT},
      {"host separator", "s.exe", "/a:/b/", {".\\s.exe", "/a\\s.exe", "/b/s.exe"}, ENOENT, {}, {}, ':'},
      {"259 characters tried", "setup", long_253,
       concat({four(".\\setup"), four(long_253 + "\\setup")}), ENOENT},
      {"260 characters stop the search", "setup", long_254 + ";C:\\b", four(".\\setup"), ENOENT},
      {"stop returns the last attempt's failure", "s.exe", "\\\\srv\\x;" + long_254 + ";C:\\b",
       {".\\s.exe", "\\\\srv\\x\\s.exe"}, EACCES, {{"\\\\srv\\x\\s.exe", kAccessDenied}}},
      {"network entry goes on after access denied", "s.exe", "\\\\srv\\x;//srv/y;C:\\b",
       {".\\s.exe", "\\\\srv\\x\\s.exe", "//srv/y\\s.exe", "C:\\b\\s.exe"}, ENOENT,
       {{"\\\\srv\\x\\s.exe", kAccessDenied}, {"//srv/y\\s.exe", kNoWindowsError}},
       {{"//srv/y\\s.exe", kBadExeFormat}}},
      {"network failure is the result when it was last", "s.exe", "C:\\b;\\\\srv\\x",
       {".\\s.exe", "C:\\b\\s.exe", "\\\\srv\\x\\s.exe"}, EACCES, {{"\\\\srv\\x\\s.exe", kAccessDenied}}},
      {"local entry stops after access denied", "s.exe", "C:\\a;C:\\b",
       {".\\s.exe", "C:\\a\\s.exe"}, EACCES, {{"C:\\a\\s.exe", kAccessDenied}}},
      {"one separator is not a network path", "s.exe", "\\a;C:\\b",
       {".\\s.exe", "\\a\\s.exe"}, EACCES, {{"\\a\\s.exe", kAccessDenied}}},
  });
}

TEST(LaunchSearch, PosixHostTriesTheNameAsWrittenThenTheExtensions) {
  const WindowsError there = kNoWindowsError;
  run_rows({
      {"program found by its bare name", "/bin/echo", "/a", {"/bin/echo"}, kLaunchStarted,
       {{"/bin/echo", there}}, {}, ':', false, {"/bin/echo"}},
      {"script on PATH, joined with /", "next", "/a:/b",
       {"./next", "./next.com", "./next.exe", "./next.bat", "./next.cmd", "/a/next", "/a/next.com",
        "/a/next.exe", "/a/next.bat", "/a/next.cmd", "/b/next"},
       kLaunchStarted, {{"/b/next", there}}, {}, ':', false, {"/b/next"}},
      {"a file without the right to run is passed over for its .exe", "setup", std::nullopt,
       {"./setup", "./setup.com", "./setup.exe"}, kLaunchStarted,
       {{"./setup", there}, {"./setup.exe", there}}, {}, ':', false, {"./setup.exe"}},
  });
}

TEST(LaunchSearch, DoubleByteTrailBytesAreNeverSeparators) {
  // 0x95 0x5C is one character whose second byte is the code of "\".
  const std::string hyo = "\x95\x5C";
  run_rows({
      {"trail byte is no path separator", hyo + "s.exe", "C:\\a",
       {".\\" + hyo + "s.exe", "C:\\a\\" + hyo + "s.exe"}, ENOENT, {}, {}, ';', true},
      {"entry ending in a trail byte gets its separator", "s.exe", "C:\\" + hyo,
       {".\\s.exe", "C:\\" + hyo + "\\s.exe"}, ENOENT, {}, {}, ';', true},
      {"trail byte colon is no drive", "\x81:s.exe", "C:\\a",
       {".\\\x81:s.exe", "C:\\a\\\x81:s.exe"}, ENOENT, {}, {}, ';', true},
      {"trail byte dot is no extension", "s\x81.", std::nullopt, four(".\\s\x81."), ENOENT, {}, {}, ';', true},
      {"lone lead byte at the end", "s\x81", std::nullopt, four(".\\s\x81"), ENOENT, {}, {}, ';', true},
      {"single-byte code page sees the separator", hyo + "s.exe", "C:\\a", {hyo + "s.exe"}, ENOENT},
  });
}

TEST(ReportLaunchFailure, OneLinePerFailureWithoutErrorWord) {
  const std::string saved = program_name();
  struct Row { LaunchFailure failure; std::string program; std::string expected; };
  const Row rows[] = {
      {ENOENT, "setup", "morvex-uninstall: The program 'setup' could not be found.\n"},
      {E2BIG, "setup", "morvex-uninstall: The arguments to 'setup' were too long.\n"},
      {ENOEXEC, "setup", "morvex-uninstall: The program 'setup' is not executable.\n"},
      {ENOMEM, "setup", "morvex-uninstall: There was not enough memory to run the program 'setup'.\n"},
      {EINVAL, "setup", "morvex-uninstall: The program 'setup' could not be run.\n"},
      {EACCES, "setup", "morvex-uninstall: The execution of program 'setup' was aborted.\n"},
      {EEXIST, "setup", "morvex-uninstall: The execution of program 'setup' was aborted.\n"},
      {ENOENT, "100%s %d", "morvex-uninstall: The program '100%s %d' could not be found.\n"},
  };
  set_program_name("morvex-uninstall");
  for (const Row& row : rows) {
    testing::internal::CaptureStderr();
    report_launch_failure(row.failure, row.program);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), row.expected) << "failure " << row.failure;
  }
  set_program_name("");
  testing::internal::CaptureStderr();
  report_launch_failure(ENOENT, "setup");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), ": The program 'setup' could not be found.\n");
  set_program_name(saved);
}

}  // namespace
}  // namespace morvex
