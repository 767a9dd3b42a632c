#include "program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace morvex::hardening {
namespace {

namespace fs = std::filesystem;

// Sanitizer settings reach the program; nothing else from the caller does.
std::vector<std::string> program_environment(const ProgramRun& run) {
  std::vector<std::string> environment = {"MORVEX_PREFIX=" + run.prefix,
                                          "HOME=" + run.prefix + "/home", "LANG=C"};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    if (text.starts_with("ASAN_OPTIONS=") || text.starts_with("UBSAN_OPTIONS=") ||
        text.starts_with("LSAN_OPTIONS="))
      environment.emplace_back(text);
  }
  return environment;
}

}  // namespace

const char* program_path() { return MORVEX_PROGRAM_PATH; }

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double seconds_since(long long start_ns) { return static_cast<double>(now_ns() - start_ns) / 1e9; }

pid_t start_program(const ProgramRun& run) {
  std::vector<std::string> words = {"morvex-uninstall"};
  words.insert(words.end(), run.words.begin(), run.words.end());
  const std::vector<std::string> environment = program_environment(run);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) return 0;
  if (pid == 0) {
    setsid();
    const int null = open("/dev/null", O_RDWR);
    const int errors = run.error_file.empty()
                           ? null
                           : open(run.error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 0);
    dup2(null, 1);
    dup2(errors, 2);
    if (chdir(run.prefix.c_str()) != 0 && chdir("/") != 0) _exit(126);
    if (run.in_child) run.in_child();
    execve(program_path(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

bool wait_program(pid_t pid, double deadline_seconds, RunOutcome& outcome) {
  const long long started = now_ns();
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done != pid && seconds_since(started) > deadline_seconds) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    } else if (done != pid) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    outcome.ended = done == pid;
    outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.seconds = seconds_since(started);
    return outcome.ended;
  }
}

RunOutcome run_program(const ProgramRun& run, double deadline_seconds) {
  ProgramRun with_errors = run;
  if (with_errors.error_file.empty()) with_errors.error_file = run.prefix + ".stderr";
  RunOutcome outcome;
  const pid_t pid = start_program(with_errors);
  if (pid == 0) return outcome;
  wait_program(pid, deadline_seconds, outcome);
  outcome.error_stream = read_file(with_errors.error_file);
  return outcome;
}

Sandbox::Sandbox(const std::string& what) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/morvex-" + what + "-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
  // Children that drop their privileges must still reach what is inside.
  chmod(folder_.c_str(), 0755);
}

Sandbox::~Sandbox() {
  if (folder_.empty()) return;
  std::error_code ignored;
  // Folders a test made read-only must open up again to be removed.
  for (auto entry = fs::recursive_directory_iterator(folder_, ignored);
       entry != fs::recursive_directory_iterator(); entry.increment(ignored))
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored))
      chmod(entry->path().c_str(), 0755);
  chmod(folder_.c_str(), 0755);
  fs::remove_all(folder_, ignored);
}

std::string Sandbox::make_prefix(const std::string& name) const {
  const std::string prefix = folder_ + "/" + name;
  fs::create_directories(prefix + "/drive_c");
  fs::create_directories(prefix + "/home");
  return prefix;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace morvex::hardening
