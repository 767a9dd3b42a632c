#include <windows.h>

#include "files/file_identity.h"
#include "text/ascii_case.h"

namespace morvex {
namespace {

std::string full_path(const std::string& path) {
  char buffer[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length == 0 || length >= sizeof buffer ? path : std::string(buffer, length);
}

}  // namespace

// Names are compared as the file system does, without regard to case.
bool same_file_place(const std::string& first, const std::string& second) {
  return equal_folded(full_path(first), full_path(second));
}

bool names_something_else_than_a_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace morvex
