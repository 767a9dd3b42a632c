// Hostile registry files and hostile places to save them. Whatever comes, the
// program ends with status 0, says what is wrong in one clear line, and
// loses nothing: a file it cannot use or cannot replace stays byte for byte,
// and once the obstacle is gone a later run does what a plain run does.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "program_run.h"

namespace morvex::hardening {
namespace {

const std::string kLine = "morvex-uninstall: error: ";
const std::vector<std::string> kReleases = {"30"};

bool privileged() { return geteuid() == 0; }

// Permission bits do not stop a privileged run, so its child becomes
// nobody, for whom they count.
void become_nobody() {
  if (!privileged()) return;
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
}

// Whether nobody may take the path (access mode as for access(2)); a check
// outside the run, so a refusal reads as a skip and not as a wrong message.
bool nobody_may(const std::string& path, int mode) {
  const pid_t child = fork();
  if (child == 0) {
    become_nobody();
    _exit(access(path.c_str(), mode) == 0 ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// The program for runs as nobody: a copy in the sandbox, since the build
// folder may lie where nobody may not go (a checkout in root's home, mode
// 700). Empty, with the reason, when nobody cannot reach the sandbox either.
std::string program_for_nobody(const Sandbox& sandbox, std::string& why_not) {
  if (!privileged()) return MORVEX_PROGRAM_PATH;
  const std::string copy = sandbox.folder() + "/morvex-uninstall";
  if (!exists(copy) && !write_file(copy, read_file(MORVEX_PROGRAM_PATH))) {
    why_not = "cannot copy the program to " + copy;
    return "";
  }
  chmod(copy.c_str(), 0755);
  if (!nobody_may(copy, X_OK)) {
    why_not = "nobody may not run " + copy + " (set TMPDIR to a folder open to all)";
    return "";
  }
  return copy;
}

// Mounts made from here on stay with this test process and its children.
bool private_mounts() {
  static const bool made = unshare(CLONE_NEWNS) == 0 &&
                           mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return made;
}

struct Reference {
  std::string saved;
  std::string errors;
};

// What a plain run makes of the same registry.
Reference reference_run(const Sandbox& sandbox, const std::string& bytes) {
  const std::string prefix = sandbox.make_prefix("reference");
  write_file(prefix + "/registry.reg", bytes);
  const RunOutcome outcome = run_program({prefix, kReleases, "", {}});
  EXPECT_EQ(outcome.exit_status, 0);
  return {read_file(prefix + "/registry.reg"), outcome.error_stream};
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

bool every_line_is_an_error_line(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size()) {
    if (text.compare(start, kLine.size(), kLine) != 0) return false;
    start = text.find('\n', start);
    if (start == std::string::npos) break;
    ++start;
  }
  return true;
}

// The text after its first line, with a line inserted there.
std::string with_line_after_first_section(const std::string& text, const std::string& line) {
  const std::size_t section = text.find('[');
  const std::size_t after = text.find('\n', section) + 1;
  return text.substr(0, after) + line + text.substr(after);
}

std::string utf16le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (const char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::size_t line_number_after(const std::string& text) { return count_of(text, "\n") + 1; }

TEST(HostileInput, AFileTheStoreCannotUseIsNamedOnceAndLeftAsItWas) {
  Sandbox sandbox("hostile-file");
  const std::string good = product_registry(kReleases, 0);
  const std::string body = good.substr(good.find('\n') + 1);
  const std::string wide = "Windows Registry Editor Version 5.00\r\n" + body;
  const std::string huge_open_string = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Huge]\r\n\"Line\"=\"" +
                                       std::string(100u << 20, 'x') + "\r\n";
  struct Row {
    const char* row;
    std::string bytes;
    std::function<void(const std::string& file)> make;  // in place of the bytes
    bool as_nobody;
    std::string said;
  };
  const Row rows[] = {
      {"not readable", good,
       [](const std::string& file) { chmod(file.c_str(), privileged() ? 0600 : 0000); }, true,
       ": cannot read: Permission denied"},
      {"a folder in its place", "", [](const std::string& file) { mkdir(file.c_str(), 0755); },
       false, ": cannot read: Is a directory"},
      {"a FIFO in its place", "", [](const std::string& file) { mkfifo(file.c_str(), 0644); }, false,
       ": cannot read: not a regular file"},
      {"a NUL byte", with_line_after_first_section(good, std::string("\"Bad\"=\"x\0y\"\r\n", 13)),
       nullptr, false, ":4: NUL character in the file"},
      {"an unterminated string", with_line_after_first_section(good, "\"Bad\"=\"x\r\n"), nullptr,
       false, ":4: unterminated string"},
      {"a byte that is not UTF-8 in an 8-bit Version 5.00 file",
       with_line_after_first_section(wide, "\"MenuName#1\"=\"Caf\xE9\"\r\n"), nullptr, false,
       ":4: not UTF-8 (a \"Version 5.00\" file in 8-bit text must be UTF-8)"},
      {"truncated UTF-16", utf16le(wide) + "x", nullptr, false,
       ":" + std::to_string(line_number_after(wide)) + ": truncated UTF-16 text (odd number of bytes)"},
      {"a 100 MB line with an unterminated string", huge_open_string, nullptr, false,
       ":4: unterminated string"},
  };
  int index = 0;
  for (const Row& r : rows) {
    const std::string prefix = sandbox.make_prefix("case" + std::to_string(index++));
    const std::string file = prefix + "/registry.reg";
    if (r.make == nullptr || !r.bytes.empty()) write_file(file, r.bytes);
    if (r.make != nullptr) r.make(file);
    struct stat before {};
    lstat(file.c_str(), &before);

    ProgramRun run{prefix, kReleases, "", {}};
    if (r.as_nobody) {
      std::string why_not;
      run.program = program_for_nobody(sandbox, why_not);
      if (run.program.empty()) {
        std::printf("[ skipped  ] %s: %s\n", r.row, why_not.c_str());
        continue;
      }
      run.in_child = become_nobody;
    }
    const RunOutcome outcome = run_program(run, 60);

    EXPECT_TRUE(outcome.ended) << r.row << ": still running after a minute";
    EXPECT_EQ(outcome.exit_status, 0) << r.row;
    EXPECT_EQ(first_line(outcome.error_stream), kLine + file + r.said) << r.row;
    EXPECT_EQ(count_of(outcome.error_stream, file), 1u) << r.row << ": named more than once\n"
                                                        << outcome.error_stream;
    EXPECT_TRUE(every_line_is_an_error_line(outcome.error_stream)) << r.row << "\n" << outcome.error_stream;
    struct stat after {};
    lstat(file.c_str(), &after);
    EXPECT_EQ(after.st_mode, before.st_mode) << r.row;
    EXPECT_TRUE(after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                after.st_mtim.tv_nsec == before.st_mtim.tv_nsec)
        << r.row << ": written";
    chmod(file.c_str(), (before.st_mode & 07777) | S_IRUSR);  // to read it back, unprivileged too
    if (S_ISREG(after.st_mode) && !r.bytes.empty()) {
      EXPECT_TRUE(read_file(file) == r.bytes) << r.row << ": the file changed";
    }
    EXPECT_FALSE(exists(prefix + "/registry.reg.saving")) << r.row;
    std::printf("[ note     ] %s: %zu error lines in %.2f s, the first: %s\n", r.row,
                count_of(outcome.error_stream, "\n"), outcome.seconds,
                first_line(outcome.error_stream).c_str());
  }
}

TEST(HostileInput, AFileThatCannotBeReplacedStaysAndALaterRunFinishes) {
  Sandbox sandbox("hostile-save");
  // Bulk enough that a copy of the file does not fit on the small disk below.
  const std::string bytes = product_registry(kReleases, 40000);
  const Reference plain = reference_run(sandbox, bytes);
  ASSERT_NE(plain.saved, bytes);

  struct Row {
    const char* row;
    // Makes the obstacle; false, with a reason, where this host cannot.
    std::function<bool(const std::string& prefix, std::string& why_not)> make;
    std::function<void()> in_child;
    std::string said;
    std::function<void(const std::string& prefix)> remove;  // none: it stays
  };
  const std::string saving = "/registry.reg.saving";
  const Row rows[] = {
      {"a folder where the temporary file goes",
       [&](const std::string& prefix, std::string&) { return mkdir((prefix + saving).c_str(), 0755) == 0; },
       nullptr, ": cannot save: Is a directory", nullptr},
      {"a read-only prefix folder",
       [](const std::string& prefix, std::string&) { return chmod(prefix.c_str(), 0555) == 0; },
       become_nobody, ": cannot save: Permission denied",
       [](const std::string& prefix) { chmod(prefix.c_str(), 0755); }},
      {"a file size limit below the file's size", [](const std::string&, std::string&) { return true; },
       [size = bytes.size()] {
         const rlimit limit = {size / 2, size / 2};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       ": cannot save: File too large", [](const std::string&) {}},
      {"a read-only mount",
       [](const std::string& prefix, std::string& why_not) {
         if (!private_mounts()) {
           why_not = "no mount namespace of its own here";
           return false;
         }
         if (mount(prefix.c_str(), prefix.c_str(), nullptr, MS_BIND, nullptr) != 0) {
           why_not = std::string("cannot mount here: ") + std::strerror(errno);
           return false;
         }
         return mount(nullptr, prefix.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
       },
       nullptr, ": cannot save: Read-only file system",
       [](const std::string& prefix) { umount(prefix.c_str()); }},
      {"a full disk",
       [&](const std::string& prefix, std::string& why_not) {
         if (!private_mounts()) {
           why_not = "no mount namespace of its own here";
           return false;
         }
         if (mount("tmpfs", prefix.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
           why_not = std::string("cannot mount here: ") + std::strerror(errno);
           return false;
         }
         return write_file(prefix + "/registry.reg", bytes) && mkdir((prefix + "/drive_c").c_str(), 0755) == 0;
       },
       nullptr, ": cannot save: No space left on device",
       [](const std::string& prefix) { mount(nullptr, prefix.c_str(), nullptr, MS_REMOUNT, "size=1m"); }},
  };
  int index = 0;
  for (const Row& r : rows) {
    const std::string prefix = sandbox.make_prefix("case" + std::to_string(index++));
    const std::string file = prefix + "/registry.reg";
    write_file(file, bytes);
    std::string why_not;
    if (!r.make(prefix, why_not)) {
      std::printf("[ skipped  ] %s: %s\n", r.row, why_not.c_str());
      continue;
    }
    ProgramRun run{prefix, kReleases, prefix + ".stderr", r.in_child};
    if (const auto* in_child = r.in_child.target<void (*)()>(); in_child && *in_child == become_nobody) {
      run.program = program_for_nobody(sandbox, why_not);
      if (run.program.empty()) {
        std::printf("[ skipped  ] %s: %s\n", r.row, why_not.c_str());
        r.remove(prefix);
        continue;
      }
    }
    const RunOutcome outcome = run_program(run);
    EXPECT_EQ(outcome.exit_status, 0) << r.row;
    EXPECT_EQ(outcome.error_stream, plain.errors + kLine + file + r.said + "\n") << r.row;
    EXPECT_TRUE(read_file(file) == bytes) << r.row << ": the file changed";
    const bool saving_is_ours = r.remove != nullptr;
    if (saving_is_ours) {
      EXPECT_FALSE(exists(prefix + saving)) << r.row << ": temporary file left";
    }
    std::printf("[ note     ] %s: %s", r.row, outcome.error_stream.c_str());
    if (!saving_is_ours) continue;

    r.remove(prefix);
    const RunOutcome later = run_program({prefix, kReleases, "", {}});
    EXPECT_EQ(later.exit_status, 0) << r.row;
    EXPECT_EQ(later.error_stream, plain.errors) << r.row << ": the later run";
    EXPECT_TRUE(read_file(file) == plain.saved) << r.row << ": the later run saved something else";
    EXPECT_FALSE(exists(prefix + saving)) << r.row;
    if (std::string(r.row) == "a full disk") umount(prefix.c_str());
  }
}

// The save is where a run's changes become real: when it fails, no product
// file goes either, the dry run foretold it with the same lines, and the
// report says the changes were not made. Once the obstacle is gone, the
// files go with the save.
TEST(HostileInput, ARegistryThatCannotBeSavedKeepsEveryProductFile) {
  namespace fs = std::filesystem;
  Sandbox sandbox("unsaved-files");
  const std::string prefix = sandbox.folder() + "/prefix";
  fs::copy(kExamplePrefix, prefix, fs::copy_options::recursive);
  const std::string bin = prefix + "/drive_c/Program Files/Morvex/bin/";
  const std::string file = prefix + "/registry.reg";
  const std::string bytes = read_file(file);
  ASSERT_EQ(mkdir((prefix + "/registry.reg.saving").c_str(), 0755), 0);
  const std::string report = sandbox.folder() + "/report.json";

  const RunOutcome dry = run_program({prefix, {"--dry-run", "24"}, sandbox.folder() + "/dry.stderr", {}});
  const RunOutcome real = run_program({prefix, {"--report", report, "24"}, "", {}});
  const std::string said = kLine + file + ": cannot save: Is a directory\n" + kLine +
                           "the product files were kept because the registry could not be saved\n";
  EXPECT_NE(real.error_stream.find(said), std::string::npos) << real.error_stream;
  EXPECT_EQ(dry.error_stream, real.error_stream);
  EXPECT_TRUE(read_file(file) == bytes) << "the registry changed";
  for (const char* name : {"xvxc4.exe", "xvlink4.exe", "xvxc5.exe", "xvlink5.exe", "compsel.exe"})
    EXPECT_TRUE(exists(bin + name)) << name << " went with the registry unsaved";
  const std::string account = read_file(report);
  EXPECT_NE(account.find("\"saved\": false"), std::string::npos) << account;
  EXPECT_EQ(account.find("\"action\": \"removed\""), std::string::npos) << account;

  rmdir((prefix + "/registry.reg.saving").c_str());
  const RunOutcome later = run_program({prefix, {"24"}, "", {}});
  EXPECT_EQ(later.error_stream.find("cannot save"), std::string::npos) << later.error_stream;
  EXPECT_FALSE(exists(bin + "xvxc4.exe"));
  EXPECT_FALSE(exists(bin + "xvlink4.exe"));
}

// Standard output that takes nothing loses the listing, the help or the
// version, and says so; a report sent there stands in for the listing.
TEST(HostileInput, StandardOutputThatFailsIsOneLineAndTakesAReport) {
  namespace fs = std::filesystem;
  Sandbox sandbox("standard-output");
  const std::string prefix = sandbox.folder() + "/prefix";
  fs::copy(kExamplePrefix, prefix, fs::copy_options::recursive);
  for (const std::vector<std::string>& words :
       std::vector<std::vector<std::string>>{{"--dry-run", "24"}, {"--help"}, {"--version"}}) {
    const RunOutcome run = run_program({prefix, words, "", {}, "/dev/full"});
    EXPECT_EQ(run.error_stream, kLine + "cannot write to standard output: No space left on device\n")
        << words[0];
  }
  const std::string output = sandbox.folder() + "/report.json";
  const RunOutcome dry = run_program({prefix, {"--dry-run", "--report", "-", "24"}, "", {}, output});
  const std::string report = read_file(output);
  EXPECT_EQ(dry.error_stream, "");
  EXPECT_EQ(report.rfind("{\n", 0), 0u) << report.substr(0, 80);
  EXPECT_EQ(count_of(report, "\"program\": \"morvex-uninstall\""), 1u) << "one report, no listing";
  EXPECT_FALSE(exists(prefix + "/drive_c/-")) << "a file named -";
}

// Whatever read the error stream may be gone (an installer's log pipe
// closed): the run still goes to its end and starts the follow-on program,
// which must not inherit an ignored SIGPIPE.
TEST(HostileInput, AClosedErrorStreamStopsNothing) {
  Sandbox sandbox("hostile-stderr");
  const std::vector<std::string> release_24 = {"24"};
  const std::string bytes = product_registry(release_24, 0);
  const Reference plain = [&] {
    const std::string prefix = sandbox.make_prefix("reference");
    write_file(prefix + "/registry.reg", bytes);
    const RunOutcome outcome = run_program({prefix, release_24, "", {}});
    return Reference{read_file(prefix + "/registry.reg"), outcome.error_stream};
  }();
  ASSERT_NE(plain.errors, "") << "no error line to write";
  ASSERT_NE(plain.saved, bytes);

  const std::string prefix = sandbox.make_prefix("closed");
  write_file(prefix + "/registry.reg", bytes);
  write_file(prefix + "/follow-on.sh", "#!/bin/sh\nexec cat /proc/self/status > \"$1\"\n");
  chmod((prefix + "/follow-on.sh").c_str(), 0755);
  const std::string status_file = prefix + "/follow-on.status";
  ProgramRun run{prefix, {"24", "follow-on.sh", status_file}, "", [] {
                   signal(SIGPIPE, SIG_DFL);
                   int ends[2];
                   if (pipe(ends) != 0) _exit(125);
                   close(ends[0]);
                   dup2(ends[1], 2);
                   close(ends[1]);
                 }};
  const RunOutcome outcome = run_program(run, 60);
  EXPECT_EQ(outcome.signal, 0);
  EXPECT_EQ(outcome.exit_status, 0);
  EXPECT_TRUE(read_file(prefix + "/registry.reg") == plain.saved) << "not saved as a plain run saves";

  std::string status;
  for (const long long started = now_ns(); seconds_since(started) < 10;) {
    status = read_file(status_file);
    if (status.find("SigIgn:") != std::string::npos && status.back() == '\n') break;
    usleep(10000);
  }
  const std::size_t ignored_at = status.find("SigIgn:");
  ASSERT_NE(ignored_at, std::string::npos) << "the follow-on program did not start";
  const unsigned long long ignored = std::strtoull(status.c_str() + ignored_at + 7, nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << "the follow-on program ignores SIGPIPE";
}

TEST(HostileInput, AHundredMegabyteLineIsCopiedThroughOrReadAsTooLarge) {
  Sandbox sandbox("hostile-huge");
  const ProductParts parts = product_parts(kReleases);
  const std::string header = "REGEDIT4\r\n\r\n";
  const std::string rest = parts.generation_4 + parts.generation_5;
  const std::string kept_install =
      parts.install_keys.substr(parts.install_keys.find("\r\n\r\n") + 4);  // release 40's
  const std::string huge_section = "[HKEY_CURRENT_USER\\Software\\Huge]\r\n\"Line\"=\"" +
                                   std::string(100u << 20, 'x') + "\"\r\n";
  const std::string small = header + parts.install_keys + rest;
  const Reference plain = reference_run(sandbox, small);

  struct Row {
    const char* row;
    std::string bytes;
    std::string errors;
    std::string saved;
  };
  const Row rows[] = {
      {"in a key the run does not touch", small + huge_section, plain.errors, plain.saved + huge_section},
      {"as the release's \"IDE\" value",
       header + "[HKEY_CURRENT_USER\\" + install_key("30") + "]\r\n\"IDE\"=\"" +
           std::string(100u << 20, '3') + "\"\r\n\r\n" + kept_install + rest,
       kLine + "default compiler value not found\n", header + kept_install + rest},
  };
  int index = 0;
  for (const Row& r : rows) {
    const std::string prefix = sandbox.make_prefix("case" + std::to_string(index++));
    write_file(prefix + "/registry.reg", r.bytes);
    const RunOutcome outcome = run_program({prefix, kReleases, "", {}}, 120);
    EXPECT_EQ(outcome.exit_status, 0) << r.row;
    EXPECT_EQ(outcome.error_stream, r.errors) << r.row;
    const std::string saved = read_file(prefix + "/registry.reg");
    EXPECT_EQ(saved.size(), r.saved.size()) << r.row;
    EXPECT_TRUE(saved == r.saved) << r.row << ": saved something else";
    std::printf("[ note     ] 100 MB line %s: %.2f s\n", r.row, outcome.seconds);
  }
}

}  // namespace
}  // namespace morvex::hardening
