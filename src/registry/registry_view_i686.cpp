// The 32-bit program sees the 32-bit view by itself on 64-bit Windows, and
// makes the calls of the product's own era: Windows 2000 refuses a view flag
// with "access denied", and RegDeleteKeyExA is not there before Vista.
#include "registry/registry_view.h"

namespace morvex {

REGSAM registry_view_flag() { return 0; }

LONG delete_key_in_view(HKEY root, const char* path) { return RegDeleteKeyA(root, path); }

}  // namespace morvex
