// The one line a finished run ends with for a person watching it: what it
// did, and where its undo record is. Only a terminal gets it, so installers,
// pipes and files see the same bytes as ever.
#pragma once

#include <cstddef>
#include <string>

#include "registry/change_journal.h"
#include "report/run_account.h"

namespace morvex {

std::string run_summary(const RunAccount& account, const ChangeJournal& journal,
                        const std::string& undo_path, std::size_t error_lines);
std::string restore_summary(const std::string& record_path, bool whole_registry,
                            std::size_t registry_changes, std::size_t files_put_back,
                            std::size_t error_lines);

// Writes the line when standard output is a terminal; nothing otherwise.
void say_at_terminal(const std::string& line);

}  // namespace morvex
