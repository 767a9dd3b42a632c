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
  KeyIndex index;
  index.reset(2, 0);
  for (const std::uint64_t begin : begins) index.add_section(begin, kShallowSection);
  for (std::uint32_t section = 0; section < begins.size(); ++section) {
    EXPECT_EQ(index.section_begin(section), begins[section]) << "section " << section;
    const std::uint64_t end = section + 1 < begins.size() ? begins[section + 1] : 0x700000000ull;
    EXPECT_EQ(index.section_end(section, 0x700000000ull), end) << "section " << section;
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

}  // namespace
}  // namespace morvex::regfile
