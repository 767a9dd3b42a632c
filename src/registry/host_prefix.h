// The prefix folder that stands in for a Windows machine on other hosts:
// registry.reg and the drive folders (drive_c, ...) live in it.
#pragma once

#include <string>

namespace morvex {

// $MORVEX_PREFIX, or $HOME/.morvex when it is unset.
std::string host_prefix_folder();
// Whether $MORVEX_PREFIX named it, rather than the default.
bool host_prefix_from_environment();

}  // namespace morvex
