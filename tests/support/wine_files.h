// A registry as a 64-bit Wine prefix's own files, user.reg and system.reg,
// for tests that run the program on such a prefix without starting Wine:
// HKEY_LOCAL_MACHINE\Software goes below Wow6432Node, where the 32-bit view
// puts it, and back.
#pragma once

#include <string>
#include <string_view>

#include "registry_view.h"

namespace morvex::support {

struct WineFiles {
  std::string user;    // HKEY_CURRENT_USER
  std::string system;  // HKEY_LOCAL_MACHINE
};

// The keys of a .reg text, each with its values, as Wine's server writes
// them; false with `error` on a text that is not a .reg file.
bool wine_files_of(std::string_view reg_text, WineFiles& files, std::string& error);

// Adds what the two files hold to `view`, as the 32-bit view shows it.
bool add_wine_files(const WineFiles& files, RegistryView& view, std::string& error);

// Lays the files into `prefix` with the dosdevices link Wine makes for C:.
bool lay_wine_prefix(const std::string& prefix, const WineFiles& files);

}  // namespace morvex::support
