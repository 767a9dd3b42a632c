// The registry operations on Windows: one advapi32 call each.
#include <windows.h>

#include <array>
#include <cstring>

#include "registry/registry.h"

namespace morvex {
namespace {

// The product and its installer are 32-bit programs: on 64-bit Windows they
// see HKEY_LOCAL_MACHINE\Software through the 32-bit view (Wow6432Node), and
// so must this program, whichever build runs, or it misses the installer's
// shared-file counts. 32-bit Windows ignores the flag.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;
constexpr REGSAM kOpenAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kRegistryView;

HKEY root_handle(RootKey root) {
  return root == RootKey::current_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

HKEY handle_of(const RegistryKey& key) { return reinterpret_cast<HKEY>(key.native()); }

// Reads into a zero-filled area of the read limit, so data shorter than what
// a caller looks at reads as zero bytes rather than as leftovers.
bool query_value(const RegistryKey& key, const std::string& name,
                 std::array<char, kRegistryReadLimit + 1>& area, DWORD& size) {
  area.fill('\0');
  size = kRegistryReadLimit;
  if (!key.is_open()) return false;
  return RegQueryValueExA(handle_of(key), name.c_str(), nullptr, nullptr,
                          reinterpret_cast<BYTE*>(area.data()), &size) == ERROR_SUCCESS;
}

}  // namespace

void RegistryKey::close_native(Native native) { RegCloseKey(reinterpret_cast<HKEY>(native)); }

bool reg_open_key(RootKey root, const std::string& path, RegistryKey& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root_handle(root), path.c_str(), 0, kOpenAccess, &opened) != ERROR_SUCCESS)
    return false;
  key.adopt(reinterpret_cast<RegistryKey::Native>(opened));
  return true;
}

bool reg_read_dword(const RegistryKey& key, const std::string& name, std::int32_t& number) {
  std::array<char, kRegistryReadLimit + 1> area;
  DWORD size = 0;
  number = 0;
  if (!query_value(key, name, area, size)) return false;
  std::uint32_t raw = 0;
  for (int i = 3; i >= 0; --i) raw = (raw << 8) | static_cast<unsigned char>(area[i]);
  number = static_cast<std::int32_t>(raw);
  return true;
}

std::optional<std::string> reg_read_string(const RegistryKey& key, const std::string& name) {
  std::array<char, kRegistryReadLimit + 1> area;
  DWORD size = 0;
  if (!query_value(key, name, area, size)) return std::nullopt;
  // The extra zero byte past the limit ends text stored without one.
  return std::string(area.data(), strnlen(area.data(), size));
}

bool reg_write_dword(const RegistryKey& key, const std::string& name, std::int32_t number) {
  const auto raw = static_cast<std::uint32_t>(number);
  const BYTE data[4] = {static_cast<BYTE>(raw), static_cast<BYTE>(raw >> 8),
                        static_cast<BYTE>(raw >> 16), static_cast<BYTE>(raw >> 24)};
  return key.is_open() &&
         RegSetValueExA(handle_of(key), name.c_str(), 0, REG_DWORD, data, sizeof data) ==
             ERROR_SUCCESS;
}

bool reg_write_string(const RegistryKey& key, const std::string& name, const std::string& text) {
  return key.is_open() &&
         RegSetValueExA(handle_of(key), name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool reg_delete_value(const RegistryKey& key, const std::string& name) {
  return key.is_open() && RegDeleteValueA(handle_of(key), name.c_str()) == ERROR_SUCCESS;
}

bool reg_delete_key(RootKey root, const std::string& path) {
  return RegDeleteKeyExA(root_handle(root), path.c_str(), kRegistryView, 0) == ERROR_SUCCESS;
}

bool reg_has_subkeys(const RegistryKey& key) {
  DWORD subkeys = 0;
  return key.is_open() &&
         RegQueryInfoKeyA(handle_of(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

bool reg_count_values(const RegistryKey& key, std::uint32_t& count) {
  DWORD values = 0;
  count = 0;
  if (!key.is_open() ||
      RegQueryInfoKeyA(handle_of(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  count = values;
  return true;
}

void reg_commit() {}

}  // namespace morvex
