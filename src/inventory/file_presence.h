// Whether a file named by its Windows path is there, for reading an
// installation; it is never opened.
#pragma once

#include <string>

namespace morvex {

// True for a file (not a folder), whatever the letter case of its path.
bool file_present(const std::string& windows_path);

}  // namespace morvex
