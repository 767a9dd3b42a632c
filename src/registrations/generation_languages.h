// Bringing an IDE generation's language settings into line with the
// releases that stay registered for it.
#pragma once

#include <cstdint>

#include "registry/registry.h"

namespace morvex {

// Writes and deletes, through the open generation key, what the releases
// left in the list call for, given the generation's current "Languages".
// Reports each failure and carries on with the rest.
void align_generation_languages(const RegistryKey& generation_key, bool fortran_remains,
                                bool cxx_remains, std::int32_t generation_mask);

}  // namespace morvex
