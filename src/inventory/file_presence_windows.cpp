#include <windows.h>

#include "inventory/file_presence.h"

namespace morvex {

bool file_present(const std::string& windows_path) {
  const DWORD attributes = GetFileAttributesA(windows_path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace morvex
