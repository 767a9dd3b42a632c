// reg_count_values over registry.reg: what a key holds now, as the program
// sees it, not how many lines the file spends on it.
#include <gtest/gtest.h>

#include "reg_test_files.h"
#include "registry/registry.h"

namespace morvex {
namespace {

using reg_test::crlf;

const char* const kTools = "Software\\Tools";

class RegistryValueCount : public reg_test::PrefixTest {
 protected:
  std::uint32_t count(const char* path) {
    RegistryKey key;
    std::uint32_t values = 99;
    if (!reg_open_key(RootKey::current_user, path, key)) return 98;
    EXPECT_TRUE(reg_count_values(key, values)) << path;
    return values;
  }
};

TEST_F(RegistryValueCount, CountsEachNameOnceAndFollowsChanges) {
  write_registry(crlf(R"(REGEDIT4

[HKEY_CURRENT_USER\Software\Tools]
"NumTools"="abcd"
"MenuName#0"="a"

[HKEY_CURRENT_USER\Software\Tools\Sub]
"X"=dword:1

[HKEY_CURRENT_USER\Software\Tools]
"menuname#0"="again"
@="default"

[HKEY_CURRENT_USER\Software\Implied\Child]
)"));
  EXPECT_EQ(count(kTools), 3u) << "a name spelled twice, in two sections, is one value";
  EXPECT_EQ(count("Software\\Tools\\Sub"), 1u) << "subkeys are not values";
  EXPECT_EQ(count("Software\\Implied"), 0u) << "a key named only by its subkey";

  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, kTools, key));
  EXPECT_TRUE(reg_write_dword(key, "PathName#0", 1));
  EXPECT_TRUE(reg_delete_value(key, "NUMTOOLS"));
  EXPECT_TRUE(reg_write_string(key, "MenuName#0", "b"));
  std::uint32_t values = 0;
  EXPECT_TRUE(reg_count_values(key, values));
  EXPECT_EQ(values, 3u) << "one added, one deleted, one replaced";

  ASSERT_TRUE(reg_delete_key(RootKey::current_user, "Software\\Tools\\Sub"));
  RegistryKey gone;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "Software\\Implied\\Child", gone));
  ASSERT_TRUE(reg_delete_key(RootKey::current_user, "Software\\Implied\\Child"));
  values = 7;
  EXPECT_FALSE(reg_count_values(gone, values)) << "a handle to a deleted key";
  EXPECT_EQ(values, 0u);
  EXPECT_FALSE(reg_count_values(RegistryKey(), values)) << "a closed handle";
}

}  // namespace
}  // namespace morvex
