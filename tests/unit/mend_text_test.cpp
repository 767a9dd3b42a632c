// A mend said for Windows (reg commands, HKEY_LOCAL_MACHINE through the 32-bit
// view) and for a prefix (an edit of registry.reg in its own spelling).
#include <gtest/gtest.h>

#include "inventory/mend.h"

namespace morvex {
namespace {

struct Row {
  Mend mend;
  const char* reg_command;
  const char* file_edit;
};

TEST(MendText, SaysEachChangeForWindowsAndForAPrefix) {
  using Change = Mend::Change;
  constexpr auto user = RootKey::current_user;
  constexpr auto machine = RootKey::local_machine;
  const Row rows[] = {
      {{Change::set_number, user, "Software\\Microsoft\\Developer\\Tools", "NumTools", "", 3, ""},
       "reg add \"HKCU\\Software\\Microsoft\\Developer\\Tools\" /v NumTools /t REG_DWORD /d 3 /f",
       "in registry.reg, under [HKEY_CURRENT_USER\\Software\\Microsoft\\Developer\\Tools] (added if "
       "missing), make the value's line \"NumTools\"=dword:00000003"},
      {{Change::set_text, user, "Software\\T", "Executable Path", "cl.exe", 0, ""},
       "reg add \"HKCU\\Software\\T\" /v \"Executable Path\" /d cl.exe /f",
       "in registry.reg, under [HKEY_CURRENT_USER\\Software\\T] (added if missing), make the value's "
       "line \"Executable Path\"=\"cl.exe\""},
      {{Change::delete_value, machine, "Software\\S", "C:\\Program Files\\a.exe", "", 0, ""},
       "reg delete \"HKLM\\Software\\S\" /v \"C:\\Program Files\\a.exe\" /reg:32 /f",
       "in registry.reg, under [HKEY_LOCAL_MACHINE\\Software\\S], remove the line of "
       "\"C:\\\\Program Files\\\\a.exe\""},
      {{Change::set_number, machine, "Software\\S", "C:\\a.exe", "", 2, ""},
       "reg add \"HKLM\\Software\\S\" /v C:\\a.exe /t REG_DWORD /d 2 /reg:32 /f",
       "in registry.reg, under [HKEY_LOCAL_MACHINE\\Software\\S] (added if missing), make the value's "
       "line \"C:\\\\a.exe\"=dword:00000002"},
      {{Change::set_text, user, "Software\\C\\24", "IDE", "1", 0, "24"},
       "reg add \"HKCU\\Software\\C\\24\" /v IDE /d 1 /f && morvex-uninstall 24",
       "in registry.reg, under [HKEY_CURRENT_USER\\Software\\C\\24] (added if missing), make the "
       "value's line \"IDE\"=\"1\", then run morvex-uninstall 24"},
      {{Change::none, user, "", "", "", 0, "30"}, "morvex-uninstall 30", "morvex-uninstall 30"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(mend_as_reg_command(row.mend), row.reg_command);
    EXPECT_EQ(mend_as_file_edit(row.mend), row.file_edit);
  }
}

}  // namespace
}  // namespace morvex
