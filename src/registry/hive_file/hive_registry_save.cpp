// Saving a changed hive as registry.reg is saved: libhivex writes the whole
// hive to a temporary file beside it, which takes the old file's owner,
// permission bits and the NTFS attributes and ACL that ntfs-3g shows, is
// flushed, renamed over the hive, and the folder flushed. A kill leaves the
// old hive or the new one.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/hive_file/hive_file_replace.h"
#include "registry/hive_file/hive_registry.h"

namespace morvex::hivefile {

bool HiveRegistry::commit(const BeforeReplace& before_replace) {
  if (state_ != State::ready) return true;
  // Both new hives first, then what they will be noted, then the renames:
  // a kill between the two leaves hives a record names either way.
  std::vector<Hive*> written;
  std::vector<regfile::NamedFile> will_be;
  const auto forget_written = [&] {
    for (Hive* hive : written) unlink((hive->path + ".saving").c_str());
    return false;
  };
  for (Hive* hive : {&user_, &software_}) {
    const std::string saving = hive->path + ".saving";
    will_be.push_back({hive->name, hive->changed ? saving : hive->path});
    if (!hive->changed) continue;
    std::string reason;
    if (hivex_commit(hive->handle, saving.c_str(), 0) != 0) {
      reason = std::strerror(errno);
      unlink(saving.c_str());
    } else if (prepare_replacement(saving, hive->path, hive->status, reason)) {
      written.push_back(hive);
      continue;
    }
    report_error("%s: cannot save: %s", hive->path.c_str(), reason.c_str());
    return forget_written();
  }
  if (written.empty()) return true;
  if (!before_replace(regfile::stamp_of_files(will_be))) return forget_written();
  for (Hive* hive : written) {
    std::string reason;
    if (!rename_over(hive->path + ".saving", hive->path, reason)) {
      report_error("%s: cannot save: %s", hive->path.c_str(), reason.c_str());
      return forget_written();
    }
    hive->changed = false;
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
