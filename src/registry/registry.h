// The registry operations every other subsystem goes through. Each turns the
// platform's status into a success flag; none of them reports anything
// except reg_prune_key.
//
// Every change passes the run's change journal (change_journal.h), which
// records what it replaced and, in a dry run, keeps it from reaching the
// registry while later reads still see it. Below the journal, two
// implementations of registry_backend.h sit side by side and the build picks
// one: the advapi32 calls on Windows, and elsewhere the prefix folder's
// store: registry.reg, or a Wine prefix's own files, read only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvex {

enum class RootKey { current_user, local_machine };

// Stored data larger than this reads as a missing value.
inline constexpr std::size_t kRegistryReadLimit = 1024;

// The value types the program reads and writes, as the registry numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// One value with all of its data, as stored: a text type's data ends with
// its terminating zero byte.
struct RegistryValue {
  std::string name;
  std::uint32_t type = 0;
  std::string data;
};

// An open key. Move-only; closes itself when it goes out of scope. A handle
// is taken only when an open succeeds, so a failed open leaves it closed.
class RegistryKey {
 public:
  using Native = std::uintptr_t;

  RegistryKey() = default;
  ~RegistryKey() { close(); }
  RegistryKey(RegistryKey&& other) noexcept
      : native_(other.release()), root_(other.root_), path_(std::move(other.path_)) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
      close();
      native_ = other.release();
      root_ = other.root_;
      path_ = std::move(other.path_);
    }
    return *this;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool is_open() const { return native_ != 0; }
  Native native() const { return native_; }
  // The key it was opened as: what the run's record of changes names.
  RootKey root() const { return root_; }
  const std::string& path() const { return path_; }
  void close();

  // Only for reg_open_key, once the platform has opened the key.
  void adopt(Native native, RootKey root, std::string path) {
    close();
    native_ = native;
    root_ = root;
    path_ = std::move(path);
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
  RootKey root_ = RootKey::current_user;
  std::string path_;
};

// Opens an existing key for reading and writing values; never creates one.
bool reg_open_key(RootKey root, const std::string& path, RegistryKey& key);
// Opens an existing key for reading only: a look at the installation must
// work without the right to change it (HKEY_LOCAL_MACHINE for a user).
bool reg_open_key_to_read(RootKey root, const std::string& path, RegistryKey& key);
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
// The names of the key's subkeys, for reading an installation; a dry run's
// deletions are not hidden from it.
bool reg_list_subkeys(const RegistryKey& key, std::vector<std::string>& names);
// How many values the key holds: the bound for a count of numbered entries
// read from untrusted data.
bool reg_count_values(const RegistryKey& key, std::uint32_t& count);
// Every value of the key, with its type and all of its data.
bool reg_list_values(const RegistryKey& key, std::vector<RegistryValue>& values);
// A value of any type and size, as stored; nothing when it is missing.
std::optional<RegistryValue> reg_read_value(const RegistryKey& key, const std::string& name);
bool reg_write_value(const RegistryKey& key, const RegistryValue& value);
// Only putting back what an uninstall removed creates keys, ancestors
// included; the uninstall itself never does.
bool reg_create_key(RootKey root, const std::string& path);

// Deletes a key below HKEY_CURRENT_USER that has no subkeys left; reports
// "Error deleting the %s key" when the deletion fails, nothing otherwise.
void reg_prune_key(const std::string& path);

// Makes every change so far durable before the program ends or hands over
// to another program; false, reported, when they could not be saved. In a
// dry run, whether a save could be made. Nothing to do on Windows, where
// each operation reaches the registry at once.
bool reg_commit();
// The registry as files (registry.reg, or a Wine prefix's two), for an undo record that gives it
// back byte for byte; Windows, whose registry is no file, keeps nothing and
// has no stamp. reg_keep_whole_file copies the file as the run found it to
// `copy_path`, durably (true with no file to copy); the stamp identifies the
// file now in its place (empty for none); reg_put_back_whole_file replaces
// it with the copy in one step. Failures are reported by the caller.
bool reg_keep_whole_file(const std::string& copy_path, std::string& reason);
std::string reg_whole_file_stamp();
// Whether the registry's files are still what the stamp names (or, file by
// file, the copies kept at `copy_path` already), so that the copies may
// replace them whole.
bool reg_whole_files_unchanged(const std::string& stamp, const std::string& copy_path);
bool reg_put_back_whole_file(const std::string& copy_path, std::string& reason);
// The files reg_keep_whole_file writes for `copy_path`: itself, or Wine's
// two files beside it under their own names; none on Windows.
std::vector<std::string> reg_whole_file_copies(const std::string& copy_path);

// A file or folder the registry itself reads, writes or locks, which no
// output of the run may name: on other hosts the prefix folder, registry.reg
// and its temporary copy; none on Windows.
struct RegistryOwnFile {
  const char* what;  // "the registry file", ...
  std::string path;
};
std::vector<RegistryOwnFile> reg_own_files();

// Other hosts: the registry is the hives of the Windows whose system drive
// is mounted at `folder`, HKEY_CURRENT_USER the NTUSER.DAT of the profile
// `user` (empty: found). False, with one line, on Windows.
bool reg_use_windows_disk(const std::string& folder, const std::string& user);

// Whether the registry is there to be used: false, with one line naming the
// missing prefix folder and where its name came from, when it is not.
bool reg_place_exists();

// Whether the changes become real only at reg_commit (the registry file),
// so that what must follow them waits for it.
bool reg_changes_wait_for_commit();

// Forgets the run without saving, as the end of the process does: for tests
// that act out several runs in one process.
void reg_end_run();

}  // namespace morvex
