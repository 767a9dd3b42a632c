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
// nothing. Where the registry is one file that nothing changed since the
// run, it is given back whole, byte for byte, instead. Reports every failure
// one line each; nothing when the record could not be used at all.
struct RestoreOutcome {
  bool whole_registry = false;
  std::size_t files_put_back = 0;
};
std::optional<RestoreOutcome> restore_from_undo_record(const std::string& path);

}  // namespace morvex
