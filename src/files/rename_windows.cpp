#include "files/rename_windows.h"

#include <windows.h>

#include "files/rename_fallback.h"

namespace morvex {

bool rename_on_windows(const std::string& from, const std::string& to, bool replace) {
  static const RenameCalls calls = {
      [](const std::string& a, const std::string& b, bool over) {
        return MoveFileExA(a.c_str(), b.c_str(),
                           MOVEFILE_WRITE_THROUGH | (over ? MOVEFILE_REPLACE_EXISTING : 0)) != 0;
      },
      [](const std::string& a, const std::string& b) { return MoveFileA(a.c_str(), b.c_str()) != 0; },
      [](const std::string& path) { return DeleteFileA(path.c_str()) != 0; },
      [](const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
      [] { return static_cast<std::uint32_t>(GetLastError()); },
  };
  return rename_into_place(calls, from, to, replace);
}

}  // namespace morvex
