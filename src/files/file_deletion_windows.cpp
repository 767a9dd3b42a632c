#include <windows.h>

#include "files/file_deletion.h"

namespace morvex {

bool delete_file(const std::string& windows_path) {
  return DeleteFileA(windows_path.c_str()) != 0;
}

bool file_deletable(const std::string& windows_path) {
  // DeleteFileA refuses directories and read-only files.
  const DWORD attributes = GetFileAttributesA(windows_path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

}  // namespace morvex
