#include "diag/diagnostics.h"
#include "diag/shared_errors.h"
#include "registrations/registrations.h"
#include "registry/registry.h"

namespace morvex {

bool check_release_language(std::int32_t language, const std::string& release_name,
                            const std::string& generation_key_path, bool narrow) {
  const std::string release_key_path = generation_key_path + "\\" + release_name;
  RegistryKey release_key;
  if (!reg_open_key(RootKey::current_user, release_key_path, release_key)) {
    report_key_open_failed(release_key_path);
    return false;
  }
  std::int32_t mask = 0;
  if (!reg_read_dword(release_key, "Languages", mask)) {
    report_error("Languages list not found");
    return false;
  }
  if (mask == language) return true;
  if (mask != 3) return false;
  if (!narrow) return true;

  if (!reg_write_dword(release_key, "Languages", language))
    report_error("could not set Language component");
  // The help file of the language the release no longer offers goes too.
  const char* dropped_helpfile = language == 2 ? "CHelpfile" : "FHelpfile";
  if (!reg_delete_value(release_key, dropped_helpfile))
    report_value_not_deleted();
  return true;
}

}  // namespace morvex
