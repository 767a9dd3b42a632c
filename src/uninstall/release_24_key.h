// Release 2.4's own key, narrowed or deleted by its "XSELECT_language".
#pragma once

#include <cstdint>

namespace morvex {

void update_release_24_key();
// 1 when the selection cannot be read.
std::int32_t read_release_24_selection();
void write_release_24_selection(std::int32_t selection);

}  // namespace morvex
