// The product's own keys below HKEY_CURRENT_USER, named once for every
// subsystem that opens them.
#pragma once

namespace morvex {

inline constexpr const char* kCompilersKey = "Software\\Morvex\\Morvex Tools\\Morvex Compilers";
inline constexpr const char* kCxxCompilerKey =
    "Software\\Morvex\\Morvex Tools\\Morvex Compilers\\Morvex C/C++ Compiler";
inline constexpr const char* kSelectCompilerKey = "Software\\Morvex\\Morvex Tools\\Select Compiler";
inline constexpr const char* kIdeKey = "Software\\Morvex\\Morvex Tools\\Select Compiler\\IDE";
inline constexpr const char* kRelease24Key = "Software\\Morvex\\Morvex Compiler 2.4";

}  // namespace morvex
