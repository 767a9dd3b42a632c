// Whether Wine is running on a prefix: its wineserver keeps the registry in
// memory and writes it back over user.reg and system.reg, so the files may
// be older than what Wine shows, and a change to them would be undone.
#pragma once

#include <string>

namespace morvex::winefile {

// True when a wineserver answers on the prefix folder's socket:
// server-DEV-INODE (the folder's device and inode) under /tmp/.wine-UID, or
// under the folder that the prefix's own `wineserver` file names, where
// Debian's Wine keeps it.
bool wineserver_serves(const std::string& folder);

// When a wineserver serves the prefix folder, says so in one line with the
// command that stops it, and answers true.
bool report_wine_running(const std::string& folder);

}  // namespace morvex::winefile
