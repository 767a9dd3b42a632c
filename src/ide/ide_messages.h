// The lines both IDE restore operations report, each through "%s.".
#pragma once

namespace morvex {

inline constexpr const char* kIdeKeyOpenFailed = "failed to open MSDEV registry key";
inline constexpr const char* kIdeValueGetFailed = "failed to get MSDEV compiler component string";
inline constexpr const char* kIdeValueSetFailed = "failed to set MSDEV compiler component string";

}  // namespace morvex
