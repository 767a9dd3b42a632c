// The registry file as a whole, for an undo record that gives it back byte
// for byte: a copy of the file as the run loaded it, and what identifies the
// file in its place, so that a restore knows nothing else changed it since.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "registry/reg_file/reg_store.h"
#include "text/path_separator.h"

namespace morvex::regfile {

bool Store::keep_copy(const std::string& copy_path, std::string& reason) {
  if (!ready() || file_fd_ < 0) return true;  // nothing a copy could give back
  return make_folder_durably(host_folder_of(copy_path), reason) &&
         copy_durably(file_fd_, file_status_, copy_path, reason);
}

std::string Store::file_stamp() {
  struct stat status {};
  // Under the lock, the file a save would replace; a link is followed. A
  // store that holds the lock need not read the file again for it.
  if ((dir_fd_ < 0 && !ready()) || fstatat(dir_fd_, kFileName, &status, 0) != 0) return "";
  return stamp_of(status);
}

bool Store::put_back_copy(const std::string& copy_path, std::string& reason) {
  if (!ready() || file_fd_ < 0) {
    reason = "the registry file cannot be read";
    return false;
  }
  const int copy_fd = open(copy_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (copy_fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  const std::string target = (save_folder_.empty() ? folder_ : save_folder_) + "/" + save_name_;
  // The copy's bytes, with the owner and permission bits of the file they
  // replace, as any save keeps them.
  struct stat copied {};
  bool put_back = fstat(copy_fd, &copied) == 0;
  if (!put_back) reason = std::strerror(errno);
  struct stat status = file_status_;
  status.st_size = copied.st_size;
  put_back = put_back && copy_durably(copy_fd, status, target, reason);
  close(copy_fd);
  if (!put_back) return false;
  // What the store read is gone: the next use reads the file anew.
  forget_file();
  state_ = State::saved;
  return true;
}

std::vector<std::string> Store::copy_files(const std::string& copy_path) { return {copy_path}; }

}  // namespace morvex::regfile
