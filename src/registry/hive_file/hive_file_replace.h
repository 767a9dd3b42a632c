// A new hive put in an old one's place in one rename, keeping what the file
// system holds about the old one.
#pragma once

#include <sys/stat.h>

#include <string>

namespace morvex::hivefile {

// `saving` (written, not yet flushed) takes `original`'s owner and
// permission bits and the extended attributes of `target` that ntfs-3g
// shows for NTFS (system.ntfs_acl, system.ntfs_attrib), and is flushed. On
// failure, false with the reason, and `saving` is gone.
bool prepare_replacement(const std::string& saving, const std::string& target, const struct stat& original,
                         std::string& reason);
// Renames the prepared `saving` over `target` and flushes the folder.
bool rename_over(const std::string& saving, const std::string& target, std::string& reason);

// Writes `source`'s bytes as `target` the same way.
bool replace_with_copy(int source_fd, const std::string& target, const struct stat& original,
                       std::string& reason);

}  // namespace morvex::hivefile
