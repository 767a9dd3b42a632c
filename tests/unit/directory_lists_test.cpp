#include "ide/directory_lists.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace morvex {
namespace {

TEST(RemoveDirectoryFromList, MatchesAnyLetterCaseButKeepsTheStoredSpelling) {
  const struct {
    const char* name;
    const char* list;
    const char* directory;
    std::optional<std::string> expected;
  } rows[] = {
      {"middle", "C:\\Pa;C:\\Xe\\Bin;C:\\Qu", "c:\\xe\\bin", "C:\\Pa;C:\\Qu"},
      {"first", "C:\\Xe;C:\\Qu", "C:\\XE", "C:\\Qu"},
      {"last", "C:\\Pa;C:\\Xe", "c:\\xe", "C:\\Pa"},
      {"alone", "C:\\Xe", "c:\\xe", ""},
      {"alone with separator", "C:\\Xe;", "C:\\Xe", ""},
      {"mixed case on both sides", "Dir\\A;dIR\\x;Q", "DIR\\X", "Dir\\A;Q"},
      {"only the first of two", "X;P;x", "x", "P;x"},
      // Both items fold alike; the first one must go, not a lookalike later.
      {"first of two spellings", "ABC;abc;Q", "abc", "abc;Q"},
      {"first of two spellings at end", "P;Abc;aBC", "ABC", "P;aBC"},
      {"subdirectory before it stays", "C:\\Xe\\Sub;C:\\Xe", "c:\\xe", "C:\\Xe\\Sub"},
      {"inside a longer item only", "C:\\XeY;Q", "C:\\Xe", std::nullopt},
      {"absent", "C:\\Pa;C:\\Qu", "C:\\Xe", std::nullopt},
      {"empty directory", "C:\\Pa;;C:\\Qu", "", std::nullopt},
      {"empty places stay", "Pa;;Xe;", "xe", "Pa;;"},
      {"bytes above 127 are not folded", "\xC4;B", "\xE4", std::nullopt},
      {"bytes above 127 match exactly", "P;\xC4x", "\xC4X", "P"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(remove_directory_from_list(row.list, row.directory), row.expected);
  }
}

}  // namespace
}  // namespace morvex
