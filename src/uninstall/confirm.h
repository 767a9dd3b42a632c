// Asking the user to close the IDE before anything changes.
#pragma once

namespace morvex {

// How the question went. Only `no` stops the run: a confirmation that cannot
// be put to the user (no terminal, no display) counts as Yes, so that an
// unattended installer does not stall.
enum class Confirmation { yes, no, no_terminal, box_not_shown };
Confirmation confirm_uninstall();

inline constexpr const char* kConfirmCaption = "Warning";
inline constexpr const char* kConfirmText =
    "Successful uninstallation of the Morvex C/C++ Compiler requires the Microsoft Developer "
    "Studio to be closed.\n\nDo you wish to continue?";

}  // namespace morvex
