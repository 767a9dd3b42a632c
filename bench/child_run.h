// Running one program the way the benchmark times it: from fork to the end
// of the child, with the child's own resource use.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvex::bench {

struct ChildRun {
  std::string program;                   // a path, or a name looked up along PATH
  std::vector<std::string> words;        // word 0 first
  std::string folder;                    // where it runs
  std::vector<std::string> environment;  // NAME=value added to the bench's own
  std::string stderr_file;               // the error stream; stdout is discarded
  // When set, the child gets a new pseudo-terminal as its controlling
  // terminal, and this text is typed into it; otherwise it has none.
  std::optional<std::string> typed;
};

struct ChildResult {
  int status = -1;  // exit status; -N when ended by signal N
  double seconds = 0;
  double cpu_seconds = 0;  // user and system time of the child
  long peak_kb = 0;        // ru_maxrss
};

// False with the reason when the child could not be started or waited for.
bool run_child(const ChildRun& run, ChildResult& result, std::string& error);

}  // namespace morvex::bench
