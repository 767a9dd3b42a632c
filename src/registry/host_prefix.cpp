#include "registry/host_prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace morvex {

bool host_prefix_from_environment() {
  const char* prefix = std::getenv("MORVEX_PREFIX");
  return prefix != nullptr && *prefix != '\0';
}

std::string host_prefix_folder() {
  const char* prefix = std::getenv("MORVEX_PREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  if (home == nullptr) {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : "";
  }
  return std::string(home) + "/.morvex";
}

}  // namespace morvex
