// The prefix folder that stands in for a Windows machine on other hosts:
// registry.reg and the drive folders (drive_c, ...) live in it.
#pragma once

#include <string>

namespace morvex {

// $MORVEX_PREFIX, or $HOME/.morvex when it is unset.
std::string host_prefix_folder();
// Whether $MORVEX_PREFIX named it, rather than the default.
bool host_prefix_from_environment();

// Takes the exclusive lock on the prefix folder `dir_fd` that every run
// holds while it reads or changes the registry there, until the descriptor
// is closed; waits for another run, saying so once. False with errno set.
bool lock_prefix_folder(int dir_fd, const std::string& folder);

}  // namespace morvex
