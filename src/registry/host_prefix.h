// The prefix folder that stands in for a Windows machine on other hosts:
// registry.reg and the drive folders (drive_c, ...) live in it.
#pragma once

#include <string>

namespace morvex {

// A mounted Windows system drive (C:) named by --windows-disk, whose hive
// files hold the registry, instead of a prefix folder.
struct WindowsDisk {
  std::string folder;
  std::string user;  // --user: the profile whose NTUSER.DAT is HKEY_CURRENT_USER; empty: found
};
void use_windows_disk(WindowsDisk disk);  // an empty folder: a prefix folder again
// Null when the run uses a prefix folder.
const WindowsDisk* windows_disk();

// The Windows disk's folder, else $MORVEX_PREFIX, or $HOME/.morvex when it
// is unset.
std::string host_prefix_folder();
// Whether $MORVEX_PREFIX named it, rather than the default.
bool host_prefix_from_environment();

// Takes the exclusive lock on the prefix folder `dir_fd` that every run
// holds while it reads or changes the registry there, until the descriptor
// is closed; waits for another run, saying so once. False with errno set.
bool lock_prefix_folder(int dir_fd, const std::string& folder);

}  // namespace morvex
