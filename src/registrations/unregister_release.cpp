#include <cstdint>
#include <optional>
#include <string>

#include "diag/diagnostics.h"
#include "diag/shared_errors.h"
#include "registry/product_keys.h"
#include "registrations/generation_languages.h"
#include "registrations/list_items.h"
#include "registrations/list_remove_first.h"
#include "registrations/registrations.h"
#include "registry/registry.h"

namespace morvex {
namespace {

bool open_generation_key(const std::string& path, RegistryKey& key) {
  if (reg_open_key(RootKey::current_user, path, key)) return true;
  report_key_open_failed(path);
  return false;
}

std::optional<std::string> read_release_list(const RegistryKey& generation_key) {
  auto list = reg_read_string(generation_key, "Compiler_List");
  if (!list) report_error("Compiler List not found!!");
  return list;
}

// True when some item of the list is the release and it keeps Fortran
// (a release offering both is narrowed to Fortran on the way).
bool release_keeps_fortran(const std::string& version_key, const std::string& generation_path) {
  RegistryKey generation_key;
  if (!open_generation_key(generation_path, generation_key)) return false;
  const auto list = read_release_list(generation_key);
  if (!list) return false;
  bool keeps = false;
  for_each_list_item(*list, [&](const ListItem& item) {
    if (item.text == version_key &&
        check_release_language(2, std::string(item.text), generation_path, true))
      keeps = true;
  });
  return keeps;
}

struct Shortening {
  std::string list;
  // The stored list still names other releases although this one is not
  // among them: the generation is not emptied by this call.
  bool others_listed = false;
};

Shortening shorten_release_list(const std::string& version_key,
                                const std::string& generation_path) {
  Shortening result;
  RegistryKey generation_key;
  if (!open_generation_key(generation_path, generation_key)) return result;
  const auto list = read_release_list(generation_key);
  if (!list) return result;
  if (auto shortened = list_remove_first(*list, version_key))
    result.list = std::move(*shortened);
  else
    result.others_listed = next_list_item(*list, 0).has_value();
  return result;
}

void store_list_and_languages(const std::string& shortened, const std::string& generation_path) {
  RegistryKey generation_key;
  if (!open_generation_key(generation_path, generation_key)) return;
  if (!reg_write_string(generation_key, "Compiler_list", shortened))
    report_error("could not set Compiler list component");

  bool fortran_remains = false;
  bool cxx_remains = false;
  for_each_list_item(shortened, [&](const ListItem& item) {
    const std::string name(item.text);
    if (check_release_language(2, name, generation_path, false)) fortran_remains = true;
    if (check_release_language(1, name, generation_path, false)) cxx_remains = true;
  });

  std::int32_t generation_mask = 0;
  if (!reg_read_dword(generation_key, "Languages", generation_mask)) return;
  align_generation_languages(generation_key, fortran_remains, cxx_remains, generation_mask);
}

void remove_release_key(const std::string& release_path) {
  RegistryKey release_key;
  if (!reg_open_key(RootKey::current_user, release_path, release_key)) {
    report_key_open_failed(release_path);
    return;
  }
  std::int32_t mask = 0;
  if (!reg_read_dword(release_key, "Languages", mask)) {
    report_error("Languages list not found");
    return;
  }
  if (mask == 1) {
    if (!reg_delete_key(RootKey::current_user, release_path))
      report_key_not_deleted(release_path);
  } else if (!reg_write_dword(release_key, "Languages", 2)) {
    report_error("could not set Language component");
  }
}

bool delete_generation_key(const std::string& generation_path) {
  if (reg_delete_key(RootKey::current_user, generation_path)) return true;
  report_key_not_deleted(generation_path);
  return false;
}

// True when the generation key was deleted because the release was its
// default and no release is left.
bool pass_on_default(const std::string& version_key, const std::string& generation_path,
                     bool list_emptied) {
  RegistryKey generation_key;
  if (!open_generation_key(generation_path, generation_key)) return false;
  const auto default_release = reg_read_string(generation_key, "Compiler");
  if (!default_release) {
    report_error("default compiler value not found");
    return false;
  }
  if (*default_release != version_key) return false;
  if (list_emptied) return delete_generation_key(generation_path);

  const auto stored = reg_read_string(generation_key, "Compiler_list");
  if (!stored) {
    report_error("Compiler List not found");
    return false;
  }
  // A list of bare separators names no release to take over: the
  // generation is as empty as one whose list came out empty.
  const auto first = next_list_item(*stored, 0);
  if (!first) return delete_generation_key(generation_path);
  if (!reg_write_string(generation_key, "Compiler", std::string(first->text)))
    report_error("could not set compiler component");
  return false;
}

}  // namespace

bool unregister_release(const std::string& version_key, const std::string& ide_generation) {
  const std::string ide_path = kIdeKey;
  const std::string generation_path = ide_path + "\\" + ide_generation;
  const std::string release_path = generation_path + "\\" + version_key;

  if (release_keeps_fortran(version_key, generation_path)) return false;

  const Shortening shortening = shorten_release_list(version_key, generation_path);
  const bool list_emptied = shortening.list.empty() && !shortening.others_listed;
  if (!shortening.list.empty()) store_list_and_languages(shortening.list, generation_path);

  remove_release_key(release_path);

  const bool generation_deleted = pass_on_default(version_key, generation_path, list_emptied);
  if (generation_deleted) reg_prune_key(ide_path);
  return generation_deleted;
}

}  // namespace morvex
