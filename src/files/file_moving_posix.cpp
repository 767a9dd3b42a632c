#include <dirent.h>
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
#include "text/path_separator.h"

namespace morvex {
namespace {

bool fail(std::string& reason, int error = errno) {
  reason = std::strerror(error);
  return false;
}

// Where a copy grows before it takes its name: in the same folder, so that
// the rename cannot cross a volume.
std::string copy_in_progress(const std::string& path) { return path + ".moving"; }

bool present(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

// Each folder made is flushed into its parent before anything goes into it:
// a file moved into a folder the machine forgets is lost with it.
bool make_folders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0777) == 0)
      sync_folder_of(part);
    else if (errno != EEXIST)
      return false;
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

bool read_some(int fd, char* buffer, std::size_t size, ssize_t& got) {
  do got = read(fd, buffer, size);
  while (got < 0 && errno == EINTR);
  return got >= 0;
}

// A copy with the original's bytes, permission bits and modification time,
// on disk when it returns; a link is copied as a link.
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
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    close(in);
    return fail(reason);
  }
  bool done = true;
  char buffer[1 << 16];
  for (ssize_t n = 1; done && n > 0;)
    done = read_some(in, buffer, sizeof buffer, n) &&
           write_all(out, buffer, static_cast<std::size_t>(n));
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  done = done && fchmod(out, status.st_mode & 07777) == 0 && futimens(out, times) == 0 &&
         fsync(out) == 0;
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
  if (!make_folders(host_folder_of(to))) return fail(reason);
  if (rename(from.c_str(), to.c_str()) != 0) {
    if (errno != EXDEV) return fail(reason);
    // Never a half-written file under the final name: the copy takes it in
    // one rename, once it is whole on disk, and the original goes only
    // after the rename is on disk too.
    const std::string partial = copy_in_progress(to);
    unlink(partial.c_str());
    if (!copy_durably(from, partial, reason)) return false;
    if (rename(partial.c_str(), to.c_str()) != 0) {
      const int error = errno;
      unlink(partial.c_str());
      return fail(reason, error);
    }
    sync_folder_of(to);
    if (unlink(from.c_str()) != 0) {
      const int error = errno;
      unlink(to.c_str());
      sync_folder_of(to);
      return fail(reason, error);
    }
  }
  sync_folder_of(to);
  sync_folder_of(from);
  return true;
}

bool same_bytes(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (lstat(a.c_str(), &sa) != 0 || lstat(b.c_str(), &sb) != 0) return false;
  if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT)) return false;
  if (S_ISLNK(sa.st_mode)) {
    char ta[4096], tb[4096];
    const ssize_t na = readlink(a.c_str(), ta, sizeof ta);
    const ssize_t nb = readlink(b.c_str(), tb, sizeof tb);
    return na >= 0 && na == nb && std::memcmp(ta, tb, static_cast<std::size_t>(na)) == 0;
  }
  if (!S_ISREG(sa.st_mode) || sa.st_size != sb.st_size) return false;
  const int fa = open(a.c_str(), O_RDONLY | O_CLOEXEC);
  const int fb = open(b.c_str(), O_RDONLY | O_CLOEXEC);
  bool same = fa >= 0 && fb >= 0;
  char ba[1 << 15], bb[1 << 15];
  for (ssize_t na = 1, nb = 1; same && na > 0;) {
    same = read_some(fa, ba, sizeof ba, na) && read_some(fb, bb, sizeof bb, nb) && na == nb &&
           std::memcmp(ba, bb, static_cast<std::size_t>(na)) == 0;
  }
  if (fa >= 0) close(fa);
  if (fb >= 0) close(fb);
  return same;
}

}  // namespace

bool move_file_aside(const std::string& windows_path, const std::string& kept_path,
                     std::string& reason) {
  if (!file_deletable(windows_path)) return fail(reason, EACCES);
  return move(existing_host_file_path(windows_path, host_prefix_folder()), kept_path, reason);
}

MoveBack move_file_back(const std::string& kept_path, const std::string& windows_path,
                        std::string& reason) {
  // What a kill during an earlier move left: never a file of its own.
  unlink(copy_in_progress(kept_path).c_str());
  const std::string product = existing_host_file_path(windows_path, host_prefix_folder());
  unlink(copy_in_progress(product).c_str());
  if (!present(kept_path)) return MoveBack::kept_missing;
  if (present(product)) {
    if (!same_bytes(product, kept_path)) return MoveBack::other_file_there;
    if (unlink(kept_path.c_str()) != 0) {
      fail(reason);
      return MoveBack::failed;
    }
    sync_folder_of(kept_path);
    return MoveBack::equal_file_there;
  }
  return move(kept_path, product, reason) ? MoveBack::moved : MoveBack::failed;
}

bool product_file_present(const std::string& windows_path) {
  return present(existing_host_file_path(windows_path, host_prefix_folder()));
}

void remove_empty_folders(const std::string& top) {
  DIR* folder = opendir(top.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat status {};
    const std::string path = top + "/" + name;
    if (lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) remove_empty_folders(path);
  }
  closedir(folder);
  if (rmdir(top.c_str()) == 0) sync_folder_of(top);
}

}  // namespace morvex
