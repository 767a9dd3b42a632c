#include "uninstall/release_24_key.h"

#include "diag/diagnostics.h"
#include "diag/shared_errors.h"
#include "registry/product_keys.h"
#include "registry/registry.h"

namespace morvex {
std::int32_t read_release_24_selection() {
  std::int32_t selection = 1;
  const char* message = nullptr;
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, kRelease24Key, key)) {
    message = "failed to open MSDEV registry key";
  } else {
    if (!reg_read_dword(key, "XSELECT_language", selection)) {
      selection = 1;
      message = "failed to get saved Vantor compiler component string";
    }
    reg_close_key(key);
  }
  if (message != nullptr) report_error("%s.", message);
  return selection;
}

void write_release_24_selection(std::int32_t selection) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, kRelease24Key, key)) return;
  reg_write_dword(key, "XSELECT_language", selection);
  reg_close_key(key);
}

void update_release_24_key() {
  const std::int32_t selection = read_release_24_selection();
  if (selection == 3) {
    // Fortran stays installed: only the C/C++ driver's switch goes.
    write_release_24_selection(2);
    RegistryKey key;
    if (!reg_open_key(RootKey::current_user, kRelease24Key, key)) return;
    if (!reg_delete_value(key, "XVXC_use_vxc"))
      report_value_not_deleted();
    reg_close_key(key);
  } else if (selection == 1) {
    if (!reg_delete_key(RootKey::current_user, kRelease24Key))
      report_error("%s.", "failed to delete the Vantor compiler key");
  }
}

}  // namespace morvex
