// Deleting one product file named by its Windows path.
#pragma once

#include <string>

namespace morvex {

// Deletes a file (never a directory); false when it is missing, in use, a
// directory, or not ours to delete.
bool delete_file(const std::string& windows_path);

// Whether delete_file would find the file there and ours to delete, without
// deleting it.
bool file_deletable(const std::string& windows_path);

}  // namespace morvex
