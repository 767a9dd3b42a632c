// The registry on Windows: one advapi32 call each.
#include <windows.h>

#include <algorithm>

#include "diag/diagnostics.h"
#include "registry/empty_key_deletion.h"
#include "registry/registry_backend.h"
#include "registry/registry_view.h"

namespace morvex {
namespace {

// The product and its installer are 32-bit programs: on 64-bit Windows they
// see HKEY_LOCAL_MACHINE\Software through the 32-bit view (Wow6432Node), and
// so must this program, whichever build runs, or it misses the installer's
// shared-file counts (registry_view.h).
REGSAM open_access() { return KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | registry_view_flag(); }

HKEY root_handle(RootKey root) {
  return root == RootKey::current_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

HKEY handle_of(backend::Native key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

void RegistryKey::close_native(Native native) { RegCloseKey(reinterpret_cast<HKEY>(native)); }

namespace backend {

bool open_key(RootKey root, const std::string& path, Native& native) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root_handle(root), path.c_str(), 0, open_access(), &opened) != ERROR_SUCCESS)
    return false;
  native = reinterpret_cast<Native>(opened);
  return true;
}

bool open_key_to_read(RootKey root, const std::string& path, Native& native) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root_handle(root), path.c_str(), 0, KEY_READ | registry_view_flag(), &opened) !=
      ERROR_SUCCESS)
    return false;
  native = reinterpret_cast<Native>(opened);
  return true;
}

std::optional<RegistryValue> read_value(Native key, const std::string& name) {
  RegistryValue value{name, 0, std::string(kRegistryReadLimit, '\0')};
  for (;;) {
    DWORD type = 0;
    auto size = static_cast<DWORD>(value.data.size());
    const LSTATUS status = RegQueryValueExA(handle_of(key), name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(value.data.data()), &size);
    if (status == ERROR_MORE_DATA) {
      // A text's size may be told in its stored, wider form: grow and ask again.
      value.data.resize(std::max<std::size_t>(size, value.data.size() * 2));
      continue;
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    value.type = type;
    value.data.resize(size);
    return value;
  }
}

bool list_values(Native key, std::vector<RegistryValue>& values) {
  DWORD longest_name = 0;
  if (RegQueryInfoKeyA(handle_of(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longest_name, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  std::string name(longest_name + 1, '\0');
  for (DWORD index = 0;; ++index) {
    auto name_size = static_cast<DWORD>(name.size());
    if (RegEnumValueA(handle_of(key), index, name.data(), &name_size, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      return true;
    std::optional<RegistryValue> value = read_value(key, name.substr(0, name_size));
    if (!value) return false;
    values.push_back(std::move(*value));
  }
}

bool count_subkeys(Native key, std::uint32_t& count) {
  DWORD subkeys = 0;
  if (RegQueryInfoKeyA(handle_of(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  count = subkeys;
  return true;
}

bool list_subkeys(Native key, std::vector<std::string>& names) {
  DWORD longest_name = 0;
  if (RegQueryInfoKeyA(handle_of(key), nullptr, nullptr, nullptr, nullptr, &longest_name, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  std::string name(longest_name + 1, '\0');
  for (DWORD index = 0;; ++index) {
    auto name_size = static_cast<DWORD>(name.size());
    const LSTATUS status = RegEnumKeyExA(handle_of(key), index, name.data(), &name_size, nullptr,
                                         nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) return false;
    names.push_back(name.substr(0, name_size));
  }
}

bool write_value(Native key, const RegistryValue& value) {
  return RegSetValueExA(handle_of(key), value.name.c_str(), 0, value.type,
                        reinterpret_cast<const BYTE*>(value.data.data()),
                        static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool delete_value(Native key, const std::string& name) {
  return RegDeleteValueA(handle_of(key), name.c_str()) == ERROR_SUCCESS;
}

bool delete_key(RootKey root, const std::string& path) {
  const KeyDeletionCalls calls = {
      [&](std::uint32_t& subkeys) {
        Native key = 0;
        if (!open_key_to_read(root, path, key)) return false;
        const bool counted = count_subkeys(key, subkeys);
        RegCloseKey(handle_of(key));
        return counted;
      },
      [&] { return delete_key_in_view(root_handle(root), path.c_str()) == ERROR_SUCCESS; },
  };
  return delete_key_if_empty(calls);
}

bool create_key(RootKey root, const std::string& path) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(root_handle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      open_access(), nullptr, &created, nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(created);
  return true;
}

bool commit() { return true; }
bool could_commit() { return true; }
// Each change reaches the registry as it is made.
bool changes_wait_for_commit() { return false; }
std::vector<RegistryOwnFile> own_files() { return {}; }
// The registry is no file here: changes are put back one by one.
bool keep_whole_file(const std::string&, std::string&) { return true; }
std::string whole_file_stamp() { return ""; }
bool whole_files_unchanged(const std::string&, const std::string&) { return false; }
bool put_back_whole_file(const std::string&, std::string& reason) {
  reason = "the registry is no file";
  return false;
}
bool place_exists() { return true; }
bool use_windows_disk(const std::string&, const std::string&) {
  report_error("--windows-disk is for other hosts: on Windows the run changes this Windows' own registry");
  return false;
}

std::vector<std::string> whole_file_copies(const std::string&) { return {}; }
void end_run() {}

}  // namespace backend
}  // namespace morvex
