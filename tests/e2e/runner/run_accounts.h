// A case run again beside its own run, on both platforms: as a dry run and
// as a real run that writes its report (the dry run must change nothing and
// list exactly what the real run changes, with the same error lines; the
// report must be JSON whose changes, applied to the registry before, give
// the registry after), and as a run with --undo followed by --restore, which
// must bring back every key, value and file as it was.
#pragma once

#include <string>
#include <vector>

#include "outcome.h"

namespace morvex::e2e {

// Whether the case's run goes far enough for the accounts to say anything:
// a release is named and the confirmation is not answered No.
bool accounts_apply(const Case& c);

// The options that start the two runs; "{report}" stands for the report
// file's path, which the suite picks.
std::vector<std::string> dry_run_options();
std::vector<std::string> report_options();

// A case without its expectations of change: what a dry run must leave.
Case unchanged_case(const Case& c);

// What a suite checks after a run: the case's expectations, or, after
// --undo and --restore, the registry and files the case began with.
enum class Expect { as_case, as_before };

// Whether the case names a version key first, and so has a run to undo.
bool undo_applies(const Case& c);
// The version key alone, without a terminal: a follow-on program's doings
// are no change of the run's. "{undo}" stands for the record's path.
Case undo_case(const Case& c);
std::vector<std::string> undo_options();
std::vector<std::string> restore_options();
// `run` is the restore's: its error lines and the registry after it.
void check_restored(const Case& c, const RunResult& run, const std::string& prefix,
                    const std::string& recorder, CaseReport& report);

struct AccountedRun {
  RunResult run;
  std::string report;  // the JSON text; empty when none was written
};

void check_accounts(const Case& c, const AccountedRun& dry, const AccountedRun& real,
                    CaseReport& report);

// The run's report is JSON whose changes, applied to the case's registry
// before, give `after`. False when there was no report to apply.
bool check_changes_lead_to(const Case& c, const AccountedRun& run, const RegistryView& after,
                           const std::string& what, CaseReport& report);

}  // namespace morvex::e2e
