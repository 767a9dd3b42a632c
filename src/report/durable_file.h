// Files the run writes beside its registry changes (its report, its undo
// record), made durable so that what they say survives the machine.
#pragma once

#include <string>
#include <string_view>

namespace morvex {

// Replaces the file in one step with `bytes`, flushed to disk first: a
// reader finds the old file or the whole new one. On failure `reason` says
// why, and the old file stays as it was.
bool replace_file_durably(const std::string& path, std::string_view bytes, std::string& reason);

}  // namespace morvex
