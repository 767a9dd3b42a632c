#include <windows.h>

#include <cstring>

#include "files/file_deletion.h"
#include "files/file_moving.h"
#include "files/rename_windows.h"

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

// Where a copy grows before it takes its name: in the same folder, so that
// the last step is a rename on one volume.
std::string copy_in_progress(const std::string& path) { return path + ".moving"; }

// A folder's new entry is on disk once the folder is flushed (where the file
// system allows it): a file moved into a folder the machine forgets is lost.
void flush_folder(const std::string& folder) {
  const HANDLE handle = CreateFileA(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FlushFileBuffers(handle);
  CloseHandle(handle);
}

bool make_folders_for(const std::string& file) {
  const std::size_t last = file.find_last_of("\\/");
  if (last == std::string::npos) return true;
  for (std::size_t at = file.find_first_of("\\/", 1); at != std::string::npos && at <= last;
       at = file.find_first_of("\\/", at + 1)) {
    const std::string folder = file.substr(0, at);
    if (folder.size() == 2 && folder[1] == ':') continue;  // a drive's root
    if (CreateDirectoryA(folder.c_str(), nullptr))
      flush_folder(folder.substr(0, folder.find_last_of("\\/") + 1));
    else if (GetLastError() != ERROR_ALREADY_EXISTS)
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
  if (rename_on_windows(from, to, false)) return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return fail(reason);
  // Across volumes the copy takes the final name in one step once it is
  // whole on disk (CopyFile keeps its time and attributes), and the
  // original goes only after that.
  const std::string partial = copy_in_progress(to);
  DeleteFileA(partial.c_str());
  if (!CopyFileA(from.c_str(), partial.c_str(), TRUE)) return fail(reason);
  if (!flush_file(partial) ||
      !rename_on_windows(partial, to, false)) {
    const DWORD error = GetLastError();
    DeleteFileA(partial.c_str());
    return fail(reason, error);
  }
  if (!DeleteFileA(from.c_str())) {
    const DWORD error = GetLastError();
    DeleteFileA(to.c_str());
    return fail(reason, error);
  }
  return true;
}

bool same_bytes(const std::string& a, const std::string& b) {
  const HANDLE fa = CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE fb = CreateFileA(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
  static char ba[1 << 15], bb[1 << 15];
  for (DWORD na = 1, nb = 1; same && na > 0;)
    same = ReadFile(fa, ba, sizeof ba, &na, nullptr) && ReadFile(fb, bb, sizeof bb, &nb, nullptr) &&
           na == nb && std::memcmp(ba, bb, na) == 0;
  if (fa != INVALID_HANDLE_VALUE) CloseHandle(fa);
  if (fb != INVALID_HANDLE_VALUE) CloseHandle(fb);
  return same;
}

}  // namespace

bool move_file_aside(const std::string& windows_path, const std::string& kept_path,
                     std::string& reason) {
  if (!file_deletable(windows_path)) return fail(reason, ERROR_ACCESS_DENIED);
  return move(windows_path, kept_path, reason);
}

MoveBack move_file_back(const std::string& kept_path, const std::string& windows_path,
                        std::string& reason) {
  // What a kill during an earlier move left: never a file of its own.
  DeleteFileA(copy_in_progress(kept_path).c_str());
  DeleteFileA(copy_in_progress(windows_path).c_str());
  if (!present(kept_path)) return MoveBack::kept_missing;
  if (present(windows_path)) {
    if (!same_bytes(windows_path, kept_path)) return MoveBack::other_file_there;
    if (!DeleteFileA(kept_path.c_str())) {
      fail(reason);
      return MoveBack::failed;
    }
    return MoveBack::equal_file_there;
  }
  return move(kept_path, windows_path, reason) ? MoveBack::moved : MoveBack::failed;
}

bool product_file_present(const std::string& windows_path) { return present(windows_path); }

void remove_empty_folders(const std::string& top) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((top + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name != "." && name != ".." && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        remove_empty_folders(top + "\\" + name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(top.c_str());
}

}  // namespace morvex
