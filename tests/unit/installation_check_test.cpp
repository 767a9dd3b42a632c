// --check on the example installation, whole and broken one way at a time:
// each breakage must be named, and a whole removal must leave none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "inventory/installation_findings.h"
#include "registry/registry.h"
#include "registry_generator.h"
#include "test_files.h"
#include "uninstall/uninstall_run.h"

namespace morvex {
namespace {

namespace fs = std::filesystem;

struct Breakage {
  const char* what;
  const char* registry_old;  // replaced once in registry.reg
  const char* registry_new;
  const char* removed_file;  // below drive_c
  std::vector<std::string> findings;  // a part of each finding, in order
};

TEST(InstallationCheck, NamesEachBreakageOfTheExample) {
  const Breakage rows[] = {
      {"whole", "", "", "", {}},
      {"install key gone", "\"IDE\"=\"2\"", "", "", {"release 30 is registered for Developer Studio 5.0 but"}},
      {"left the list", "\"Compiler_List\"=\"24;30\"", "\"Compiler_List\"=\"24\"", "",
       {"release 30 (Morvex Fortran Compiler) names Developer Studio 5.0"}},
      {"selection not listed", "\"Compiler\"=\"24\"\r\n\"Compiler_List\"=\"24;30\"",
       "\"Compiler\"=\"31\"\r\n\"Compiler_List\"=\"24;30\"", "",
       {"Developer Studio 5.0 selects release 31, which is not in its list \"24;30\""}},
      {"counted file gone", "", "", "Program Files/Morvex/bin/xvxc4.exe",
       {"bin\\xvxc4.exe is counted (1) but not on disk",
        "Developer Studio 4.x's compiler runs C:\\Program Files\\Morvex\\bin\\xvxc4.exe, which does not"}},
      {"count gone", "\"C:\\\\Program Files\\\\Morvex\\\\bin\\\\compsel.exe\"=dword:00000002\r\n", "", "",
       {"bin\\compsel.exe is on disk but has no shared count, while 2 installed releases use it"}},
      {"tool runs a missing file", "bin\\\\xvxc5.exe\"\r\n\r\n", "old\\\\xvxc5.exe\"\r\n\r\n", "",
       {"Developer Studio 5.0's compiler runs C:\\Program Files\\Morvex\\old\\xvxc5.exe, which does not"}},
      {"menu program missing", "compsel.exe\"\r\n\"ReloadNoPrompt#2\"=dword:00000000\r\n\"UseSearchPath#2\"=dword:00000000\r\n\"Visible",
       "compsel32.exe\"\r\n\"ReloadNoPrompt#2\"=dword:00000000\r\n\"UseSearchPath#2\"=dword:00000000\r\n\"Visible", "",
       {"Developer Studio 5.0's Tools menu entry 2 \"&Select Compiler\" runs C:\\Program Files\\Morvex\\bin\\compsel32.exe"}},
      {"NumTools", "\"NumTools\"=dword:00000004\r\n\"AskArgument#0\"=dword:00000000\r\n\"CloseWindow#0\"=dword:00000000\r\n\"DefaultArguments#0\"=\"$",
       "\"NumTools\"=dword:00000005\r\n\"AskArgument#0\"=dword:00000000\r\n\"CloseWindow#0\"=dword:00000000\r\n\"DefaultArguments#0\"=\"$", "",
       {"Developer Studio 4.x's Tools menu holds 4 entries but \"NumTools\" is 5"}},
  };
  support::Sandbox sandbox("check");
  for (const Breakage& row : rows) {
    const std::string prefix = sandbox.folder() + "/" + row.what;
    fs::copy(support::kExamplePrefix, prefix, fs::copy_options::recursive);
    std::string registry = support::read_file(prefix + "/registry.reg");
    const std::size_t at = registry.find(row.registry_old);
    ASSERT_NE(at, std::string::npos) << row.what;
    registry.replace(at, std::string_view(row.registry_old).size(), row.registry_new);
    support::write_file(prefix + "/registry.reg", registry);
    if (*row.removed_file != '\0') fs::remove(prefix + "/drive_c/" + row.removed_file);
    setenv("MORVEX_PREFIX", prefix.c_str(), 1);
    const std::vector<Finding> findings = find_leftovers(read_installation());
    reg_end_run();
    ASSERT_EQ(findings.size(), row.findings.size()) << row.what << ": " << (findings.empty() ? "" : findings[0].what);
    for (std::size_t i = 0; i < findings.size(); ++i)
      EXPECT_NE(findings[i].what.find(row.findings[i]), std::string::npos) << row.what << ": " << findings[i].what;
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
