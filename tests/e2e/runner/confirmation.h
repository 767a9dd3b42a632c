// The confirmation as the user sees it: the box's caption and text.
#pragma once

namespace morvex::e2e {

inline constexpr const char* kCaption = "Warning";
inline constexpr const char* kQuestion =
    "Successful uninstallation of the Morvex C/C++ Compiler requires the Microsoft Developer "
    "Studio to be closed.\n\nDo you wish to continue?";

}  // namespace morvex::e2e
