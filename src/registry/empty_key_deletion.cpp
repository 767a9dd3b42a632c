#include "registry/empty_key_deletion.h"

namespace morvex {

bool delete_key_if_empty(const KeyDeletionCalls& calls) {
  std::uint32_t subkeys = 0;
  return calls.count_subkeys(subkeys) && subkeys == 0 && calls.delete_key();
}

}  // namespace morvex
