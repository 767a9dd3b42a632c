#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launch/launch_host.h"

extern char** environ;

namespace morvex {
namespace {

// Windows error codes of the same meaning, so that map_system_error decides
// the outcome exactly as on Windows.
constexpr WindowsError kFileNotFound = 2;
constexpr WindowsError kPathNotFound = 3;
constexpr WindowsError kTooManyOpenFiles = 4;
constexpr WindowsError kAccessDenied = 5;
constexpr WindowsError kNotEnoughMemory = 8;
constexpr WindowsError kBadEnvironment = 10;
constexpr WindowsError kSharingViolation = 32;
constexpr WindowsError kDeviceFailure = 31;
constexpr WindowsError kInvalidParameter = 87;
constexpr WindowsError kNoProcessSlots = 89;
constexpr WindowsError kBadExecutableFormat = 193;
constexpr WindowsError kFileNameTooLong = 206;
constexpr WindowsError kCannotResolveName = 1921;

WindowsError windows_error_of(int error) {
  switch (error) {
    case ENOENT: return kFileNotFound;
    case ENOTDIR: return kPathNotFound;
    case ENAMETOOLONG: return kFileNameTooLong;
    case EACCES:
    case EPERM:
    case EISDIR: return kAccessDenied;
    // A symbolic link that leads nowhere but round in circles.
    case ELOOP: return kCannotResolveName;
    case ENOEXEC:
    case ELIBBAD: return kBadExecutableFormat;
    case ENOMEM: return kNotEnoughMemory;
    case E2BIG: return kBadEnvironment;
    case ETXTBSY: return kSharingViolation;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case EAGAIN: return kNoProcessSlots;
    case EIO: return kDeviceFailure;
    default: return kInvalidParameter;
  }
}

std::string host_path(const std::string& path) {
  std::string converted = path;
  for (char& c : converted)
    if (c == '\\') c = '/';
  return converted;
}

// The words a Windows child's runtime would see in a line that holds no
// quotes: runs of blanks separate them.
std::vector<std::string> split_at_blanks(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

class PosixLaunchHost final : public LaunchHost {
 public:
  WindowsError test_existence(const std::string& path) override {
    struct stat attributes {};
    if (stat(host_path(path).c_str(), &attributes) == 0) return kNoWindowsError;
    return windows_error_of(errno);
  }

  WindowsError check_start(const std::string& path) override {
    const std::string file = host_path(path);
    struct stat attributes {};
    if (stat(file.c_str(), &attributes) != 0) return windows_error_of(errno);
    if (S_ISDIR(attributes.st_mode) || access(file.c_str(), X_OK) != 0) return kAccessDenied;
    // What the kernel runs: an ELF image or a script naming its interpreter.
    char head[4] = {};
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = fd < 0 ? -1 : read(fd, head, sizeof head);
    if (fd >= 0) close(fd);
    const bool runnable = (got == 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) ||
                          (got >= 2 && head[0] == '#' && head[1] == '!');
    return runnable ? kNoWindowsError : kBadExecutableFormat;
  }

  WindowsError start(const std::string& path, const std::string& command_line) override {
    std::vector<std::string> words = split_at_blanks(command_line);
    if (words.empty()) words.emplace_back();
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // posix_spawn, not posix_spawnp: a file the system cannot run must fail
    // with ENOEXEC rather than be handed to a shell.
    pid_t child = 0;
    const int error = posix_spawn(&child, host_path(path).c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) return windows_error_of(error);
    // The child replaces this program: end now, without waiting for it.
    std::fflush(nullptr);
    _exit(0);
  }

  std::optional<std::string> read_search_path() override {
    const char* value = std::getenv("PATH");
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  char search_path_separator() const override { return ':'; }

  // Multibyte encodings here never reuse the bytes of "\", "/", ":" or ".".
  bool is_lead_byte(unsigned char) const override { return false; }

  char path_separator() const override { return '/'; }
  bool tries_name_as_written() const override { return true; }
  bool may_run(const std::string& path) override {
    const std::string file = host_path(path);
    struct stat attributes {};
    return stat(file.c_str(), &attributes) == 0 && S_ISREG(attributes.st_mode) &&
           access(file.c_str(), X_OK) == 0;
  }
};

}  // namespace

LaunchHost& system_launch_host() {
  static PosixLaunchHost host;
  return host;
}

}  // namespace morvex
