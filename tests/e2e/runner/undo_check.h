// Every case that reaches the uninstall, run again with --undo and then
// --restore: the machine must come back as it was before, by meaning (every
// key, value, type and file content).
#pragma once

#include "case_file.h"
#include "outcome.h"
#include "suites.h"

namespace morvex::e2e {

// Adds its differences to `report`; nothing for a case whose first word is
// no version key (options, or no words at all).
void check_undo_and_restore(const Case& c, const NativeSuite& suite, CaseReport& report);

}  // namespace morvex::e2e
