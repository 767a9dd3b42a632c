#include "registry/host_prefix.h"

#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "diag/diagnostics.h"

namespace morvex {

namespace {

std::optional<WindowsDisk>& chosen_disk() {
  static std::optional<WindowsDisk> disk;
  return disk;
}

}  // namespace

void use_windows_disk(WindowsDisk disk) {
  if (disk.folder.empty())
    chosen_disk().reset();
  else
    chosen_disk() = std::move(disk);
}

const WindowsDisk* windows_disk() { return chosen_disk() ? &*chosen_disk() : nullptr; }

bool host_prefix_from_environment() {
  const char* prefix = std::getenv("MORVEX_PREFIX");
  return prefix != nullptr && *prefix != '\0';
}

std::string host_prefix_folder() {
  if (windows_disk() != nullptr) return windows_disk()->folder;
  const char* prefix = std::getenv("MORVEX_PREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  if (home == nullptr) {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : "";
  }
  return std::string(home) + "/.morvex";
}

// Another run holds the prefix: after a second of waiting the user learns
// why nothing happens, once, and the wait goes on.
bool lock_prefix_folder(int dir_fd, const std::string& folder) {
  constexpr int kQuietTries = 100;  // 10 ms apart
  for (int tries = 0; tries < kQuietTries; ++tries) {
    if (flock(dir_fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    usleep(10000);
  }
  report_error("%s: another run is using this prefix; waiting for it to end", folder.c_str());
  while (flock(dir_fd, LOCK_EX) != 0)
    if (errno != EINTR) return false;
  return true;
}

}  // namespace morvex
