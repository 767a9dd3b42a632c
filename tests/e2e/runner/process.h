// Starting and waiting for the programs a case runs, with nothing inherited
// that could keep a pipe open: every stream goes to a file or /dev/null.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace morvex::e2e {

struct Launch {
  std::string program;             // path of the file to run
  std::vector<std::string> words;  // word 0 first
  std::string cwd;                 // empty: the runner's
  std::vector<std::string> environment;  // NAME=value, the whole environment
  // Opened for reading and writing, so a FIFO here never reaches its end.
  std::string stdin_file = "/dev/null";
  std::string stdout_file = "/dev/null";
  std::string stderr_file = "/dev/null";
  bool new_session = true;  // no controlling terminal
};

// Environment changes: a value sets the variable, no value unsets it.
struct EnvironmentChange {
  std::string name;
  std::optional<std::string> value;
};

// The runner's own environment with the changes applied in order.
std::vector<std::string> environment_with(const std::vector<EnvironmentChange>& changes);

// Starts the program; 0 when it could not be started.
pid_t start(const Launch& launch);

// Starts the program with a new pseudo-terminal as its controlling terminal
// (its standard streams still go where `launch` says); `terminal` receives the
// runner's side. 0 when it could not be started.
pid_t start_with_terminal(const Launch& launch, int& terminal);

// Waits up to `timeout_ms`; true with the exit status when the program
// ended. A negative status -N means it was ended by signal N.
bool wait_for_exit(pid_t pid, int timeout_ms, int& status);

// Ends a program and all it started in its session.
void kill_session(pid_t pid);

// Runs a helper to its end (bounded); true when it exited with status 0.
bool run_helper(const Launch& launch, int timeout_ms, int* status = nullptr);

std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& bytes);

// The full path of a program found along the runner's PATH; empty if none.
std::string find_on_path(const std::string& name);

// Milliseconds on a steady clock.
long long now_ms();
void sleep_ms(int ms);

}  // namespace morvex::e2e
