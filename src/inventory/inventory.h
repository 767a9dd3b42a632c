// --list and --check: a look at the installation before or after a run.
// Both read the registry and the disk, change nothing and ask nothing.
#pragma once

#include <string>

namespace morvex {

// Prints what is installed on standard output, or as JSON to report_path
// ("-": standard output).
void list_installation(const std::string& report_path);

// Prints one line for each thing a whole installation or a whole removal
// would not leave, each followed by the command that mends it where one
// does; JSON to report_path as --list. Returns 0 when nothing was found and
// every read succeeded, 1 otherwise.
int check_installation(const std::string& report_path);
// The check that could not start (a refused command line, no registry to
// read): its report, when it has one, says so; the status is 1.
int check_not_made(const std::string& report_path);

}  // namespace morvex
