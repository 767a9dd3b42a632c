// Telling whether two paths name one file, and what kind of thing a path
// names, before the run writes there.
#pragma once

#include <string>

namespace morvex {

// The same file or folder, or, for paths not made yet, the same place:
// through links, `.` and `..`, and hard links of an existing file.
bool same_file_place(const std::string& first, const std::string& second);

// Something other than a regular file is there (a folder, a device, a pipe,
// or a link to one); a missing path is not.
bool names_something_else_than_a_file(const std::string& path);

}  // namespace morvex
