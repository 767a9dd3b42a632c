// A key named again by a later section is the same key, however the file
// orders its sections: the key index takes a sorted run of siblings on
// trust and must not when the order breaks.
#include <gtest/gtest.h>

#include "reg_test_files.h"
#include "registry/registry.h"

namespace morvex {
namespace {

using reg_test::crlf;
using reg_test::utf16_file;

struct Expected {
  const char* path;  // below HKEY_CURRENT_USER
  const char* name;
  const char* text;
};

struct OrderCase {
  const char* row;
  const char* sections;  // after the header line
  std::vector<Expected> values;
  const char* named_twice;  // deleted at the end: no second copy may stay behind
};

const OrderCase kCases[] = {
    {"back to a key after a later sibling",
     "[HKEY_CURRENT_USER\\A\\B]\n\"v\"=\"b\"\n[HKEY_CURRENT_USER\\A\\D]\n\"v\"=\"d\"\n"
     "[HKEY_CURRENT_USER\\A\\b\\X]\n[HKEY_CURRENT_USER\\A\\d]\n\"w\"=\"d2\"\n",
     {{"A\\D", "v", "d"}, {"A\\D", "w", "d2"}, {"A\\B", "v", "b"}},
     "A\\D"},
    {"siblings out of order",
     "[HKEY_CURRENT_USER\\A\\D]\n[HKEY_CURRENT_USER\\A\\B]\n\"v\"=\"1\"\n"
     "[HKEY_CURRENT_USER\\A\\C]\n[HKEY_CURRENT_USER\\A\\b]\n\"w\"=\"2\"\n",
     {{"A\\B", "v", "1"}, {"A\\B", "w", "2"}},
     "A\\B"},
    {"the same key in another letter case",
     "[HKEY_CURRENT_USER\\A\\Key]\n\"v\"=\"1\"\n[HKEY_CURRENT_USER\\a\\KEY]\n\"w\"=\"2\"\n",
     {{"A\\key", "v", "1"}, {"A\\key", "w", "2"}},
     "A\\Key"},
    {"back from the other root",
     "[HKEY_CURRENT_USER\\A\\B]\n\"v\"=\"1\"\n[HKEY_LOCAL_MACHINE\\A\\C]\n"
     "[HKEY_CURRENT_USER\\A\\b]\n\"w\"=\"2\"\n[HKEY_CURRENT_USER\\A\\C]\n",
     {{"A\\B", "v", "1"}, {"A\\B", "w", "2"}},
     "A\\B"},
    {"back to a root after a name of the other root that sorts before",
     "[HKEY_CURRENT_USER\\B\\X]\n\"v\"=\"1\"\n[HKEY_LOCAL_MACHINE\\A]\n"
     "[HKEY_CURRENT_USER\\B\\Y]\n\"w\"=\"2\"\n",
     {{"B\\X", "v", "1"}, {"B\\Y", "w", "2"}},
     "B\\Y"},
    {"back below a key after its sibling's subtree",
     "[HKEY_CURRENT_USER\\A\\B\\C]\n\"v\"=\"1\"\n[HKEY_CURRENT_USER\\A\\D]\n"
     "[HKEY_CURRENT_USER\\A\\B\\E]\n[HKEY_CURRENT_USER\\A\\B\\C]\n\"w\"=\"2\"\n",
     {{"A\\B\\C", "v", "1"}, {"A\\B\\C", "w", "2"}},
     "A\\B\\C"},
    {"names in order only when letter case counts",
     "[HKEY_CURRENT_USER\\A\\B]\n\"v\"=\"1\"\n[HKEY_CURRENT_USER\\A\\a]\n"
     "[HKEY_CURRENT_USER\\A\\b]\n\"w\"=\"2\"\n",
     {{"A\\B", "v", "1"}, {"A\\B", "w", "2"}},
     "A\\B"},
};

class RegIndexOrder : public reg_test::PrefixTest {};

TEST_F(RegIndexOrder, KeysNamedAgainAreTheSameKeys) {
  for (const OrderCase& c : kCases) {
    for (const bool wide : {false, true}) {
      const std::string text =
          std::string(wide ? "Windows Registry Editor Version 5.00\n" : "REGEDIT4\n") + c.sections;
      write_registry(wide ? utf16_file(crlf(text)) : crlf(text));
      const std::string row = std::string(c.row) + (wide ? " (UTF-16)" : "");
      for (const Expected& expected : c.values) {
        RegistryKey key;
        ASSERT_TRUE(reg_open_key(RootKey::current_user, expected.path, key)) << row;
        EXPECT_EQ(reg_read_string(key, expected.name), expected.text)
            << row << ": " << expected.path;
      }
      EXPECT_TRUE(reg_delete_key(RootKey::current_user, c.named_twice)) << row;
      RegistryKey gone;
      EXPECT_FALSE(reg_open_key(RootKey::current_user, c.named_twice, gone)) << row;
      end_run();
    }
  }
}

}  // namespace
}  // namespace morvex
