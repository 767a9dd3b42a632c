// The block-at-a-time loops of the registry scanner must stop exactly where
// a unit-by-unit loop stops, wherever the stop falls against the blocks.
#include "registry/reg_file/reg_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace morvex::regfile {
namespace {

template <class Unit>
std::vector<Unit> units_of(const std::string& text) {
  return std::vector<Unit>(text.begin(), text.end());
}

// One unit placed at every offset of a text long enough for several blocks,
// in both unit sizes: each loop must report what the plain loop reports.
template <class Unit>
void expect_like_plain_loops(const char* row, char filler, Unit stop) {
  for (std::size_t size : {0, 1, 15, 16, 17, 31, 32, 33, 70}) {
    for (std::size_t at = 0; at <= size; ++at) {
      std::vector<Unit> text = units_of<Unit>(std::string(size, filler));
      if (at < size) text[at] = stop;
      const std::size_t plain_stop = at;
      const auto where = std::string(row) + ", unit " + std::to_string(sizeof(Unit) * 8) +
                         " bits, size " + std::to_string(size) + ", at " + std::to_string(at);
      if (stop < 14) {
        EXPECT_EQ(plain_run(text.data(), size), plain_stop) << where;
      }
      if (stop == Unit('"') || stop == Unit('\\')) {
        EXPECT_EQ(text_run(text.data(), size), plain_stop) << where;
      }
      EXPECT_EQ(unit_run(text.data(), size, stop), plain_stop) << where;
      const std::vector<Unit> same = units_of<Unit>(std::string(size, filler));
      EXPECT_EQ(alike_run(text.data(), same.data(), size), plain_stop) << where;
    }
  }
}

TEST(RegBlocks, StopWhereAPlainLoopStops) {
  const struct {
    const char* row;
    char filler;
    char16_t stop;
  } cases[] = {
      {"line feed", 'x', u'\n'},
      {"carriage return", 'x', u'\r'},
      {"NUL", 'x', u'\0'},
      {"tab", 'x', u'\t'},
      {"quote", 'x', u'"'},
      {"backslash", 'x', u'\\'},
      {"backslash among blanks", ' ', u'\\'},
  };
  for (const auto& c : cases) {
    expect_like_plain_loops<unsigned char>(c.row, c.filler, static_cast<unsigned char>(c.stop));
    expect_like_plain_loops<char16_t>(c.row, c.filler, c.stop);
  }
}

// UTF-16 units that only look like the units sought in their low byte.
TEST(RegBlocks, WideUnitsAreNotTheirLowByte) {
  const std::u16string text(40, u'\u010A');  // low byte '\n'
  EXPECT_EQ(plain_run(text.data(), text.size()), text.size());
  const std::u16string quotes(40, u'\u0122');  // low byte '"'
  EXPECT_EQ(text_run(quotes.data(), quotes.size()), quotes.size());
  EXPECT_EQ(unit_run(quotes.data(), quotes.size(), u'"'), quotes.size());
  std::u16string hex;
  for (int i = 0; i < 20; ++i) hex += u"a0,";
  hex[31] = u'\u0130';  // low byte '0'
  EXPECT_EQ(hex_triples_run(hex.data(), hex.size()), 30u);
}

// hex_triples_run may stop early at a whole triple, never late: every unit
// it passes is part of a valid "xx," triple.
template <class Unit>
std::size_t plain_triples(const std::vector<Unit>& text) {
  const auto hex = [](Unit unit) {
    return (unit >= Unit('0') && unit <= Unit('9')) || (unit >= Unit('a') && unit <= Unit('f')) ||
           (unit >= Unit('A') && unit <= Unit('F'));
  };
  std::size_t i = 0;
  while (i + 3 <= text.size() && hex(text[i]) && hex(text[i + 1]) && text[i + 2] == Unit(','))
    i += 3;
  return i;
}

template <class Unit>
void expect_triples(const char* row, const std::string& text) {
  const std::vector<Unit> units = units_of<Unit>(text);
  const std::size_t passed = hex_triples_run(units.data(), units.size());
  const std::size_t valid = plain_triples(units);
  EXPECT_EQ(passed % 3, 0u) << row;
  EXPECT_LE(passed, valid) << row << ", " << sizeof(Unit) * 8 << " bits";
  // It gives up at most the triples of one block before a bad unit or the end.
  EXPECT_GE(passed + 16, std::min(valid, units.size() - units.size() % 3))
      << row << ", " << sizeof(Unit) * 8 << " bits";
}

TEST(RegBlocks, PassesOnlyWholeHexTriples) {
  std::string run;
  for (int i = 0; i < 40; ++i) run += "0F,";
  std::vector<std::pair<std::string, std::string>> cases = {
      {"a long run", run},
      {"upper and lower case digits", std::string(run).replace(30, 2, "aB")},
      {"ends without a comma", run.substr(0, run.size() - 1)},
      {"line continuation", run + "\\"},
  };
  for (const std::size_t at : {0, 1, 2, 14, 15, 16, 47, 48, 49, 62, 100}) {
    for (const char bad : {'g', 'G', ' ', ';', '\\', '/', ':', '@', '`', ','}) {
      std::string text = run;
      if (text[at] == bad) continue;
      text[at] = bad;
      cases.push_back({std::string("'") + bad + "' at " + std::to_string(at), text});
    }
  }
  for (const auto& [row, text] : cases) {
    expect_triples<unsigned char>(row.c_str(), text);
    expect_triples<char16_t>(row.c_str(), text);
  }
}

}  // namespace
}  // namespace morvex::regfile
