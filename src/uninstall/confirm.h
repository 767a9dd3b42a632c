// Asking the user to close the IDE before anything changes.
#pragma once

namespace morvex {

// False only when the user answers No. A confirmation that cannot be put to
// the user (no display, no terminal) counts as Yes: an unattended installer
// must not stall.
bool confirm_uninstall();

inline constexpr const char* kConfirmCaption = "Warning";
inline constexpr const char* kConfirmText =
    "Successful uninstallation of the Morvex C/C++ Compiler requires the Microsoft Developer "
    "Studio to be closed.\n\nDo you wish to continue?";

}  // namespace morvex
