// The dry run's account on standard output: what a run would change,
// grouped by key the way a .reg file and a difference show it.
#pragma once

#include <string>

#include "registry/change_journal.h"
#include "report/run_account.h"

namespace morvex {

std::string change_listing(const ChangeJournal& journal, const RunAccount& account);

// A value as a .reg file writes it ("name"=data), its bytes as stored.
std::string value_notation(const RegistryValue& value);

}  // namespace morvex
