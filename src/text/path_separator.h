// Windows paths take either slash between their parts; host paths only "/".
#pragma once

#include <string>

namespace morvex {

constexpr bool is_path_separator(char c) { return c == '\\' || c == '/'; }

// The folder a host path names its file in: "." for a bare name, "/" for a
// file at the root.
inline std::string host_folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace morvex
