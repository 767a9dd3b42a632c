// Windows paths take either slash between their parts.
#pragma once

namespace morvex {

constexpr bool is_path_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace morvex
