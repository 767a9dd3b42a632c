// A case run twice more, as a dry run and as a real run that writes its
// report: the dry run must change nothing and list exactly what the real run
// changes, with the same error lines; the report must be JSON whose changes,
// applied to the registry before, give the registry after.
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
