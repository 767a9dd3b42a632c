// The key index packs what it keeps: section offsets in 32 bits with the
// 4 GB steps aside, names in shared blocks or, when longer, one of their own.
// Files that large are not made here, so the packing is checked directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/reg_file/reg_index.h"

namespace morvex::regfile {
namespace {

TEST(KeyIndexStorage, SectionOffsetsPastEach4GbStep) {
  const std::vector<std::uint64_t> begins = {
      0, 100, 0xFFFFFFFFull, 0x100000000ull, 0x100000005ull, 0x512345678ull, 0x600000000ull};
  // Noted in one index, or in two joined after the section `cut` (a file
  // checked in two halves).
  for (std::size_t cut = 0; cut <= begins.size(); ++cut) {
    KeyIndex index;
    KeyIndex later;
    index.reset(2, 0);
    later.reset(2, 0);
    for (std::size_t section = 0; section < begins.size(); ++section)
      (section < cut ? index : later).add_section(begins[section], kShallowSection);
    index.append_sections(std::move(later));
    ASSERT_EQ(index.section_count(), begins.size()) << "cut " << cut;
    for (std::uint32_t section = 0; section < begins.size(); ++section) {
      const std::string trace =
          "cut " + std::to_string(cut) + ", section " + std::to_string(section);
      EXPECT_EQ(index.section_begin(section), begins[section]) << trace;
      const std::uint64_t end = section + 1 < begins.size() ? begins[section + 1] : 0x700000000ull;
      EXPECT_EQ(index.section_end(section, 0x700000000ull), end) << trace;
    }
  }
}

TEST(KeyIndexStorage, NamesKeptWholeAcrossBlocks) {
  // Short names fill blocks; a name longer than a block gets one of its own
  // and the short names after it start a new one.
  const std::vector<std::string> names = {
      "Software", std::string(1400000, 'a'), std::string(1400000, 'b'), std::string(5 << 20, 'c'),
      "Morvex", std::string((2 << 20) - 1, 'd'), "X"};
  KeyIndex index;
  index.reset(2, 0);
  std::vector<std::uint32_t> keys;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::uint32_t key = kNoKey;
    ASSERT_TRUE(index.add(1, static_cast<std::uint32_t>(i), names[i], kNoSection, key));
    keys.push_back(key);
  }
  for (std::size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(index.name(keys[i]), names[i]) << "name " << i;
}

// Names alike but for the case of A to Z must hash alike, since either
// spelling finds the key; others should not, and a name must not spill into
// its neighbours' lanes.
TEST(KeyIndexStorage, NameHashIgnoresOnlyTheCaseOfAToZ) {
  struct Row {
    std::u16string a, b;
    bool alike;
  };
  const std::vector<Row> rows = {
      {u"Software", u"SOFTWARE", true},
      {u"abcdefghijklmnopqrstuvwxyz", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", true},
      {u"Morvex C/C++ Compiler", u"mORVEX c/c++ cOMPILER", true},
      {u"", u"", true},
      {u"@[`{", u"`{@[", false},  // just outside A to Z on each side
      {u"Z", u"z", true},
      {u"A", u"a", true},
      {u"\u00c9t\u00e9", u"\u00e9t\u00e9", false},  // only ASCII letters are folded
      {u"Key1", u"Key2", false},
      {u"KeyName12", u"KeyName13", false},  // differs past the first word
      {u"abc", u"abc ", false},
  };
  for (const Row& row : rows) {
    const std::string trace = "row " + std::to_string(&row - rows.data());
    const auto wide = [](const std::u16string& text) {
      return name_hash(7, text.data(), text.size());
    };
    EXPECT_EQ(wide(row.a) == wide(row.b), row.alike) << trace << " (UTF-16)";
    std::string a(row.a.begin(), row.a.end());  // the low bytes: Latin-1
    std::string b(row.b.begin(), row.b.end());
    const auto narrow = [](const std::string& text, std::uint32_t parent) {
      return name_hash(parent, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    };
    EXPECT_EQ(narrow(a, 7) == narrow(b, 7), row.alike) << trace << " (8-bit)";
    EXPECT_NE(narrow(a, 7), narrow(a, 8)) << trace << ": the parent counts";
  }
}

}  // namespace
}  // namespace morvex::regfile
