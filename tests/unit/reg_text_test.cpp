// New value lines as regedit writes them, and the text conversions.
#include "registry/reg_file/reg_text.h"

#include <gtest/gtest.h>

namespace morvex::regfile {
namespace {

using namespace std::string_literals;

std::string formatted(std::string_view name, std::uint32_t type, std::string_view data,
                      Encoding encoding = Encoding::ansi) {
  std::string out;
  EXPECT_TRUE(format_value(name, type, data, encoding, "\r\n", out));
  return out;
}

std::string repeat(std::string_view text, int times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

TEST(RegText, WritesValuesAsRegeditDoes) {
  const struct {
    const char* row;
    std::string name;
    std::uint32_t type;
    std::string data;
    std::string line;
  } cases[] = {
      {"dword", "Count", 4, "\x0a\0\0\0"s, "\"Count\"=dword:0000000a\r\n"},
      {"negative dword", "N", 4, "\xff\xff\xff\xff", "\"N\"=dword:ffffffff\r\n"},
      {"dword of 2 bytes", "N", 4, "\x01\x02", "\"N\"=hex(4):01,02\r\n"},
      {"text, escapes", "a\"b", 1, "C:\\x\\\0"s, "\"a\\\"b\"=\"C:\\\\x\\\\\"\r\n"},
      {"default value", "", 1, "v\0"s, "@=\"v\"\r\n"},
      {"text with a line break", "T", 1, "a\nb\0"s, "\"T\"=hex(1):61,0a,62,00\r\n"},
      {"text with a zero byte", "T", 1, "a\0b\0"s, "\"T\"=hex(1):61,00,62,00\r\n"},
      {"text without its zero", "T", 1, "ab", "\"T\"=hex(1):61,62\r\n"},
      {"empty binary", "B", 3, "", "\"B\"=hex:\r\n"},
      {"expandable text", "E", 2, "%a%\0"s, "\"E\"=hex(2):25,61,25,00\r\n"},
      {"wrapped at 77 columns", "ShellState", 3,
       "\x24\0\0\0\x30\x28\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01\0\0\0\x13\0\0\0\0\0\0\0\x72\0\0\0"s,
       "\"ShellState\"=hex:24,00,00,00,30,28,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n"
       "  01,00,00,00,13,00,00,00,00,00,00,00,72,00,00,00\r\n"},
      {"25 bytes a continuation line", "", 3, std::string(50, '\x11'),
       "@=hex:" + repeat("11,", 24) + "\\\r\n  " + repeat("11,", 25) + "\\\r\n  11\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatted(c.name, c.type, c.data), c.line) << c.row;
}

TEST(RegText, Version5FilesGetUtf16TextData) {
  // A text that needs hex(1) is UTF-16LE there, and the line is UTF-16LE too.
  EXPECT_EQ(formatted("T", 1, "\xc3\xa9\n\0"s, Encoding::utf8),
            "\"T\"=hex(1):e9,00,0a,00,00,00\r\n");
  EXPECT_EQ(formatted("\xc3\xa9", 1, "x\0"s, Encoding::utf16le),
            "\"\0\xe9\0\"\0=\0\"\0x\0\"\0\r\0\n\0"s);
  std::string out;
  EXPECT_FALSE(format_value("a\nb", 1, "x\0"s, Encoding::ansi, "\r\n", out));
}

TEST(RegText, Utf16RoundTripsEvenLoneSurrogates) {
  const std::u16string units = {u'a', 0xE9, 0xD83D, 0xDE00, 0xDC01, u'z', 0xD800};
  std::string utf8;
  append_utf8(units.data(), units.size(), utf8);
  std::u16string back;
  ASSERT_TRUE(utf16_from_utf8(utf8, back));
  EXPECT_EQ(back, units);
  for (const char* bad : {"\x80", "\xc3", "\xc0\xaf", "\xf4\x90\x80\x80", "\xff"})
    EXPECT_FALSE(utf16_from_utf8(bad, back)) << bad;
  EXPECT_TRUE(storable_text("\xff", Encoding::ansi));
  EXPECT_FALSE(storable_text("\xff", Encoding::utf8));
}

// The check of a Version 5 file's lines takes exactly what the conversion
// takes, wherever in a line the sequence falls against its 16-byte blocks.
TEST(RegText, Utf8CheckAgreesWithTheConversionAtEveryPlace) {
  std::u16string ignored;
  for (const char* sequence : {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xed\xa0\x80",
                               "\x80", "\xc3", "\xe2\x82", "\xc0\xaf", "\xf4\x90\x80\x80", "\xff"})
    for (std::size_t before = 0; before < 40; ++before)
      for (const std::size_t after : {0, 1, 15, 16, 17}) {
        const std::string line = std::string(before, 'a') + sequence + std::string(after, 'z');
        EXPECT_EQ(is_utf8(reinterpret_cast<const unsigned char*>(line.data()), line.size()),
                  utf16_from_utf8(line, ignored))
            << before << " + " << line.substr(before) << " + " << after;
      }
}

TEST(RegText, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(equal_folded("Compiler_List", "compiler_LIST"));
  EXPECT_FALSE(equal_folded("\xc3\x89", "\xc3\xa9"));
  EXPECT_FALSE(equal_folded("a", "a "));
}

}  // namespace
}  // namespace morvex::regfile
