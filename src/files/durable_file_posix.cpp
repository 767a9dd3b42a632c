#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/durable_file.h"
#include "text/path_separator.h"

namespace morvex {
namespace {

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

bool read_whole_file(const std::string& path, std::string& bytes, std::string& reason) {
  bytes.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || fstat(fd, &status) != 0) {
    reason = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  bool done = !S_ISDIR(status.st_mode);
  if (!done) reason = "a folder, not a file";
  char buffer[1 << 16];
  for (ssize_t n = 1; done && n > 0;) {
    n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      done = false;
    } else {
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return done;
}

void sync_folder_of(const std::string& path) {
  const int folder = open(host_folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
}

bool DurableAppender::create(const std::string& path, std::string_view bytes, std::string& reason) {
  close();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (!write_all(fd, bytes) || fsync(fd) != 0) {
    reason = std::strerror(errno);
    ::close(fd);
    unlink(path.c_str());
    return false;
  }
  sync_folder_of(path);
  handle_ = fd;
  return true;
}

bool DurableAppender::append(std::string_view bytes, std::string& reason) {
  const int fd = static_cast<int>(handle_);
  if (fd < 0 || !write_all(fd, bytes) || fdatasync(fd) != 0) {
    reason = fd < 0 ? std::strerror(EBADF) : std::strerror(errno);
    return false;
  }
  return true;
}

void DurableAppender::close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool replace_file_durably(const std::string& path, std::string_view bytes, std::string& reason) {
  const std::string temporary = path + ".saving";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  const bool written = write_all(fd, bytes) && fsync(fd) == 0;
  const int write_error = errno;
  close(fd);
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    reason = std::strerror(written ? errno : write_error);
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself is durable only once the folder is.
  sync_folder_of(path);
  return true;
}

}  // namespace morvex
