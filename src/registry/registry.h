// The registry operations every other subsystem goes through. Each is a thin
// wrapper that turns the platform's status into a success flag; none of them
// reports anything except reg_prune_key.
//
// Two implementations sit beside this header and the build picks one: the
// advapi32 calls on Windows, and the registry file (registry.reg in the
// prefix folder) everywhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvex {

enum class RootKey { current_user, local_machine };

// Stored data larger than this reads as a missing value.
inline constexpr std::size_t kRegistryReadLimit = 1024;

// An open key. Move-only; closes itself when it goes out of scope. A handle
// is taken only when an open succeeds, so a failed open leaves it closed.
class RegistryKey {
 public:
  using Native = std::uintptr_t;

  RegistryKey() = default;
  ~RegistryKey() { close(); }
  RegistryKey(RegistryKey&& other) noexcept : native_(other.release()) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
      close();
      native_ = other.release();
    }
    return *this;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool is_open() const { return native_ != 0; }
  Native native() const { return native_; }
  void close();

  // Only for the platform implementation of reg_open_key.
  void adopt(Native native) {
    close();
    native_ = native;
  }

  // Implemented by the platform: releases one open handle.
  static void close_native(Native native);

 private:
  Native release() {
    const Native native = native_;
    native_ = 0;
    return native;
  }

  Native native_ = 0;
};

// Opens an existing key for reading and writing values; never creates one.
bool reg_open_key(RootKey root, const std::string& path, RegistryKey& key);
void reg_close_key(RegistryKey& key);

// The first four bytes of the value's data, little-endian, whatever its type;
// shorter data is padded with zero bytes. On failure the number is 0.
bool reg_read_dword(const RegistryKey& key, const std::string& name, std::int32_t& number);
// The data up to its terminating zero, as the caller's own copy.
std::optional<std::string> reg_read_string(const RegistryKey& key, const std::string& name);

bool reg_write_dword(const RegistryKey& key, const std::string& name, std::int32_t number);
bool reg_write_string(const RegistryKey& key, const std::string& name, const std::string& text);
bool reg_delete_value(const RegistryKey& key, const std::string& name);
// Fails while the key has subkeys. Handles still open on it fail from then on.
bool reg_delete_key(RootKey root, const std::string& path);
// A failed query counts as no subkeys.
bool reg_has_subkeys(const RegistryKey& key);
// How many values the key holds: the bound for a count of numbered entries
// read from untrusted data.
bool reg_count_values(const RegistryKey& key, std::uint32_t& count);

// Deletes a key below HKEY_CURRENT_USER that has no subkeys left; reports
// "Error deleting the %s key" when the deletion fails, nothing otherwise.
void reg_prune_key(const std::string& path);

// Makes every change so far durable before the program ends or hands over
// to another program. Reports its own failure. Nothing to do on Windows,
// where each operation reaches the registry at once.
void reg_commit();

}  // namespace morvex
