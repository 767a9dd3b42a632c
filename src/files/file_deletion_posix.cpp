#include <sys/stat.h>
#include <unistd.h>

#include "files/file_deletion.h"
#include "files/host_file_path.h"
#include "registry/host_prefix.h"

namespace morvex {

bool delete_file(const std::string& windows_path) {
  const std::string path = host_file_path(windows_path, host_prefix_folder());
  struct stat status {};
  // A symlink goes itself, never what it points at; anything that is not a
  // plain file is refused, as DeleteFileA refuses a directory.
  if (lstat(path.c_str(), &status) != 0) return false;
  if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return false;
  // Wine shows a file that nobody may write as read-only, and DeleteFileA
  // refuses such a file: it stays, whatever this run's own rights.
  if (S_ISREG(status.st_mode) && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  return unlink(path.c_str()) == 0;
}

}  // namespace morvex
