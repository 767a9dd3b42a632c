// Numbers stored as text, read the way the C library's atoi reads them but
// without its undefined overflow.
#pragma once

#include <cstdint>
#include <string_view>

namespace morvex {

// Leading white space, one optional sign, then decimal digits up to the
// first other character; 0 without digits. Out-of-range values saturate.
std::int32_t parse_decimal(std::string_view text);

}  // namespace morvex
