// A section's path is read on its own terms even where it starts like the
// section before, which the scanner does not look at twice.
#include <gtest/gtest.h>

#include "reg_test_files.h"
#include "registry/reg_file/reg_tree.h"

namespace morvex {
namespace {

using reg_test::crlf;
using reg_test::utf16_file;

struct PathCase {
  const char* row;
  const char* sections;           // after the header line
  std::vector<std::string> keys;  // every key, in the order first named
};

const PathCase kCases[] = {
    {"a name that extends the one before",
     "[HKEY_CURRENT_USER\\A]\n[HKEY_CURRENT_USER\\AB]\n[HKEY_CURRENT_USER\\A\\B]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\AB",
      "HKEY_CURRENT_USER\\A\\B"}},
    {"a root on its own before",
     "[HKEY_CURRENT_USER]\n[HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\A\\B"}},
    {"a bracket inside a name",
     "[HKEY_CURRENT_USER\\A]x\\B]\n[HKEY_CURRENT_USER\\A]x\\C]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\A]x", "HKEY_CURRENT_USER\\A]x\\B",
      "HKEY_CURRENT_USER\\A]x\\C"}},
    {"backslashes in a comment after the name",
     "[HKEY_CURRENT_USER\\A] ; x\\y\n[HKEY_CURRENT_USER\\A\\y]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\A\\y"}},
    {"the same names in other letter cases",
     "[HKEY_CURRENT_USER\\Ab\\C]\n[hkey_current_user\\aB\\D]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\Ab", "HKEY_CURRENT_USER\\Ab\\C",
      "HKEY_CURRENT_USER\\Ab\\D"}},
    {"a shorter path after a longer one",
     "[HKEY_CURRENT_USER\\A\\B\\C]\n[HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER\\A\\BC]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\A\\B",
      "HKEY_CURRENT_USER\\A\\B\\C", "HKEY_CURRENT_USER\\A\\BC"}},
    {"another root of the same length",
     "[HKEY_CURRENT_USER\\A]\n[HKEY_CLASSES_ROOT\\A]\n",
     {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\A", "HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT\\A"}},
};

TEST(RegSectionPaths, EachPathIsReadWhole) {
  for (const PathCase& c : kCases) {
    for (const bool wide : {false, true}) {
      const std::string text =
          std::string(wide ? "Windows Registry Editor Version 5.00\n" : "REGEDIT4\n") + c.sections;
      std::vector<RegTreeKey> keys;
      std::string error;
      ASSERT_TRUE(read_reg_tree(wide ? utf16_file(crlf(text)) : crlf(text), keys, error))
          << c.row << ": " << error;
      std::vector<std::string> paths;
      for (const RegTreeKey& key : keys) paths.push_back(key.path);
      EXPECT_EQ(paths, c.keys) << c.row << (wide ? " (UTF-16)" : "");
    }
  }
}

// A bad path after a good one that starts alike is still refused.
TEST(RegSectionPaths, ABadPathAfterAGoodOneIsRefused) {
  const struct {
    const char* row;
    const char* sections;
  } cases[] = {
      {"empty component", "[HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER\\A\\\\B]\n"},
      {"trailing backslash", "[HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER\\A\\B\\]\n"},
      {"root cut short", "[HKEY_CURRENT_USER\\A]\n[HKEY_CURRENT_USE\\A]\n"},
  };
  for (const auto& c : cases) {
    std::vector<RegTreeKey> keys;
    std::string error;
    EXPECT_FALSE(read_reg_tree(crlf(std::string("REGEDIT4\n") + c.sections), keys, error)) << c.row;
    EXPECT_EQ(error.substr(0, 2), "3:") << c.row << ": " << error;
  }
}

}  // namespace
}  // namespace morvex
