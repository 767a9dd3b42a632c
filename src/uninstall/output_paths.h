// The files a run writes besides the registry and the product files: the
// report and the undo record. Checked together, before anything changes.
#pragma once

#include "uninstall/run_options.h"

namespace morvex {

// What --report names to send the report to standard output.
inline constexpr const char* kStandardOutputName = "-";

// False, with one line, when an output would overwrite something the run
// needs: the registry's own files, each other, or a device or folder in a
// report's place.
bool outputs_allowed(const RunOptions& options);

}  // namespace morvex
