// Where a mounted Windows system drive keeps its registry: the SOFTWARE hive
// (HKEY_LOCAL_MACHINE\Software) and the NTUSER.DAT (HKEY_CURRENT_USER) of
// the profile the run is for. Every name is matched whatever its letter case.
#pragma once

#include <string>

#include "registry/host_prefix.h"

namespace morvex::hivefile {

struct DiskLayout {
  std::string software;   // host path of the SOFTWARE hive
  std::string user_hive;  // host path of the chosen NTUSER.DAT; empty: none
  std::string user;       // that profile's folder name
};

// Finds the hives; false, with one reported line, when the disk holds no NT
// Windows (or a Windows 95/98/ME one), no profile is named NAME, or several
// profiles hold the product's keys and --user names none.
bool find_disk_layout(const WindowsDisk& disk, DiskLayout& layout);

}  // namespace morvex::hivefile
