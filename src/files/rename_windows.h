// rename_into_place with the system's own calls.
#pragma once

#include <string>

namespace morvex {

// MoveFileExA with MOVEFILE_WRITE_THROUGH (and MOVEFILE_REPLACE_EXISTING when
// asked), or what Windows 95, 98 and ME can do instead; false with the
// error in GetLastError.
bool rename_on_windows(const std::string& from, const std::string& to, bool replace);

}  // namespace morvex
