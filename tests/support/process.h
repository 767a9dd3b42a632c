// Starting and waiting for the programs the tests and the benchmark run, with
// nothing inherited that could keep a pipe open: every stream goes to a file
// or /dev/null.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_files.h"

namespace morvex::support {

struct Launch {
  std::string program;             // a path, or a name looked up along PATH
  std::vector<std::string> words;  // word 0 first
  std::string cwd;                 // empty: the caller's
  std::vector<std::string> environment;  // NAME=value, the whole environment
  // Opened for reading and writing, so a FIFO here never reaches its end.
  // Each stream's empty name keeps the one the child has (a terminal's, for
  // start_with_terminal).
  std::string stdin_file = "/dev/null";
  std::string stdout_file = "/dev/null";
  std::string stderr_file = "/dev/null";
  bool new_session = true;  // no controlling terminal
  // Runs in the child just before exec: limits, another user, mounts.
  std::function<void()> in_child;
};

// Environment changes: a value sets the variable, no value unsets it.
struct EnvironmentChange {
  std::string name;
  std::optional<std::string> value;
};

// The caller's own environment with the changes applied in order.
std::vector<std::string> environment_with(const std::vector<EnvironmentChange>& changes);

// Starts the program; 0 when it could not be started.
pid_t start(const Launch& launch);

// Starts the program with a new pseudo-terminal as its controlling terminal
// (its standard streams still go where `launch` says); `terminal` receives the
// caller's side. 0 when it could not be started.
pid_t start_with_terminal(const Launch& launch, int& terminal);

// What the program used, as its parent sees it at its end.
struct ChildUsage {
  double cpu_seconds = 0;  // user and system time
  long peak_kb = 0;        // ru_maxrss
};

// Waits up to `timeout_ms` (a negative one: as long as it takes); true with
// the exit status when the program ended. A negative status -N means it was
// ended by signal N.
bool wait_for_exit(pid_t pid, int timeout_ms, int& status, ChildUsage* usage = nullptr);

// A run timed from its start to its end, as the benchmark measures it.
struct ChildResult {
  int status = -1;  // exit status; -N when ended by signal N
  double seconds = 0;
  ChildUsage usage;
};

// Runs the program to its end; with `typed`, on a new terminal that the text
// is typed into. False with the reason when it could not be started, waited
// for or run (status 126 or 127).
bool run_timed(const Launch& launch, const std::optional<std::string>& typed, ChildResult& result,
               std::string& error);

// Ends a program and all it started in its session.
void kill_session(pid_t pid);

// Runs a helper to its end (bounded); true when it exited with status 0.
bool run_helper(const Launch& launch, int timeout_ms, int* status = nullptr);

// The full path of a program found along the caller's PATH; empty if none.
std::string find_on_path(const std::string& name);

// Milliseconds and nanoseconds on a steady clock.
long long now_ms();
long long now_ns();
double seconds_since(long long start_ns);
void sleep_ms(int ms);

}  // namespace morvex::support
