// Lines read from a file in small chunks must come out exactly as from the
// whole text in memory, wherever a chunk happens to end.
#include "registry/reg_file/reg_lines.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace morvex::regfile {
namespace {

using namespace std::string_literals;

template <class Unit>
std::string lines_of(LineReader<Unit>& reader) {
  std::string out;
  TextLine<Unit> line;
  for (;;) {
    const auto status = reader.next(line);
    if (status == LineReader<Unit>::Status::end) return out + "end";
    if (status == LineReader<Unit>::Status::error)
      return out + "error " + std::to_string(reader.error_line()) + ": " + reader.error();
    out += std::to_string(line.number) + "@" + std::to_string(line.offset) + "+" +
           std::to_string(line.line_end_size) + " [";
    for (std::size_t i = 0; i < line.size; ++i) out += static_cast<char>(line.text[i]);
    out += "]\n";
  }
}

template <class Unit>
void expect_same_in_chunks(const char* row, const std::string& bytes, std::size_t begin) {
  char path[] = "/tmp/morvex-lines-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  unlink(path);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  std::vector<Unit> units((bytes.size() - begin) / sizeof(Unit));
  if (!units.empty()) std::memcpy(units.data(), bytes.data() + begin, units.size() * sizeof(Unit));
  LineReader<Unit> whole(units.data(), units.size(), begin,
                         (bytes.size() - begin) % sizeof(Unit) != 0);
  const std::string expected = lines_of(whole);
  for (const std::size_t chunk : {1, 2, 3, 4, 5, 7, 8, 13, 64, 1 << 20}) {
    LineReader<Unit> chunked(fd, begin, bytes.size(), chunk);
    EXPECT_EQ(lines_of(chunked), expected) << row << ", chunks of " << chunk;
  }
  close(fd);
}

std::string utf16(const std::string& ascii) {
  std::string out;
  for (const char c : ascii) out += std::string{c, '\0'};
  return out;
}

TEST(RegLines, ChunkEndsChangeNothing) {
  const struct {
    const char* row;
    std::string text;
  } cases[] = {
      {"every line end", "ab\r\ncd\ref\n\r\n\r\rgh\r\n\nlast"},
      {"ends with CR", "ab\r\ncd\r"},
      {"ends with CRLF", "ab\r\n"},
      {"one long line", std::string(300, 'x') + "\r\n" + std::string(70, 'y')},
      {"tabs and controls", "a\tb\x01\x0b\x0c\x0e\r\n\t\t\t\t\t\t\t\t\t\tz\n"},
      {"NUL", "ab\r\ncd\r\ne\0f\r\n"s},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    expect_same_in_chunks<unsigned char>(c.row, "xyz" + c.text, 3);
    expect_same_in_chunks<char16_t>(c.row, "\xff\xfe" + utf16(c.text), 2);
    expect_same_in_chunks<char16_t>(c.row, "\xff\xfe" + utf16(c.text) + "!", 2);
  }
}

TEST(RegLines, NamesTheLineOfAnError) {
  std::vector<char16_t> units = {u'a', u'\r', u'\n', u'b'};
  LineReader<char16_t> odd_after_line(units.data(), 3, 0, true);
  EXPECT_EQ(lines_of(odd_after_line), "1@0+2 [a]\nerror 2: truncated UTF-16 text (odd number of bytes)");
  LineReader<char16_t> odd_in_line(units.data(), 4, 0, true);
  EXPECT_EQ(lines_of(odd_in_line),
            "1@0+2 [a]\n2@6+0 [b]\nerror 2: truncated UTF-16 text (odd number of bytes)");
  const std::string nul = "a\nb\0"s;
  LineReader<unsigned char> with_nul(reinterpret_cast<const unsigned char*>(nul.data()), nul.size(), 0);
  EXPECT_EQ(lines_of(with_nul), "1@0+1 [a]\nerror 2: NUL character in the file");
}

}  // namespace
}  // namespace morvex::regfile
