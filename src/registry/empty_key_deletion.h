// Deleting a key only when it has no subkeys. NT's RegDeleteKeyA refuses a
// key with subkeys; that of Windows 95, 98 and ME deletes it with all of
// them, so the program looks first, the same on every Windows. Plain code
// over the two calls, so that a test can answer as an old system does.
#pragma once

#include <cstdint>
#include <functional>

namespace morvex {

struct KeyDeletionCalls {
  // False when the key cannot be opened or asked.
  std::function<bool(std::uint32_t& subkeys)> count_subkeys;
  std::function<bool()> delete_key;
};

bool delete_key_if_empty(const KeyDeletionCalls& calls);

}  // namespace morvex
