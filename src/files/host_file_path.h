// Where a Windows file path lies on a host without drives: the prefix folder
// holds one folder per drive (drive_c, ...), or, in a Wine prefix, a link per
// drive letter in dosdevices (c:, ...).
#pragma once

#include <string>

namespace morvex {

// "X:\dir\file" (either separator) becomes "<prefix_folder>/drive_x/dir/file",
// or "<prefix_folder>/dosdevices/x:/dir/file" where the prefix has dosdevices.
// Empty and "." components go, ".." stops at the drive folder as it stops at
// a drive's root on Windows. Any other path stays relative to the current
// folder, with "\" turned into "/".
std::string host_file_path(const std::string& windows_path, const std::string& prefix_folder);

// host_file_path as the host's folders spell it: a component that does not
// exist as written takes the name of an entry of its folder that differs
// only in the letter case of A to Z, as Windows and Wine find a file whatever
// the case of the path that names it. What exists in no spelling stays as
// written. The path of every product file a run touches.
std::string existing_host_file_path(const std::string& windows_path, const std::string& prefix_folder);

}  // namespace morvex
