// Reading whole registry files: every value form in each encoding, and
// every kind of line that must make a file unusable.
#include "registry/reg_file/reg_tree.h"

#include <gtest/gtest.h>

#include "reg_test_files.h"

namespace morvex {
namespace {

using reg_test::crlf;
using reg_test::utf16_file;

const RegTreeKey* find_key(const std::vector<RegTreeKey>& keys, std::string_view path) {
  for (const RegTreeKey& key : keys)
    if (key.path == path) return &key;
  return nullptr;
}

std::string data_of(const std::vector<RegTreeKey>& keys, std::string_view path,
                    std::string_view name, std::uint32_t* type = nullptr) {
  const RegTreeKey* key = find_key(keys, path);
  if (key == nullptr) return "<no key>";
  for (const RegTreeValue& value : key->values)
    if (value.name == name) {
      if (type != nullptr) *type = value.type;
      return value.data;
    }
  return "<no value>";
}

using namespace std::string_literals;

// One value line and what the program reads from it, in each header version.
struct FormCase {
  const char* row;
  std::string line;
  std::string name;
  std::uint32_t type;
  std::string regedit4_data;  // a REGEDIT4 file: the bytes as they are
  std::string version5_data;  // a Version 5 file: hex(1/2/7) data is UTF-16LE
};

const FormCase kForms[] = {
    {"text", R"("Name"="C:\\Tools\\\"x\"")", "Name", 1, "C:\\Tools\\\"x\"\0"s,
     "C:\\Tools\\\"x\"\0"s},
    {"empty text", R"("Name"="")", "Name", 1, "\0"s, "\0"s},
    {"default value", R"(@="def")", "", 1, "def\0"s, "def\0"s},
    {"empty name is the default", R"(""="def")", "", 1, "def\0"s, "def\0"s},
    {"blanks around =", "\t\"Name\" \t=  \"v\"  ; note", "Name", 1, "v\0"s, "v\0"s},
    {"dword", "\"N\"=dword:0000000a", "N", 4, "\x0a\0\0\0"s, "\x0a\0\0\0"s},
    {"short upper-case dword", "\"N\"=dword:FfFe", "N", 4, "\xfe\xff\0\0"s, "\xfe\xff\0\0"s},
    {"binary", "\"B\"=hex:00,ff,1", "B", 3, "\0\xff\x01"s, "\0\xff\x01"s},
    {"empty binary", "\"B\"=hex:", "B", 3, "", ""},
    {"none type", "\"B\"=hex(0):01", "B", 0, "\x01", "\x01"},
    {"qword", "\"Q\"=hex(b):01,00,00,00,00,00,00,00", "Q", 11, "\x01\0\0\0\0\0\0\0"s,
     "\x01\0\0\0\0\0\0\0"s},
    {"type above 9", "\"T\"=hex(ABCDEF12):", "T", 0xabcdef12, "", ""},
    {"dword as hex(4)", "\"D\"=hex(4):01,02", "D", 4, "\x01\x02", "\x01\x02"},
    {"expandable text", "\"E\"=hex(2):25,00,50,00,25,00,00,00", "E", 2, "%\0P\0%\0\0\0"s,
     "%P%\0"s},
    {"multi-text", "\"M\"=hex(7):61,00,00,00,62,00,00,00,00,00", "M", 7,
     "a\0\0\0b\0\0\0\0\0"s, "a\0b\0\0"s},
    {"text as hex(1), not ASCII", "\"S\"=hex(1):e9,00,3d,d8,00,de,00,00", "S", 1,
     "\xe9\0\x3d\xd8\0\xde\0\0"s, "\xc3\xa9\xf0\x9f\x98\x80\0"s},
    {"continued hex", "\"B\"=hex:01,02,\\\n  03,\\\n\n  ; skipped\n  04", "B", 3, "\x01\x02\x03\x04",
     "\x01\x02\x03\x04"},
};

TEST(RegTree, ReadsEveryValueFormInEachEncoding) {
  for (const FormCase& form : kForms) {
    const std::string body = "\n[HKEY_CURRENT_USER\\K]\n" + form.line + "\n";
    const struct {
      const char* encoding;
      std::string bytes;
      const std::string& expected;
    } files[] = {
        {"REGEDIT4, CRLF", crlf("REGEDIT4\n" + body), form.regedit4_data},
        {"Version 5 UTF-16LE", utf16_file(crlf("Windows Registry Editor Version 5.00\n" + body)),
         form.version5_data},
        {"Version 5 UTF-8, LF", "Windows Registry Editor Version 5.00\n" + body,
         form.version5_data},
    };
    for (const auto& file : files) {
      std::vector<RegTreeKey> keys;
      std::string error;
      ASSERT_TRUE(read_reg_tree(file.bytes, keys, error))
          << form.row << " / " << file.encoding << ": " << error;
      std::uint32_t type = 99;
      EXPECT_EQ(data_of(keys, "HKEY_CURRENT_USER\\K", form.name, &type), file.expected)
          << form.row << " / " << file.encoding;
      EXPECT_EQ(type, form.type) << form.row << " / " << file.encoding;
    }
  }
}

TEST(RegTree, TextsOfVersion5FilesReachTheProgramAsUtf8) {
  const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Cl\xc3\xa9]\r\n"
                           "\"N\xc3\xa9\"=\"\xe2\x82\xac\"\r\n";
  for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, utf16_file(text)}) {
    std::vector<RegTreeKey> keys;
    std::string error;
    ASSERT_TRUE(read_reg_tree(bytes, keys, error)) << error;
    EXPECT_EQ(data_of(keys, "HKEY_CURRENT_USER\\Cl\xc3\xa9", "N\xc3\xa9"), "\xe2\x82\xac\0"s);
  }
}

