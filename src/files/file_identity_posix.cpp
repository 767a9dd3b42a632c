#include <sys/stat.h>

#include <cstdlib>

#include "files/file_identity.h"

namespace morvex {
namespace {

// Where the path leads: its real path when it exists, else its folder's
// real path with the last name.
std::string resolved_place(const std::string& path) {
  if (char* real = realpath(path.c_str(), nullptr)) {
    std::string place(real);
    std::free(real);
    return place;
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char* real = realpath(folder.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string place(real);
  std::free(real);
  return (place == "/" ? "" : place) + "/" + name;
}

}  // namespace

bool same_file_place(const std::string& first, const std::string& second) {
  struct stat a {}, b {};
  if (stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0)
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  return resolved_place(first) == resolved_place(second);
}

bool names_something_else_than_a_file(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return true;
  // /dev/stdout and /proc/self/fd/N lead to whatever a descriptor holds: a
  // file put there would replace the system's own name. /dev/shm is an
  // ordinary folder.
  const bool device_folder = path.starts_with("/dev/") && !path.starts_with("/dev/shm/");
  return device_folder || path.starts_with("/proc/") || resolved_place(path).starts_with("/proc/");
}

}  // namespace morvex
