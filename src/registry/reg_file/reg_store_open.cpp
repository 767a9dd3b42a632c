// Opening registry.reg under the prefix folder's lock, and letting go of it.
#include "registry/reg_file/reg_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/host_prefix.h"

namespace morvex::regfile {
Store& the_store() {
  static Store store;
  return store;
}

bool Store::ready() {
  if (state_ == State::ready) return true;
  if (state_ == State::failed) return false;
  return load();
}

bool Store::load() {
  forget_file();
  if (dir_fd_ < 0) {
    folder_ = host_prefix_folder();
    path_ = folder_ + "/" + kFileName;
    dir_fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) {
      if (errno == ENOENT) return empty_registry();
      report_error("%s: cannot lock the registry folder: %s", folder_.c_str(), std::strerror(errno));
      return load_failed();
    }
    if (!lock_prefix_folder(dir_fd_, folder_)) {
      report_error("%s: cannot lock the registry folder: %s", folder_.c_str(), std::strerror(errno));
      close(dir_fd_);
      dir_fd_ = -1;
      return load_failed();
    }
  }
  unlinkat(dir_fd_, kSavingName, 0);  // left by a killed run; harmless if absent
  // A FIFO in the file's place would block the open until some writer came;
  // without blocking it opens at once and is refused below as not a file.
  file_fd_ = openat(dir_fd_, kFileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file_fd_ < 0) {
    if (errno == ENOENT) return empty_registry();
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return load_failed();
  }
  struct stat status {};
  if (fstat(file_fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
    report_error("%s: cannot read: %s", path_.c_str(),
                 S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    return load_failed();
  }
  file_size_ = static_cast<std::uint64_t>(status.st_size);
  file_status_ = status;
  if (!find_save_target()) return load_failed();
  char first[3] = {};
  const std::size_t first_size = std::min<std::uint64_t>(sizeof first, file_size_);
  if (!read_at(first, first_size, 0)) {
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return load_failed();
  }
  const ByteOrderMark mark = sniff_byte_order_mark(std::string_view(first, first_size));
  index_.reset(kRootCount, file_size_ / kBytesPerKey);
  ScanError error;
  if (!check_file(mark, error)) {
    report_error("%s:%zu: %s", path_.c_str(), error.line, error.what.c_str());
    return load_failed();
  }
  // Past 2 GB a file might hold more keys than the index can: it is
  // indexed whole, so that such a file is refused before the run starts.
  constexpr std::uint64_t kIndexedWhole = std::uint64_t{2} << 30;
  if (file_size_ >= kIndexedWhole && !index_all()) return false;
  state_ = State::ready;
  ++generation_;
  return true;
}

bool Store::read_at(void* data, std::size_t size, std::uint64_t offset) const {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = pread(file_fd_, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENODATA;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

// Replacing a symbolic link would leave the file it names unchanged, so a
// linked registry is saved beside the file it links to.
bool Store::find_save_target() {
  save_folder_.clear();
  save_name_ = kFileName;
  struct stat link {};
  if (fstatat(dir_fd_, kFileName, &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
    return true;
  char* target = realpath(path_.c_str(), nullptr);
  if (target == nullptr) {
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return false;
  }
  const std::string real(target);
  free(target);
  const std::size_t slash = real.rfind('/');
  save_folder_ = slash == 0 ? "/" : real.substr(0, slash);
  save_name_ = real.substr(slash + 1);
  return true;
}

// A missing file (or prefix folder) is a registry without keys, which the
// run cannot change, so nothing is ever written.
bool Store::empty_registry() {
  index_.reset(kRootCount, 0);
  all_indexed_ = true;
  state_ = State::ready;
  ++generation_;
  return true;
}

bool Store::load_failed() {
  forget_file();
  state_ = State::failed;
  return false;
}

void Store::forget_file() {
  if (file_fd_ >= 0) close(file_fd_);
  file_fd_ = -1;
  file_size_ = 0;
  index_.reset(kRootCount, 0);
  all_indexed_ = false;
  indexed_buckets_.clear();
  values_.clear();
  deleted_.clear();
  created_.clear();
}

void Store::fail_reading(const std::string& reason) {
  report_error("%s: cannot read: %s", path_.c_str(), reason.c_str());
  load_failed();
}

void Store::end_run() {
  forget_file();
  if (dir_fd_ >= 0) close(dir_fd_);  // the last descriptor of the lock releases it
  dir_fd_ = -1;
  state_ = State::unloaded;
  ++generation_;
}

}  // namespace morvex::regfile
