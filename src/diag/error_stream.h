// The platform's own write of error-stream text, behind write_error_stream.
#pragma once

#include <string_view>

namespace morvex {

// Writes the text at once; a failed write is ignored and ends nothing.
void put_error_stream(std::string_view text);

}  // namespace morvex
