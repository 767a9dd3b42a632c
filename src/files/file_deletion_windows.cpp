#include <windows.h>

#include "files/file_deletion.h"

namespace morvex {

bool delete_file(const std::string& windows_path) {
  return DeleteFileA(windows_path.c_str()) != 0;
}

}  // namespace morvex
