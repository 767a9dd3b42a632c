// The hives as a whole, for an undo record that gives them back byte for
// byte: a copy of each as the run found it, kept under the hive's own name,
// and a stamp naming what is now in their places.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "registry/hive_file/hive_file_replace.h"
#include "registry/hive_file/hive_registry.h"
#include "registry/reg_file/reg_save.h"
#include "text/path_separator.h"

namespace morvex::hivefile {

std::vector<regfile::NamedFile> HiveRegistry::named_files() const {
  std::vector<regfile::NamedFile> files;
  for (const Hive* hive : {&user_, &software_}) files.push_back({std::string(hive->name), hive->path});
  return files;
}

std::vector<std::string> HiveRegistry::copy_files(const std::string& copy_path) {
  const std::string folder = host_folder_of(copy_path);
  return {folder + "/NTUSER.DAT", folder + "/SOFTWARE"};
}

bool HiveRegistry::keep_copy(const std::string& copy_path, std::string& reason) {
  if (!ready()) return true;  // nothing a copy could give back
  if (!regfile::make_folder_durably(host_folder_of(copy_path), reason)) return false;
  const std::vector<std::string> copies = copy_files(copy_path);
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const Hive& hive = i == 0 ? user_ : software_;
    if (hive.fd >= 0 && !regfile::copy_durably(hive.fd, hive.status, copies[i], reason,
                                               (std::string(hive.name) + ".saving").c_str()))
      return false;
  }
  return true;
}

std::string HiveRegistry::file_stamp() {
  if (!ready()) return "";
  return regfile::stamp_of_files(named_files());
}

bool HiveRegistry::unchanged_since(const std::string& stamp, const std::string& copy_path) {
  return ready() && regfile::files_as_stamped_or_kept(stamp, named_files(), host_folder_of(copy_path));
}

bool HiveRegistry::put_back_copy(const std::string& copy_path, std::string& reason) {
  if (!ready()) {
    reason = "the hives cannot be read";
    return false;
  }
  const std::vector<std::string> copies = copy_files(copy_path);
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const Hive& hive = i == 0 ? user_ : software_;
    // A restore cut short may have put this one back already.
    if (regfile::same_bytes(copies[i], hive.path)) continue;
    const int copy_fd = open(copies[i].c_str(), O_RDONLY | O_CLOEXEC);
    if (copy_fd < 0 && errno == ENOENT) continue;  // no such hive was kept
    const bool put_back = copy_fd >= 0 && !hive.path.empty() &&
                          replace_with_copy(copy_fd, hive.path, hive.status, reason);
    if (copy_fd < 0) reason = std::strerror(errno);
    if (copy_fd >= 0) close(copy_fd);
    if (!put_back) {
      if (reason.empty()) reason = "the hive it was kept for is not found";
      unload();
      return false;
    }
  }
  unload();  // the next use reads the hives anew
  return true;
}

}  // namespace morvex::hivefile
