#include <windows.h>

#include "files/file_deletion.h"
#include "files/file_moving.h"

namespace morvex {
namespace {

bool fail(std::string& reason, DWORD error = GetLastError()) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    --length;
  reason = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
  return false;
}

bool present(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool make_folders_for(const std::string& file) {
  const std::size_t last = file.find_last_of("\\/");
  if (last == std::string::npos) return true;
  for (std::size_t at = file.find_first_of("\\/", 1); at != std::string::npos && at <= last;
       at = file.find_first_of("\\/", at + 1)) {
    const std::string folder = file.substr(0, at);
    if (folder.size() == 2 && folder[1] == ':') continue;  // a drive's root
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return true;
}

bool flush_file(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(file);
  CloseHandle(file);
  return flushed;
}

bool move(const std::string& from, const std::string& to, std::string& reason) {
  if (present(to)) return fail(reason, ERROR_FILE_EXISTS);
  if (!make_folders_for(to)) return fail(reason);
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return fail(reason);
  if (!CopyFileA(from.c_str(), to.c_str(), TRUE)) return fail(reason);
  if (!flush_file(to) || !DeleteFileA(from.c_str())) {
    const DWORD error = GetLastError();
    DeleteFileA(to.c_str());
    return fail(reason, error);
  }
  return true;
}

}  // namespace

bool move_file_aside(const std::string& windows_path, const std::string& kept_path,
                     std::string& reason) {
  if (!file_deletable(windows_path)) return fail(reason, ERROR_ACCESS_DENIED);
  return move(windows_path, kept_path, reason);
}

bool move_file_back(const std::string& kept_path, const std::string& windows_path,
                    std::string& reason) {
  return move(kept_path, windows_path, reason);
}

bool product_file_present(const std::string& windows_path) { return present(windows_path); }

bool kept_file_present(const std::string& kept_path) { return present(kept_path); }

}  // namespace morvex
