#include "program_run.h"

#include <algorithm>

namespace morvex::hardening {

pid_t start_program(const ProgramRun& run, const std::vector<std::string>& runner) {
  Launch launch;
  launch.program = run.program.empty() ? MORVEX_PROGRAM_PATH : run.program;
  launch.words = {"morvex-uninstall"};
  if (!runner.empty()) {
    launch.words = runner;
    launch.words.push_back(launch.program);
    launch.program = runner[0];
  }
  launch.words.insert(launch.words.end(), run.words.begin(), run.words.end());
  launch.cwd = run.prefix;
  // Sanitizer settings reach the program; nothing else from the caller does.
  launch.environment = {"MORVEX_PREFIX=" + run.prefix, "HOME=" + run.prefix + "/home", "LANG=C"};
  for (const std::string& setting : environment_with({}))
    if (setting.starts_with("ASAN_OPTIONS=") || setting.starts_with("UBSAN_OPTIONS=") ||
        setting.starts_with("LSAN_OPTIONS="))
      launch.environment.push_back(setting);
  // LeakSanitizer stops a traced program with a fatal error: it cannot run
  // under ptrace. The untraced runs still look for leaks.
  if (!runner.empty()) {
    auto asan = std::find_if(launch.environment.begin(), launch.environment.end(),
                             [](const std::string& setting) { return setting.starts_with("ASAN_OPTIONS="); });
    if (asan == launch.environment.end()) launch.environment.push_back("ASAN_OPTIONS=detect_leaks=0");
    else *asan += ":detect_leaks=0";
  }
  if (!run.error_file.empty()) launch.stderr_file = run.error_file;
  launch.stdout_file = run.output_file;
  launch.in_child = run.in_child;
  return start(launch);
}

bool wait_program(pid_t pid, double deadline_seconds, RunOutcome& outcome) {
  const long long started = now_ns();
  int status = -1;
  outcome.ended = wait_for_exit(pid, static_cast<int>(deadline_seconds * 1000), status);
  if (!outcome.ended) kill_session(pid);
  outcome.exit_status = outcome.ended && status >= 0 ? status : -1;
  outcome.signal = outcome.ended && status < 0 ? -status : 0;
  outcome.seconds = seconds_since(started);
  return outcome.ended;
}

RunOutcome run_program(const ProgramRun& run, double deadline_seconds,
                       const std::vector<std::string>& runner) {
  ProgramRun with_errors = run;
  if (with_errors.error_file.empty()) with_errors.error_file = run.prefix + ".stderr";
  RunOutcome outcome;
  const pid_t pid = start_program(with_errors, runner);
  if (pid == 0) return outcome;
  wait_program(pid, deadline_seconds, outcome);
  outcome.error_stream = read_file(with_errors.error_file);
  return outcome;
}

bool only_lines_about_the_record(const std::string& error_stream) {
  for (std::size_t start = 0; start < error_stream.size();) {
    std::size_t end = error_stream.find('\n', start);
    if (end == std::string::npos) end = error_stream.size();
    const std::string line = error_stream.substr(start, end - start);
    if (line.find(": the record has no end: ") == std::string::npos &&
        line.find(": a change cut short is skipped: ") == std::string::npos)
      return false;
    start = end + 1;
  }
  return true;
}

}  // namespace morvex::hardening
