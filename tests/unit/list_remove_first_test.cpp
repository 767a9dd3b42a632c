#include "registrations/list_remove_first.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace morvex {
namespace {

struct RemoveCase {
  const char* name;
  std::string list;
  std::string item;
  std::optional<std::string> expected;  // nothing: not found
};

const RemoveCase kCases[] = {
    // The splice as the registration list and the directory lists use it.
    {"middle item takes the separator before it", "A;V;B", "V", "A;B"},
    {"first item takes the separator after it", "V;B", "V", "B"},
    {"last item leaves no separator behind", "A;V", "V", "A"},
    {"only item", "V", "V", ""},
    {"first item before an empty place", "V;;B", "V", ";B"},
    {"last item after an empty place", "A;;V", "V", "A;"},
    {"item after a leading separator", ";V", "V", ""},
    {"item before a trailing separator", "V;", "V", ""},
    {"absent item", "A;B", "V", std::nullopt},
    {"empty list", "", "V", std::nullopt},
    {"list of separators only", ";;", "V", std::nullopt},
    {"only the first of two occurrences", "A;V;B;V", "V", "A;B;V"},
    {"empty places elsewhere stay", ";A;;V;;B;", "V", ";A;;;B;"},
    {"letter case counts", "A;v;V", "V", "A;v"},
    {"lower-case item not found in upper-case list", "A;V", "v", std::nullopt},
    // Whole items only.
    {"later whole item behind a longer one", "301;30", "30", "301"},
    {"text only inside a longer item", "VX;B", "V", std::nullopt},
    {"whole item behind one that contains it", "VX;V", "V", "VX"},
    {"whole item before one that contains it", "V;VX", "V", "VX"},
    {"text only at the end of a longer item", "A;XV", "V", std::nullopt},
    {"subdirectory before the directory",
     "c:\\tools\\bin\\x86;c:\\tools\\bin;c:\\dos", "c:\\tools\\bin", "c:\\tools\\bin\\x86;c:\\dos"},
    {"item holding the separator matches no item", "A;B;C", "A;B", std::nullopt},
    {"empty item matches nothing", "A;;B", "", std::nullopt},
    {"blanks belong to the item", "A; V;B", "V", std::nullopt},
};

TEST(ListRemoveFirst, Table) {
  for (const RemoveCase& c : kCases) {
    EXPECT_EQ(list_remove_first(c.list, c.item), c.expected)
        << "case: " << c.name << " (\"" << c.list << "\" less \"" << c.item << "\")";
  }
}

TEST(ListRemoveFirst, LongListHasNoLengthLimit) {
  std::string list;
  for (int i = 0; i < 400; ++i) list += "release" + std::to_string(i) + ";";
  list += "V;tail";
  ASSERT_GT(list.size(), 1000u);

  const auto shortened = list_remove_first(list, "V");
  ASSERT_TRUE(shortened.has_value());
  EXPECT_EQ(*shortened, list.substr(0, list.size() - 7) + ";tail");

  const auto head = list_remove_first(list, "release0");
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(*head, list.substr(std::string("release0;").size()));
}

}  // namespace
}  // namespace morvex