TEST(RegTree, ListsImpliedKeysAndMergesSectionsOfOneKey) {
  const std::string text = crlf(R"(REGEDIT4

; a comment before any key
[hkey_local_machine\Software\A\B]
"x"="1"

[HKEY_CURRENT_USER]
@="root"

[HKEY_LOCAL_MACHINE\software\a]]
"y"="2"

[HKEY_LOCAL_MACHINE\SOFTWARE\A\b]
"X"="3"
"z"=dword:00000001
)");
  std::vector<RegTreeKey> keys;
  std::string error;
  ASSERT_TRUE(read_reg_tree(text, keys, error)) << error;
  std::vector<std::string> paths;
  for (const RegTreeKey& key : keys) paths.push_back(key.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\Software",
                                             "HKEY_LOCAL_MACHINE\\Software\\A",
                                             "HKEY_LOCAL_MACHINE\\Software\\A\\B",
                                             "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE\\Software\\a]"}));
  const RegTreeKey* b = find_key(keys, "HKEY_LOCAL_MACHINE\\Software\\A\\B");
  ASSERT_EQ(b->values.size(), 2u);
  EXPECT_EQ(b->values[0].name, "x");  // the first spelling stays, the later data wins
  EXPECT_EQ(b->values[0].data, "3\0"s);
  EXPECT_EQ(data_of(keys, "HKEY_CURRENT_USER", ""), "root\0"s);
}

TEST(RegTree, AcceptsEveryLineEnd) {
  for (const char* line_end : {"\r\n", "\n", "\r"}) {
    std::string text = "REGEDIT4|[HKEY_CURRENT_USER\\K]|\"a\"=hex:01,\\|  02|\"b\"=\"x\"";
    for (std::size_t at; (at = text.find('|')) != std::string::npos;) text.replace(at, 1, line_end);
    std::vector<RegTreeKey> keys;
    std::string error;
    ASSERT_TRUE(read_reg_tree(text, keys, error)) << error;
    EXPECT_EQ(data_of(keys, "HKEY_CURRENT_USER\\K", "a"), "\x01\x02");
    EXPECT_EQ(data_of(keys, "HKEY_CURRENT_USER\\K", "b"), "x\0"s);
  }
}

// Old Windows tools ended a file with a DOS end-of-file byte on a line of its own.
TEST(RegTree, AcceptsADosEndOfFileByteEndingAREGEDIT4File) {
  for (const char* end : {"\x1A", "\x1A\r\n", "\x1A\n"}) {
    std::vector<RegTreeKey> keys;
    std::string error;
    ASSERT_TRUE(read_reg_tree("REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"b\"=\"x\"\r\n"s + end, keys, error))
        << error;
    EXPECT_EQ(data_of(keys, "HKEY_CURRENT_USER\\K", "b"), "x\0"s);
  }
}

// Files that must be refused whole, with the line that is wrong. Each row
// is a REGEDIT4 text unless it says otherwise.
struct BadCase {
  const char* row;
  std::string bytes;
  std::string error;
};

