// Saving a changed hive as registry.reg is saved: libhivex writes the whole
// hive to a temporary file beside it, which takes the old file's owner,
// permission bits and the NTFS attributes and ACL that ntfs-3g shows, is
// flushed, renamed over the hive, and the folder flushed. A kill leaves the
// old hive or the new one.
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/hive_file/hive_file_replace.h"
#include "registry/hive_file/hive_registry.h"

namespace morvex::hivefile {

bool HiveRegistry::commit() {
  if (state_ != State::ready) return true;
  for (Hive* hive : {&software_, &user_}) {
    if (!hive->changed) continue;
    std::string reason;
    const std::string saving = hive->path + ".saving";
    if (hivex_commit(hive->handle, saving.c_str(), 0) != 0) {
      reason = std::strerror(errno);
      unlink(saving.c_str());
    } else if (finish_replacement(saving, hive->path, hive->status, reason)) {
      hive->changed = false;
      continue;
    }
    report_error("%s: cannot save: %s", hive->path.c_str(), reason.c_str());
    return false;
  }
  return true;
}

bool HiveRegistry::could_save() {
  if (state_ != State::ready) return true;
  for (Hive* hive : {&software_, &user_}) {
    if (!hive->changed) continue;
    const std::string folder = hive->path.substr(0, hive->path.rfind('/'));
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
      report_error("%s: cannot save: %s", hive->path.c_str(), std::strerror(errno));
      return false;
    }
  }
  return true;
}

}  // namespace morvex::hivefile
