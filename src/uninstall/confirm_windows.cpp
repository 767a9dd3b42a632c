#include <windows.h>

#include "uninstall/confirm.h"

namespace morvex {

bool confirm_uninstall() {
  // MB_YESNO | MB_ICONWARNING; a box that fails to show returns 0, not IDNO.
  return MessageBoxA(nullptr, kConfirmText, kConfirmCaption, MB_YESNO | MB_ICONWARNING) != IDNO;
}

}  // namespace morvex
