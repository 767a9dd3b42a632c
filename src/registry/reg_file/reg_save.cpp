#include "registry/reg_file/reg_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "text/formatted.h"
#include "text/path_separator.h"

namespace morvex::regfile {
namespace {

// The new file's bytes, sent to disk stretch by stretch as they are
// written, so that the flush at the end of the save finds little left to
// wait for: the disk works while the copy goes on.
class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}

  bool write(const std::string& text) {
    buffer_ += text;
    return buffer_.size() < kFlushSize || flush();
  }

  bool flush() {
    const bool done = write_all(buffer_.data(), buffer_.size());
    buffer_.clear();
    return done;
  }

  // Bytes [from, to) of the source, in the kernel where it can.
  bool copy(int source_fd, std::uint64_t from, std::uint64_t to) {
    if (!flush()) return false;
    auto offset = static_cast<off_t>(from);
    while (use_copy_range_ && static_cast<std::uint64_t>(offset) < to) {
      const ssize_t n = copy_file_range(
          source_fd, &offset, fd_, nullptr,
          static_cast<std::size_t>(std::min<std::uint64_t>(to - offset, kWritebackStep)), 0);
      if (n > 0) {
        wrote(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) return fail_with(ENODATA);  // the source is shorter than it was
      if (errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP &&
          errno != EBADF)
        return false;
      use_copy_range_ = false;
    }
    std::vector<char> chunk;
    while (static_cast<std::uint64_t>(offset) < to) {
      chunk.resize(std::min<std::uint64_t>(kCopyChunk, to - offset));
      const ssize_t n = pread(source_fd, chunk.data(), chunk.size(), offset);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return fail_with(ENODATA);
      if (!write_all(chunk.data(), static_cast<std::size_t>(n))) return false;
      offset += n;
    }
    return true;
  }

 private:
  static constexpr std::size_t kFlushSize = 1 << 16;
  static constexpr std::size_t kCopyChunk = 1 << 20;
  static constexpr std::size_t kWritebackStep = 4 << 20;

  // Starts writing back what has come since the last start; only a hint,
  // so a refusal is no failure (the final fsync reports real ones).
  void wrote(std::size_t size) {
    written_ += size;
    if (written_ - sent_ < kWritebackStep) return;
    sync_file_range(fd_, static_cast<off_t>(sent_), static_cast<off_t>(written_ - sent_),
                    SYNC_FILE_RANGE_WRITE);
    sent_ = written_;
  }

  static bool fail_with(int error) {
    errno = error;
    return false;
  }

  bool write_all(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
      wrote(static_cast<std::size_t>(n));
    }
    return true;
  }

  int fd_;
  std::uint64_t written_ = 0;
  std::uint64_t sent_ = 0;  // bytes whose writeback has been started
  std::string buffer_;
  bool use_copy_range_ = true;
};

bool write_copy(int fd, int source_fd, std::uint64_t source_size, const std::vector<Edit>& edits) {
  Output out(fd);
  std::uint64_t position = 0;
  for (const Edit& edit : edits) {
    if (edit.begin < position) {  // overlapping edits would garble the file
      errno = EINVAL;
      return false;
    }
    if (edit.begin > position && !out.copy(source_fd, position, edit.begin)) return false;
    if (!out.write(edit.text)) return false;
    position = edit.end;
  }
  return out.copy(source_fd, position, source_size) && out.flush();
}

// A file-size limit makes writes fail with EFBIG instead of killing the run.
class IgnoreFileSizeSignal {
 public:
  IgnoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &saved_);
  }
  ~IgnoreFileSizeSignal() { sigaction(SIGXFSZ, &saved_, nullptr); }
  IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
  IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;

 private:
  struct sigaction saved_ {};
};

}  // namespace

bool write_edited_copy(int dir_fd, int source_fd, const struct stat& original, std::vector<Edit> edits,
                       std::string& reason, const char* saving_name) {
  std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    if (a.begin != b.begin) return a.begin < b.begin;
    if (a.place != b.place) return a.place < b.place;
    return a.order < b.order;
  });
  IgnoreFileSizeSignal ignore_file_size;
  const int fd = openat(dir_fd, saving_name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  // Only a privileged run can give the file back to its owner; others own it already.
  if (fchown(fd, original.st_uid, original.st_gid) != 0) errno = 0;
  bool done = fchmod(fd, original.st_mode & 07777) == 0 &&
              write_copy(fd, source_fd, static_cast<std::uint64_t>(original.st_size), edits) &&
              fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && done) {
    done = false;
    error = errno;
  }
  if (!done) {
    unlinkat(dir_fd, saving_name, 0);
    reason = std::strerror(error);
  }
  return done;
}

