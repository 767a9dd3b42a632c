#include "files/rename_fallback.h"

namespace morvex {

bool rename_into_place(const RenameCalls& calls, const std::string& from, const std::string& to,
                       bool replace) {
  if (calls.move_file_ex(from, to, replace)) return true;
  if (calls.last_error() != kCallNotImplemented) return false;
  // MoveFileA never replaces a file: the old one goes first. A failed
  // deletion leaves both as they were.
  if (replace && calls.exists(to) && !calls.delete_file(to)) return false;
  return calls.move_file(from, to);
}

}  // namespace morvex
