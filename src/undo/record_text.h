// Texts between the registry and the undo record. The record is UTF-16 text,
// as reg export writes it, and its reader hands the program UTF-8; the
// registry's texts are what the program reads from it, which on Windows is
// the ANSI code page.
#pragma once

#include "registry/registry.h"

namespace morvex {

// The value with its name and text data as UTF-8; false when they cannot be.
bool value_for_record(const RegistryValue& value, RegistryValue& out);
// The value read from a record with its name and text data as the registry
// takes them; false when the code page cannot hold them.
bool value_from_record(const RegistryValue& value, RegistryValue& out);

}  // namespace morvex
