// The runner decides whether a case passed: a fault here would pass cases
// that should fail, so its reading of cases and its comparisons are tested.
#include <gtest/gtest.h>

#include "case_file.h"
#include "registry_view.h"

namespace morvex::e2e {
namespace {

using namespace morvex::support;

const char* const kFullCase =
    "# a comment\n"
    "== about\n"
    "Shows everything.\n"
    "== platforms\n"
    "wine\n"
    "== arguments\n"
    "24\n"
    "\n"
    "a b\n"
    "== answer\n"
    "no\n"
    "== cwd\n"
    "C:\\work\n"
    "== environment\n"
    "PATH=C:\\a;C:\\b\n"
    "TEMP\n"
    "== registry\n"
    "[HKEY_CURRENT_USER\\Software\\Morvex\\X]\n"
    "\"IDE\"=\"2\"\n"
    "== files\n"
    "C:\\work\\setup.exe = @recorder\n"
    "C:\\work\\note.txt = one\\ntwo\\\\n\n"
    "C:\\work\\empty.txt\n"
    "== stderr\n"
    "{program}: error: first\n"
    "\n"
    "== exit\n"
    "0\n"
    "== files after\n"
    "C:\\work\\args.txt = setup\\na b\n"
    "== 64-bit registry\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls]\n"
    "\"C:\\\\a.dll\"=dword:00000001\n";

TEST(CaseFile, ReadsEverySectionExactly) {
  Case c;
  std::string error;
  ASSERT_TRUE(parse_case(kFullCase, "g/full", "full.case", c, error)) << error;
  EXPECT_EQ(c.about, "Shows everything.");
  EXPECT_FALSE(c.on_native || c.on_wine_files);
  EXPECT_TRUE(c.on_wine);
  EXPECT_EQ(c.arguments, (std::vector<std::string>{"24", "", "a b"}));
  EXPECT_EQ(c.answer, Answer::no);
  EXPECT_EQ(c.cwd, "C:\\work");
  ASSERT_EQ(c.environment.size(), 2u);
  EXPECT_EQ(c.environment[0].value, "C:\\a;C:\\b");
  EXPECT_FALSE(c.environment[1].value.has_value());
  ASSERT_EQ(c.files.size(), 3u);
  EXPECT_TRUE(c.files[0].is_recorder);
  EXPECT_EQ(c.files[1].text, "one\ntwo\\n");
  EXPECT_EQ(c.files[2].text, "");
  EXPECT_EQ(c.expected_stderr, "{program}: error: first\n\n");
  EXPECT_FALSE(c.registry_after.has_value());
  ASSERT_TRUE(c.files_after.has_value());
  EXPECT_EQ((*c.files_after)[0].text, "setup\na b");
  EXPECT_EQ(c.registry_64bit,
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls]\n"
            "\"C:\\\\a.dll\"=dword:00000001\n");
}

TEST(CaseFile, DefaultsWhenSectionsAreLeftOut) {
  Case c;
  std::string error;
  ASSERT_TRUE(parse_case("== arguments\n", "g/bare", "bare.case", c, error)) << error;
  EXPECT_TRUE(c.arguments.empty());
  EXPECT_TRUE(c.on_native && c.on_wine && c.on_wine_files);
  EXPECT_EQ(c.answer, Answer::none);
  EXPECT_EQ(c.cwd, "C:\\");
  EXPECT_EQ(c.expected_stderr, "");
  EXPECT_EQ(c.expected_exit, 0);
  EXPECT_FALSE(c.files_after.has_value());
  EXPECT_FALSE(c.registry_64bit.has_value());
}

TEST(CaseFile, MarksReadOnlyFilesByALeadingWord) {
  Case c;
  std::string error;
  ASSERT_TRUE(parse_case("== arguments\n== files\nread-only C:\\a.exe = x\nC:\\read-only b\n", "g/ro",
                         "ro.case", c, error))
      << error;
  ASSERT_EQ(c.files.size(), 2u);
  EXPECT_TRUE(c.files[0].read_only);
  EXPECT_EQ(c.files[0].windows_path, "C:\\a.exe");
  EXPECT_EQ(c.files[0].text, "x");
  EXPECT_FALSE(c.files[1].read_only);
  EXPECT_EQ(c.files[1].windows_path, "C:\\read-only b");
}

TEST(CaseFile, RejectsMistakesWithTheirLine) {
  struct Row {
    const char* what;
    const char* text;
    const char* error;
  };
  const Row rows[] = {
      {"no arguments", "== about\nx\n", "x.case:1: no 'arguments' section"},
      {"misspelt section", "== arguments\n== registry_after\n", "x.case:2: unknown section 'registry_after'"},
      {"section twice", "== arguments\n== arguments\n", "x.case:2: section 'arguments' given twice"},
      {"stray text", "hello\n== arguments\n", "x.case:1: text before the first section"},
      {"unknown answer", "== arguments\n== answer\nmaybe\n", "x.case:3: answer is"},
      {"two answers", "== arguments\n== answer\nyes\nno\n", "x.case:2: 'answer' takes one line"},
      {"cwd not on a drive", "== arguments\n== cwd\nwork\n", "x.case:3: not a drive path"},
      {"exit not a number", "== arguments\n== exit\n0x\n", "x.case:3: exit takes a number"},
      {"unknown platform", "== arguments\n== platforms\nmac\n", "x.case:3: unknown platform"},
      {"file not on a drive", "== arguments\n== files\nwork\\a.txt\n", "x.case:3: not a file on a drive"},
      {"bad registry line",
       "== arguments\n== registry\n[HKEY_CURRENT_USER\\Software\\Morvex]\n\"a\"=dword:xyz\n",
       "x.case:4: registry text"},
      {"key outside the compared subtrees",
       "== arguments\n== registry after\n[HKEY_CURRENT_USER\\Software\\Other]\n",
       "key outside the compared subtrees"},
      // Both views share HKEY_CURRENT_USER\Software: such a key would be set twice.
      {"64-bit view beyond the shared counts",
       "== arguments\n== 64-bit registry\n[HKEY_CURRENT_USER\\Software\\Morvex\\A]\n\"a\"=\"b\"\n",
       "x.case:2: key outside the compared subtrees"},
  };
  for (const Row& row : rows) {
    Case c;
    std::string error;
    EXPECT_FALSE(parse_case(row.text, "g/x", "x.case", c, error)) << row.what;
    EXPECT_NE(error.find(row.error), std::string::npos) << row.what << ": " << error;
  }
}

RegistryView view_of(const std::string& lines) {
  RegistryView view;
  std::string error;
  EXPECT_TRUE(add_reg_text(reg_file_text(lines), view, error, touched_subtrees())) << error;
  return view;
}

TEST(RegistryCompare, ComparesByMeaning) {
  struct Row {
    const char* what;
    std::string expected;
    std::string actual;
    std::string difference;  // "" when none
  };
  const std::string base = "[HKEY_CURRENT_USER\\Software\\Morvex\\A]\n\"Name\"=\"x\"\n\"N\"=dword:00000002\n";
  const Row rows[] = {
      {"same text", base, base, ""},
      {"names in other case",
       base, "[HKEY_CURRENT_USER\\SOFTWARE\\MORVEX\\a]\n\"name\"=\"x\"\n\"n\"=dword:00000002\n", ""},
      {"text in other case", base,
       "[HKEY_CURRENT_USER\\Software\\Morvex\\A]\n\"Name\"=\"X\"\n\"N\"=dword:00000002\n",
       "value [HKEY_CURRENT_USER\\Software\\Morvex\\A] \"Name\": expected \"x\", found \"X\""},
      {"number as text", base,
       "[HKEY_CURRENT_USER\\Software\\Morvex\\A]\n\"Name\"=\"x\"\n\"N\"=\"2\"\n",
       "expected dword:00000002, found \"2\""},
      {"value gone", base, "[HKEY_CURRENT_USER\\Software\\Morvex\\A]\n\"Name\"=\"x\"\n",
       "missing value [HKEY_CURRENT_USER\\Software\\Morvex\\A] \"N\"=dword:00000002"},
      {"value added", base, base + "\"More\"=hex:01\n",
       "unexpected value [HKEY_CURRENT_USER\\Software\\Morvex\\A] \"More\"=hex(3):01"},
      {"key gone, parent stays", base, "[HKEY_CURRENT_USER\\Software\\Morvex]\n",
       "missing key [HKEY_CURRENT_USER\\Software\\Morvex\\A]"},
      {"empty key left", "[HKEY_CURRENT_USER\\Software\\Morvex]\n",
       "[HKEY_CURRENT_USER\\Software\\Morvex\\Empty]\n",
       "unexpected key [HKEY_CURRENT_USER\\Software\\Morvex\\Empty]"},
      {"outside the subtrees", "[HKEY_CURRENT_USER\\Software\\Morvex]\n",
       "[HKEY_CURRENT_USER\\Software\\Morvex]\n[HKEY_CURRENT_USER\\Software\\Wine]\n\"x\"=\"y\"\n", ""},
      {"shared counts", "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls]\n"
                        "\"C:\\\\bin\\\\a.exe\"=dword:00000001\n",
       "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls]\n",
       "missing value"},
  };
  for (const Row& row : rows) {
    const std::vector<std::string> differences = compare_registries(view_of(row.expected), view_of(row.actual));
    if (row.difference.empty()) {
      EXPECT_TRUE(differences.empty()) << row.what << ": " << (differences.empty() ? "" : differences[0]);
    } else {
      ASSERT_FALSE(differences.empty()) << row.what;
      EXPECT_NE(differences[0].find(row.difference), std::string::npos) << row.what << ": " << differences[0];
    }
  }
}

TEST(RegistryCompare, ReadsWhatRegeditExports) {
  // regedit /E writes UTF-16 with a byte-order mark and CRLF.
  const std::u16string text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Morvex\\A]\r\n\"Name\"=\"x\"\r\n\"N\"=dword:00000002\r\n\r\n";
  const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  RegistryView exported;
  std::string error;
  ASSERT_TRUE(add_reg_text(bytes, exported, error, touched_subtrees())) << error;
  EXPECT_TRUE(compare_registries(
                  view_of("[HKEY_CURRENT_USER\\Software\\Morvex\\A]\n\"Name\"=\"x\"\n\"N\"=dword:00000002\n"),
                  exported)
                  .empty());
}

TEST(CaseFile, SplitsDrivePaths) {
  char drive = 0;
  std::string rest;
  ASSERT_TRUE(split_drive_path("D:\\Morvex\\Bin\\", drive, rest));
  EXPECT_EQ(drive, 'd');
  EXPECT_EQ(rest, "Morvex/Bin");
  EXPECT_FALSE(split_drive_path("\\\\server\\share", drive, rest));
  EXPECT_FALSE(split_drive_path("C:relative", drive, rest));
}

}  // namespace
}  // namespace morvex::e2e
