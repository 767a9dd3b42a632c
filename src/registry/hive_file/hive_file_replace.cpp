#include "registry/hive_file/hive_file_replace.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "text/path_separator.h"

namespace morvex::hivefile {
namespace {

// What ntfs-3g shows of an NTFS file beyond its bytes; elsewhere they are
// simply not there.
constexpr const char* kNtfsAttributes[] = {"system.ntfs_acl", "system.ntfs_attrib"};

void copy_attributes(const std::string& from, int to_fd) {
  for (const char* name : kNtfsAttributes) {
    const ssize_t size = getxattr(from.c_str(), name, nullptr, 0);
    if (size <= 0) continue;
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got = getxattr(from.c_str(), name, value.data(), value.size());
    if (got > 0) fsetxattr(to_fd, name, value.data(), static_cast<std::size_t>(got), 0);
  }
}

bool fail(const std::string& saving, std::string& reason, int error) {
  reason = std::strerror(error);
  unlink(saving.c_str());
  return false;
}

}  // namespace

bool prepare_replacement(const std::string& saving, const std::string& target, const struct stat& original,
                         std::string& reason) {
  const int fd = open(saving.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return fail(saving, reason, errno);
  // Only a privileged run can give the file back to its owner; others own it already.
  if (fchown(fd, original.st_uid, original.st_gid) != 0) errno = 0;
  fchmod(fd, original.st_mode & 07777);
  copy_attributes(target, fd);
  const bool flushed = fsync(fd) == 0;
  const int error = errno;
  if (close(fd) != 0 || !flushed) return fail(saving, reason, flushed ? errno : error);
  return true;
}

bool rename_over(const std::string& saving, const std::string& target, std::string& reason) {
  if (rename(saving.c_str(), target.c_str()) != 0) return fail(saving, reason, errno);
  const int dir_fd = open(host_folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}

bool replace_with_copy(int source_fd, const std::string& target, const struct stat& original,
                       std::string& reason) {
  const std::string saving = target + ".saving";
  const int fd = open(saving.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return fail(saving, reason, errno);
  char buffer[1 << 16];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = pread(source_fd, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) {
        const int error = errno;
        close(fd);
        return fail(saving, reason, error);
      }
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(fd, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) {
        const int error = errno;
        close(fd);
        return fail(saving, reason, error);
      }
      done += put;
    }
    offset += got;
  }
  if (close(fd) != 0) return fail(saving, reason, errno);
  return prepare_replacement(saving, target, original, reason) && rename_over(saving, target, reason);
}

}  // namespace morvex::hivefile