const BadCase kBadFiles[] = {
    {"empty file", "", "1: unknown header"},
    {"lower-case header", "regedit4\r\n", "1: unknown header"},
    {"header with a blank", "REGEDIT4 \r\n", "1: unknown header"},
    {"REGEDIT4 in UTF-16", utf16_file("REGEDIT4\r\n"), "1: a REGEDIT4 file must be"},
    {"UTF-16 without mark", std::string("R\0E\0", 4), "1: NUL character"},
    {"NUL byte", "REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"x\0y\"\r\n"s, "3: NUL character"},
    {"odd UTF-16 size", utf16_file("Windows Registry Editor Version 5.00\r\n") + "x",
     "2: truncated UTF-16"},
    {"odd UTF-16 size in a line",
     utf16_file("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K]") + "x",
     "2: truncated UTF-16"},
    {"value before any key", "REGEDIT4\r\n\r\n\"a\"=\"x\"\r\n", "3: value outside any key"},
    {"missing ]", "REGEDIT4\r\n[HKEY_CURRENT_USER\\K\r\n", "2: missing ]"},
    {"unknown root", "REGEDIT4\r\n[HKCU\\K]\r\n", "2: unknown root key"},
    {"no root as the first section", "REGEDIT4\r\n[\\K]\r\n", "2: unknown root key"},
    {"blank after [", "REGEDIT4\r\n[ HKEY_CURRENT_USER\\K]\r\n", "2: unknown root key"},
    {"doubled \\", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A\\\\B]\r\n", "2: empty key name component"},
    {"trailing \\", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A\\]\r\n", "2: empty key name component"},
    {"text after ]", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A] x\r\n", "2: text after the key name"},
    {"key deletion", "REGEDIT4\r\n[-HKEY_CURRENT_USER\\A]\r\n", "2: key deletion"},
    {"value deletion", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=-\r\n", "3: value deletion"},
    {"unterminated text", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"x\r\n",
     "3: unterminated string"},
    {"unterminated name", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a=\"x\"\r\n",
     "3: missing = after the value name"},
    {"escape at the end", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"x\\\r\n",
     "3: unterminated string"},
    {"bad escape", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"x\\n\"\r\n", "3: bad escape"},
    {"text after the text", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"x\" y\r\n",
     "3: text after the value"},
    {"no =", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\" \"x\"\r\n", "3: missing ="},
    {"unknown type", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=qword:1\r\n",
     "3: unknown value type"},
    {"upper-case type", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=DWORD:1\r\n",
     "3: unknown value type"},
    {"9 dword digits", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=dword:000000001\r\n",
     "3: bad dword"},
    {"0x dword", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=dword:0x1\r\n", "3: bad dword"},
    {"empty dword", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=dword:\r\n", "3: bad dword"},
    {"bad hex byte", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:01,0g\r\n", "3: bad hex byte"},
    {"three hex digits", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:012\r\n",
     "3: bad hex byte"},
    {"doubled comma", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:01,,02\r\n",
     "3: bad hex byte"},
    {"bad hex(N)", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex(z):01\r\n", "3: bad hex(N)"},
    {"bad continuation line",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:01,\\\r\n\r\n  zz\r\n", "5: bad hex byte"},
    {"section inside a continuation",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:01,\\\r\n[HKEY_CURRENT_USER\\B]\r\n",
     "4: bad hex byte"},
    {"continuation at the end",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:01,\\\r\n\r\n; c\r\n",
     "3: value continues past the end"},
    {"stray line", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\nx=1\r\n", "3: line not understood"},
    {"hash comment", "REGEDIT4\r\n# note\r\n", "2: line not understood"},
    {"Latin-1 text in a Version 5 file",
     "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"Caf\xE9\"\r\n",
     "3: not UTF-8"},
    {"Latin-1 key name after a UTF-8 mark",
     "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Caf\xE9]\r\n",
     "2: not UTF-8"},
    {"UTF-8 cut short at the line end",
     "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"\xE2\x82\"\r\n",
     "3: not UTF-8"},
    {"overlong UTF-8 in a comment", "Windows Registry Editor Version 5.00\r\n; \xC0\xAF\r\n",
     "2: not UTF-8"},
    {"UTF-8 beyond U+10FFFF", "Windows Registry Editor Version 5.00\r\n; \xF4\x90\x80\x80\r\n",
     "2: not UTF-8"},
    {"a line after the end-of-file byte", "REGEDIT4\r\n\x1A\r\n[HKEY_CURRENT_USER\\A]\r\n",
     "3: line after the end-of-file byte"},
    {"a blank line after the end-of-file byte", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\x1A\r\n\r\n",
     "4: line after the end-of-file byte"},
    {"the end-of-file byte after a key", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\x1A", "2: text after the key name"},
    {"the end-of-file byte within a continued value",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=hex:01,\\\r\n\x1A", "4: bad hex byte"},
    {"the end-of-file byte in a Version 5 file", "Windows Registry Editor Version 5.00\r\n\x1A",
     "2: line not understood"},
    {"bad line in UTF-16",
     utf16_file("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"x\r\n"),
     "4: unterminated string"},
};

TEST(RegTree, RefusesMalformedFilesNamingTheLine) {
  for (const BadCase& bad : kBadFiles) {
    std::vector<RegTreeKey> keys;
    std::string error;
    EXPECT_FALSE(read_reg_tree(bad.bytes, keys, error)) << bad.row;
    EXPECT_EQ(error.substr(0, bad.error.size()), bad.error) << bad.row << ": " << error;
  }
}

}  // namespace
}  // namespace morvex
