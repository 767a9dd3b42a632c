// Keeping a removed product file instead of deleting it: moved aside into an
// undo record's folder, and back again by a restore.
#pragma once

#include <string>

namespace morvex {

// Moves the file the Windows path names, where delete_file would delete it,
// to `kept_path` (a path of this host), making the folders it needs, each
// durable before the file moves. On one volume a rename; across volumes a
// copy under a temporary name beside `kept_path`, flushed, renamed into
// place and its folder flushed before the original goes, so that a kill at
// any point leaves one whole file or two equal ones. False, with the reason,
// when delete_file would refuse the file, or something is at `kept_path`.
bool move_file_aside(const std::string& windows_path, const std::string& kept_path,
                     std::string& reason);

enum class MoveBack {
  moved,
  equal_file_there,  // the kept copy was the same bytes, and went
  other_file_there,  // the kept copy stays
  kept_missing,
  failed,
};

// The other way, as carefully, keeping the file's modification time and
// permission bits. A product file equal byte for byte to the kept one is
// taken as put back already: a kill between the two steps of a move leaves
// just that.
MoveBack move_file_back(const std::string& kept_path, const std::string& windows_path,
                        std::string& reason);

bool product_file_present(const std::string& windows_path);

// Removes the folders under `top`, and `top`, that hold nothing any longer.
void remove_empty_folders(const std::string& top);

}  // namespace morvex