bool rename_into_place(int dir_fd, const char* saving_name, const std::string& name, std::string& reason) {
  if (renameat(dir_fd, saving_name, dir_fd, name.c_str()) != 0) {
    reason = std::strerror(errno);
    unlinkat(dir_fd, saving_name, 0);
    return false;
  }
  // The rename itself is durable only once the folder is flushed; the new
  // file is in place either way, so a failure here is not reported.
  fsync(dir_fd);
  return true;
}

bool save_edited_copy(int dir_fd, const std::string& name, int source_fd,
                      const struct stat& original, std::vector<Edit> edits, std::string& reason,
                      const char* saving_name) {
  return write_edited_copy(dir_fd, source_fd, original, std::move(edits), reason, saving_name) &&
         rename_into_place(dir_fd, saving_name, name, reason);
}

bool copy_durably(int source_fd, const struct stat& status, const std::string& path,
                  std::string& reason, const char* saving_name) {
  const int dir_fd = open(host_folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  const bool copied =
      save_edited_copy(dir_fd, path.substr(path.rfind('/') + 1), source_fd, status, {}, reason, saving_name);
  close(dir_fd);
  return copied;
}

bool make_folder_durably(const std::string& folder, std::string& reason) {
  if (mkdir(folder.c_str(), 0777) != 0) {
    if (errno == EEXIST) return true;
    reason = std::strerror(errno);
    return false;
  }
  const int parent_fd = open(host_folder_of(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent_fd >= 0) {
    fsync(parent_fd);
    close(parent_fd);
  }
  return true;
}

std::string stamp_of(const struct stat& status) {
  return formatted("%llu %llu %lld %lld.%09ld", static_cast<unsigned long long>(status.st_dev),
                   static_cast<unsigned long long>(status.st_ino), static_cast<long long>(status.st_size),
                   static_cast<long long>(status.st_mtim.tv_sec), static_cast<long>(status.st_mtim.tv_nsec));
}

std::string stamp_of_files(const std::vector<NamedFile>& files) {
  std::string stamp;
  for (const NamedFile& file : files) {
    struct stat status {};
    const bool there = !file.path.empty() && stat(file.path.c_str(), &status) == 0;
    stamp += (stamp.empty() ? "" : "; ") + file.name + " " + (there ? stamp_of(status) : "-");
  }
  return stamp;
}

bool files_as_stamped_or_kept(const std::string& stamp, const std::vector<NamedFile>& files,
                              const std::string& copy_folder) {
  std::vector<std::string> recorded;
  for (std::size_t begin = 0; begin <= stamp.size();) {
    std::size_t end = stamp.find("; ", begin);
    if (end == std::string::npos) end = stamp.size();
    recorded.push_back(stamp.substr(begin, end - begin));
    begin = end + 2;
  }
  if (recorded.size() != files.size()) return false;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (stamp_of_files({files[i]}) != recorded[i] && !same_bytes(files[i].path, copy_folder + "/" + files[i].name))
      return false;
  return true;
}

bool same_bytes(const std::string& a, const std::string& b) {
  const int fd_a = open(a.c_str(), O_RDONLY | O_CLOEXEC);
  const int fd_b = open(b.c_str(), O_RDONLY | O_CLOEXEC);
  bool same = fd_a >= 0 && fd_b >= 0;
  std::vector<char> chunk_a(1 << 16), chunk_b(1 << 16);
  for (off_t offset = 0; same;) {
    const ssize_t got_a = pread(fd_a, chunk_a.data(), chunk_a.size(), offset);
    const ssize_t got_b = got_a < 0 ? -1 : pread(fd_b, chunk_b.data(), static_cast<std::size_t>(got_a), offset);
    same = got_a >= 0 && got_a == got_b && std::equal(chunk_a.begin(), chunk_a.begin() + got_a, chunk_b.begin());
    if (got_a == 0) {
      // Both ended here only when b has nothing more either.
      char extra = 0;
      same = same && pread(fd_b, &extra, 1, offset) == 0;
      break;
    }
    offset += got_a;
  }
  if (fd_a >= 0) close(fd_a);
  if (fd_b >= 0) close(fd_b);
  return same;
}

}  // namespace morvex::regfile
