// A registry as the hive files of a mounted Windows system drive, made from
// the published hive format and filled through libhivex, for tests that run
// the program with --windows-disk. No hive image comes from elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex::support {

// An empty hive: its header, one bin, a root key and its security record.
bool write_empty_hive(const std::string& path, std::uint32_t minor_version = 5);

struct DiskShape {
  bool is_64_bit = true;              // HKEY_LOCAL_MACHINE\Software's keys below Wow6432Node
  std::string windows = "Windows";    // or "WINNT"
  std::string profiles = "Users";     // or "Documents and Settings", "WINNT\\Profiles"
  std::string user = "tester";
  std::uint32_t minor_version = 5;    // 3 for NT 4.0's hives
};

// The .reg text's keys into `folder`: HKEY_CURRENT_USER into the profile's
// NTUSER.DAT (which the SOFTWARE hive's ProfileList names),
// HKEY_LOCAL_MACHINE\Software into the SOFTWARE hive where the 32-bit view
// sees it, and `own_64bit_text`'s HKEY_LOCAL_MACHINE\Software keys into the
// 64-bit place. False with `error`.
bool lay_windows_disk(const std::string& folder, std::string_view reg_text, std::string_view own_64bit_text,
                      std::string& error, const DiskShape& shape = {});

// What the hives hold, as .reg texts: the 32-bit view (HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE\Software) and the 64-bit view's own Software keys.
bool read_windows_disk(const std::string& folder, std::string& reg_text, std::string& own_64bit_text,
                       std::string& error, const DiskShape& shape = {});

// The host paths of the two hives of such a disk.
std::string software_hive(const std::string& folder, const DiskShape& shape = {});
std::string user_hive(const std::string& folder, const DiskShape& shape = {});

}  // namespace morvex::support
