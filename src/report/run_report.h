// The run's report for an installer: one JSON document, written when the
// run starts (so that an unwritable place is found before anything changes),
// again before the follow-on program starts, and when the run ends.
#pragma once

#include <string>
#include <vector>

#include "registry/change_journal.h"
#include "report/run_account.h"

namespace morvex {

std::string report_json(const RunAccount& account, const ChangeJournal& journal,
                        const std::vector<std::string>& error_lines);

// Writes the report in one atomic step; on failure reports one line.
bool write_run_report(const std::string& path, const RunAccount& account);

}  // namespace morvex
