// The files a run writes besides the registry and the product files: the
// report and the undo record. Checked together, before anything changes.
#pragma once

#include "diag/standard_output.h"
#include "uninstall/run_options.h"

namespace morvex {

// False, with one line, when an output would overwrite something the run
// needs: the registry's own files, each other, or a device or folder in a
// report's place.
bool outputs_allowed(const RunOptions& options);

}  // namespace morvex
