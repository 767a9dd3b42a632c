// Keeping a removed product file instead of deleting it: moved aside into an
// undo record's folder, and back again by a restore.
#pragma once

#include <string>

namespace morvex {

// Moves the file the Windows path names, where delete_file would delete it,
// to `kept_path` (a path of this host), making the folders it needs. On one
// volume a rename; across volumes a copy made durable before the original
// goes. False, with the reason, when delete_file would refuse the file, or
// something is at `kept_path` already.
bool move_file_aside(const std::string& windows_path, const std::string& kept_path,
                     std::string& reason);

// The other way; refuses when a file is at the Windows path again.
bool move_file_back(const std::string& kept_path, const std::string& windows_path,
                    std::string& reason);

bool product_file_present(const std::string& windows_path);
bool kept_file_present(const std::string& kept_path);

}  // namespace morvex
