// Standard output: the listing, the help and the version, and a report sent
// there. A write that fails (a full disk, a closed pipe) is one error line.
#pragma once

#include <string_view>

namespace morvex {

// What --report names to send the report to standard output.
inline constexpr const char* kStandardOutputName = "-";

// Writes and flushes; false, reported, when it did not all get out.
bool write_standard_output(std::string_view text);

// Flushes what printf left buffered; false, reported, when it failed.
bool finish_standard_output();

}  // namespace morvex
