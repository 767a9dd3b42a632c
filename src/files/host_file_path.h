// Where a Windows file path lies on a host without drives: the prefix folder
// holds one folder per drive (drive_c, ...).
#pragma once

#include <string>

namespace morvex {

// "X:\dir\file" (either separator) becomes "<prefix_folder>/drive_x/dir/file".
// Empty and "." components go, ".." stops at the drive folder as it stops at
// a drive's root on Windows. Any other path stays relative to the current
// folder, with "\" turned into "/".
std::string host_file_path(const std::string& windows_path, const std::string& prefix_folder);

}  // namespace morvex
