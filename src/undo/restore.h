// --restore FILE: puts back what a run recorded in its undo record.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace morvex {

// Goes through the record in the reverse order of the run: keys made where
// missing, values given back what the run found, values the run made
// deleted, kept files moved back. A value changed again since the run
// keeps its newer state, with one line; run twice, the second time changes
// nothing. Reports every failure one line each. The number of files moved
// back; none when the record could not be used at all.
std::optional<std::size_t> restore_from_undo_record(const std::string& path);

}  // namespace morvex
