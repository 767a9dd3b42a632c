// Renaming a file into place on every Windows: MoveFileExA where the system
// implements it, and on Windows 95, 98 and ME, which answer every call of it
// with ERROR_CALL_NOT_IMPLEMENTED, MoveFileA, after deleting the file it
// replaces. There a kill between the two steps leaves the new file whole
// under its temporary name and no file under the final one.
//
// The steps are plain code over the calls below, so that a test can answer
// as an old system does; rename_windows.cpp hands in the real ones.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace morvex {

inline constexpr std::uint32_t kCallNotImplemented = 120;  // ERROR_CALL_NOT_IMPLEMENTED

struct RenameCalls {
  // Each returns true on success and leaves its error for last_error.
  std::function<bool(const std::string& from, const std::string& to, bool replace)> move_file_ex;
  std::function<bool(const std::string& from, const std::string& to)> move_file;
  std::function<bool(const std::string& path)> delete_file;
  std::function<bool(const std::string& path)> exists;
  std::function<std::uint32_t()> last_error;
};

// Renames `from` to `to`, replacing a file there when `replace` says so,
// written through to disk where the system can; false with the error left
// for last_error.
bool rename_into_place(const RenameCalls& calls, const std::string& from, const std::string& to,
                       bool replace);

}  // namespace morvex
