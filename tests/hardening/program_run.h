// Runs the built program the way an installer would on this host: in its own
// session (no terminal, so the confirmation cannot be put and the run goes
// on), with a prefix folder of its own and nothing from the caller's home.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "process.h"
#include "registry_generator.h"
#include "registry_view.h"

namespace morvex::hardening {

using namespace morvex::support;

inline const std::string kUser = "HKEY_CURRENT_USER\\";

struct ProgramRun {
  std::string prefix;               // MORVEX_PREFIX
  std::vector<std::string> words;   // after word 0, which is "morvex-uninstall"
  std::string error_file;           // where its error stream goes; beside the prefix when empty
  // Runs in the child just before exec: limits, another user, mounts.
  std::function<void()> in_child;
  std::string output_file = "/dev/null";  // its standard output
  std::string program = {};  // the build's when empty
};

// Starts the program, through `runner` when it names one (its words, the
// program's path after them: strace); 0 when it could not be started.
pid_t start_program(const ProgramRun& run, const std::vector<std::string>& runner = {});

struct RunOutcome {
  bool ended = false;  // false: still running at the deadline, and killed
  int exit_status = -1;
  int signal = 0;
  std::string error_stream;
  double seconds = 0;
};

// Runs the program to its end or to the deadline.
RunOutcome run_program(const ProgramRun& run, double deadline_seconds = 60,
                       const std::vector<std::string>& runner = {});

// Waits for a started program; returns false if it did not end by itself.
bool wait_program(pid_t pid, double deadline_seconds, RunOutcome& outcome);

// Whether every line of an error stream is one a restore gives about the
// record itself (an end missing, a change cut short): lines it repeats each
// time, since it never changes the record.
bool only_lines_about_the_record(const std::string& error_stream);

// The first line of a text, without its line end.
inline std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace morvex::hardening
