// Which view of the registry the program works in, by build: the 32-bit one,
// where the product and its 32-bit installer keep HKEY_LOCAL_MACHINE\Software
// (Wow6432Node on 64-bit Windows).
#pragma once

#include <windows.h>

namespace morvex {

// The flag every open and create adds to its access.
REGSAM registry_view_flag();
// Deletes the key in that view; the caller makes sure it has no subkeys.
LONG delete_key_in_view(HKEY root, const char* path);

}  // namespace morvex
