// A new hive put in an old one's place in one rename, keeping what the file
// system holds about the old one.
#pragma once

#include <sys/stat.h>

#include <string>

namespace morvex::hivefile {

// `saving` (written, not yet flushed) takes `original`'s owner and
// permission bits and the extended attributes of `target` that ntfs-3g
// shows for NTFS (system.ntfs_acl, system.ntfs_attrib), is flushed and
// renamed over `target`, and the folder is flushed. On failure, false with
// the reason; `target` is as it was and `saving` is gone.
bool finish_replacement(const std::string& saving, const std::string& target, const struct stat& original,
                        std::string& reason);

// Writes `source`'s bytes as `target` the same way.
bool replace_with_copy(int source_fd, const std::string& target, const struct stat& original,
                       std::string& reason);

}  // namespace morvex::hivefile
