// The 64-bit program asks for the 32-bit view by name: every 64-bit Windows,
// from XP x64 and Server 2003 on, knows the flag and RegDeleteKeyExA.
#include "registry/registry_view.h"

namespace morvex {

REGSAM registry_view_flag() { return KEY_WOW64_32KEY; }

LONG delete_key_in_view(HKEY root, const char* path) {
  return RegDeleteKeyExA(root, path, KEY_WOW64_32KEY, 0);
}

}  // namespace morvex
