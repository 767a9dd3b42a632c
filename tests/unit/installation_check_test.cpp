// --check on the example installation, whole and broken one way at a time:
// each breakage must be named, each mend it prints must mend it, and a whole
// removal must leave none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "diag/diagnostics.h"
#include "inventory/installation_findings.h"
#include "registry/registry.h"
#include "registry_generator.h"
#include "test_files.h"
#include "uninstall/uninstall_run.h"

namespace morvex {
namespace {

namespace fs = std::filesystem;

// Does what the mend says, through the registry as a person editing the file
// or running reg would.
void apply(const Mend& mend) {
  if (mend.change != Mend::Change::none) {
    RegistryKey key;
    if (mend.change != Mend::Change::delete_value) reg_create_key(mend.root, mend.key);
    ASSERT_TRUE(reg_open_key(mend.root, mend.key, key)) << mend.key;
    if (mend.change == Mend::Change::set_text) {
      EXPECT_TRUE(reg_write_string(key, mend.name, mend.text));
    }
    if (mend.change == Mend::Change::set_number) {
      EXPECT_TRUE(reg_write_dword(key, mend.name, mend.number));
    }
    if (mend.change == Mend::Change::delete_value) {
      EXPECT_TRUE(reg_delete_value(key, mend.name));
    }
    key.close();
    EXPECT_TRUE(reg_commit());
    reg_end_run();
  }
  if (!mend.uninstall.empty()) {
    run_uninstall({"p", "--yes", mend.uninstall});
    reg_end_run();
    forget_error_lines();
  }
}

struct Breakage {
  const char* what;
  const char* registry_old;  // replaced once in registry.reg
  const char* registry_new;
  const char* removed_file;  // below drive_c
  std::vector<std::string> findings;  // a part of each finding, in order
  std::size_t mends;                  // how many of them print a mend
};

TEST(InstallationCheck, NamesEachBreakageOfTheExample) {
  const Breakage rows[] = {
      {"whole", "", "", "", {}, 0},
      {"install key gone", "\"IDE\"=\"2\"", "", "", {"release 30 is registered for Developer Studio 5.0 but"}, 0},
      {"left the list", "\"Compiler_List\"=\"24;30\"", "\"Compiler_List\"=\"24\"", "",
       {"release 30 (Morvex Fortran Compiler) names Developer Studio 5.0"}, 0},
      {"selection not listed", "\"Compiler\"=\"24\"\r\n\"Compiler_List\"=\"24;30\"",
       "\"Compiler\"=\"31\"\r\n\"Compiler_List\"=\"24;30\"", "",
       {"Developer Studio 5.0 selects release 31, which is not in its list \"24;30\""}, 1},
      {"counted file gone", "", "", "Program Files/Morvex/bin/xvxc4.exe",
       {"bin\\xvxc4.exe is counted (1) but not on disk",
        "Developer Studio 4.x's compiler runs C:\\Program Files\\Morvex\\bin\\xvxc4.exe, which does not"}, 0},
      {"count gone", "\"C:\\\\Program Files\\\\Morvex\\\\bin\\\\compsel.exe\"=dword:00000002\r\n", "", "",
       {"bin\\compsel.exe is on disk but has no shared count, while 2 installed releases use it"}, 1},
      {"tool runs a missing file", "bin\\\\xvxc5.exe\"\r\n\r\n", "old\\\\xvxc5.exe\"\r\n\r\n", "",
       {"Developer Studio 5.0's compiler runs C:\\Program Files\\Morvex\\old\\xvxc5.exe, which does not"}, 0},
      {"menu program missing", "compsel.exe\"\r\n\"ReloadNoPrompt#2\"=dword:00000000\r\n\"UseSearchPath#2\"=dword:00000000\r\n\"Visible",
       "compsel32.exe\"\r\n\"ReloadNoPrompt#2\"=dword:00000000\r\n\"UseSearchPath#2\"=dword:00000000\r\n\"Visible", "",
       {"Developer Studio 5.0's Tools menu entry 2 \"&Select Compiler\" runs C:\\Program Files\\Morvex\\bin\\compsel32.exe"}, 0},
      {"NumTools", "\"NumTools\"=dword:00000004\r\n\"AskArgument#0\"=dword:00000000\r\n\"CloseWindow#0\"=dword:00000000\r\n\"DefaultArguments#0\"=\"$",
       "\"NumTools\"=dword:00000005\r\n\"AskArgument#0\"=dword:00000000\r\n\"CloseWindow#0\"=dword:00000000\r\n\"DefaultArguments#0\"=\"$", "",
       {"Developer Studio 4.x's Tools menu holds 4 entries but \"NumTools\" is 5"}, 1},
      {"C and C++ install key gone",
       "[HKEY_CURRENT_USER\\Software\\Morvex\\Morvex Tools\\Morvex Compilers\\Morvex C/C++ Compiler\\24]\r\n\"IDE\"=\"3\"\r\n",
       "", "",
       {"release 24 is registered for Developer Studio 4.x but no install key names it",
        "release 24 is registered for Developer Studio 5.0 but no install key names it"}, 2},
      {"4.x left half removed", "\"IDE\"=\"3\"", "\"IDE\"=\"2\"", "Program Files/Morvex/bin/xvxc4.exe",
       {"release 24 is registered for Developer Studio 4.x but no install key names it",
        "bin\\xvxc4.exe is counted (1) but not on disk",
        "Developer Studio 4.x's compiler runs C:\\Program Files\\Morvex\\bin\\xvxc4.exe, which does not"}, 3},
      {"install key left", "\"Compiler_List\"=\"24;30\"", "\"Compiler_List\"=\"30\"", "",
       {"Developer Studio 5.0 selects release 24, which is not in its list \"30\"",
        "release 24 (Morvex C/C++ Compiler) names Developer Studio 5.0"}, 2},
  };
  support::Sandbox sandbox("check");
  // The example broken as the row says, in a folder of its own, made current.
  const auto break_example = [&](const Breakage& row, const std::string& folder) {
    const std::string prefix = sandbox.folder() + "/" + folder;
    fs::copy(support::kExamplePrefix, prefix, fs::copy_options::recursive);
    std::string registry = support::read_file(prefix + "/registry.reg");
    const std::size_t at = registry.find(row.registry_old);
    ASSERT_NE(at, std::string::npos) << row.what;
    registry.replace(at, std::string_view(row.registry_old).size(), row.registry_new);
    support::write_file(prefix + "/registry.reg", registry);
    if (*row.removed_file != '\0') fs::remove(prefix + "/drive_c/" + row.removed_file);
    setenv("MORVEX_PREFIX", prefix.c_str(), 1);
  };
  for (const Breakage& row : rows) {
    break_example(row, row.what);
    const std::vector<Finding> findings = find_leftovers(read_installation());
    reg_end_run();
    ASSERT_EQ(findings.size(), row.findings.size()) << row.what << ": " << (findings.empty() ? "" : findings[0].what);
    std::size_t mends = 0;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      EXPECT_NE(findings[i].what.find(row.findings[i]), std::string::npos) << row.what << ": " << findings[i].what;
      if (findings[i].mend.empty()) continue;
      // Each mend on the breakage alone, as it is printed beside it.
      break_example(row, std::string(row.what) + " mended " + std::to_string(++mends));
      apply(findings[i].mend);
      for (const Finding& left : find_leftovers(read_installation()))
        EXPECT_NE(left.what, findings[i].what) << row.what << ": not mended by " << mend_text(findings[i].mend);
      reg_end_run();
    }
    EXPECT_EQ(mends, row.mends) << row.what;
  }
  // A whole removal of 2.4 leaves 3.0 whole.
  const std::string prefix = sandbox.folder() + "/whole";
  setenv("MORVEX_PREFIX", prefix.c_str(), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(run_uninstall({"p", "--yes", "--exit-status", "24"}), 0);
  reg_end_run();
  EXPECT_EQ(run_uninstall({"p", "--check"}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  reg_end_run();
  unsetenv("MORVEX_PREFIX");
}

}  // namespace
}  // namespace morvex
