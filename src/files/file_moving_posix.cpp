#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/durable_file.h"
#include "files/file_deletion.h"
#include "files/file_moving.h"
#include "files/host_file_path.h"
#include "registry/host_prefix.h"

namespace morvex {
namespace {

bool fail(std::string& reason, int error = errno) {
  reason = std::strerror(error);
  return false;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool present(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

bool make_folders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A copy that is on disk when it returns; a link is copied as a link.
bool copy_durably(const std::string& from, const std::string& to, std::string& reason) {
  struct stat status {};
  if (lstat(from.c_str(), &status) != 0) return fail(reason);
  if (S_ISLNK(status.st_mode)) {
    std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
    const ssize_t size = readlink(from.c_str(), target.data(), target.size());
    if (size < 0) return fail(reason);
    target.resize(static_cast<std::size_t>(size));
    return symlink(target.c_str(), to.c_str()) == 0 || fail(reason);
  }
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return fail(reason);
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 07777);
  if (out < 0) {
    close(in);
    return fail(reason);
  }
  bool done = true;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n > 0 && !write_all(out, buffer, static_cast<std::size_t>(n)))) done = false;
    if (n <= 0) break;
  }
  done = done && fsync(out) == 0;
  const int error = errno;
  close(in);
  if (close(out) != 0) done = false;
  if (!done) {
    unlink(to.c_str());
    return fail(reason, error);
  }
  return true;
}

bool move(const std::string& from, const std::string& to, std::string& reason) {
  if (present(to)) return fail(reason, EEXIST);
  if (!make_folders(folder_of(to))) return fail(reason);
  if (rename(from.c_str(), to.c_str()) != 0) {
    if (errno != EXDEV) return fail(reason);
    if (!copy_durably(from, to, reason)) return false;
    sync_folder_of(to);
    if (unlink(from.c_str()) != 0) {
      const int error = errno;
      unlink(to.c_str());
      return fail(reason, error);
    }
  }
  sync_folder_of(to);
  sync_folder_of(from);
  return true;
}

}  // namespace

bool move_file_aside(const std::string& windows_path, const std::string& kept_path,
                     std::string& reason) {
  if (!file_deletable(windows_path)) return fail(reason, EACCES);
  return move(existing_host_file_path(windows_path, host_prefix_folder()), kept_path, reason);
}

bool move_file_back(const std::string& kept_path, const std::string& windows_path,
                    std::string& reason) {
  return move(kept_path, existing_host_file_path(windows_path, host_prefix_folder()), reason);
}

bool product_file_present(const std::string& windows_path) {
  return present(existing_host_file_path(windows_path, host_prefix_folder()));
}

bool kept_file_present(const std::string& kept_path) { return present(kept_path); }

}  // namespace morvex
