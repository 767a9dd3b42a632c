#include "diag/diagnostics.h"
#include "registry/registry.h"

namespace morvex {

void RegistryKey::close() {
  if (native_ != 0) close_native(release());
}

void reg_close_key(RegistryKey& key) { key.close(); }

void reg_prune_key(const std::string& path) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, path, key)) return;
  // The handle stays open while the key is deleted, as the IDE's own
  // uninstallers did; the platform allows it.
  if (!reg_has_subkeys(key) && !reg_delete_key(RootKey::current_user, path))
    report_error("Error deleting the %s key", path.c_str());
  reg_close_key(key);
}

}  // namespace morvex
