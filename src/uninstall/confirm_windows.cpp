#include <windows.h>

#include "uninstall/confirm.h"

namespace morvex {

Confirmation confirm_uninstall() {
  // MB_YESNO | MB_ICONWARNING; a box that fails to show returns 0, not IDNO.
  switch (MessageBoxA(nullptr, kConfirmText, kConfirmCaption, MB_YESNO | MB_ICONWARNING)) {
    case IDNO: return Confirmation::no;
    case 0: return Confirmation::box_not_shown;
    default: return Confirmation::yes;
  }
}

}  // namespace morvex
