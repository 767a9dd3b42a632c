#include <sys/stat.h>
#include <unistd.h>

#include "files/file_deletion.h"
#include "files/host_file_path.h"
#include "registry/host_prefix.h"

namespace morvex {

namespace {

// A symlink goes itself, never what it points at; anything that is not a
// plain file is refused, as DeleteFileA refuses a directory.
bool deletable_at(const std::string& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) return false;
  if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return false;
  // Wine shows a file that nobody may write as read-only, and DeleteFileA
  // refuses such a file: it stays, whatever this run's own rights.
  if (S_ISREG(status.st_mode) && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  // Unlinking takes the right to change the folder.
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

bool delete_file(const std::string& windows_path) {
  const std::string path = existing_host_file_path(windows_path, host_prefix_folder());
  return deletable_at(path) && unlink(path.c_str()) == 0;
}

bool file_deletable(const std::string& windows_path) {
  return deletable_at(existing_host_file_path(windows_path, host_prefix_folder()));
}

}  // namespace morvex
