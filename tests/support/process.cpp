#include "process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace morvex::support {
namespace {

int open_for_child(const std::string& path, int flags) {
  return open(path.c_str(), flags | O_CLOEXEC, 0644);
}

// The texts as exec takes them: pointers, the last one null.
std::vector<char*> c_strings(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// In the child: never returns.
[[noreturn]] void exec_child(const Launch& launch, const std::string& program) {
  const auto stream = [](const std::string& file, int flags, int own) {
    return file.empty() ? own : open_for_child(file, flags);
  };
  const int in = stream(launch.stdin_file, O_RDWR, 0);
  const int out = stream(launch.stdout_file, O_WRONLY | O_CREAT | O_TRUNC, 1);
  const int err = stream(launch.stderr_file, O_WRONLY | O_CREAT | O_TRUNC, 2);
  if (in < 0 || out < 0 || err < 0) _exit(126);
  if (in != 0) dup2(in, 0);
  if (out != 1) dup2(out, 1);
  if (err != 2) dup2(err, 2);
  if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0) {
    dprintf(2, "cannot enter %s\n", launch.cwd.c_str());
    _exit(126);
  }
  if (launch.in_child) launch.in_child();
  signal(SIGPIPE, SIG_DFL);
  execve(program.c_str(), c_strings(launch.words).data(), c_strings(launch.environment).data());
  dprintf(2, "cannot run %s\n", launch.program.c_str());
  _exit(127);
}

// Looked up before the fork: the child only execs.
std::string program_path(const Launch& launch) {
  return launch.program.find('/') == std::string::npos ? find_on_path(launch.program) : launch.program;
}

// posix_spawn, which starts the program without copying this process: a
// copy costs a millisecond or more, and the suites start thousands of runs.
// 0 when it could not be started.
pid_t spawn(const Launch& launch, const std::string& program) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (!launch.stdin_file.empty())
    posix_spawn_file_actions_addopen(&actions, 0, launch.stdin_file.c_str(), O_RDWR, 0);
  posix_spawn_file_actions_addopen(&actions, 1, launch.stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, launch.stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!launch.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, launch.cwd.c_str());
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | (launch.new_session ? POSIX_SPAWN_SETSID : 0));
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                 c_strings(launch.words).data(), c_strings(launch.environment).data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    errno = failed;
    return 0;
  }
  return pid;
}

// A copy of this process that execs: the way to run code in the child, and
// the way to time a program's peak memory. A posix_spawn child reports this
// process's own peak; a forked one only the pages this process holds at the
// fork, which a caller that measures gives back first.
pid_t fork_and_exec(const Launch& launch) {
  const std::string program = program_path(launch);
  const pid_t pid = fork();
  if (pid < 0) return 0;
  if (pid == 0) {
    if (launch.new_session) setsid();
    exec_child(launch, program);
  }
  return pid;
}

// Types `typed` into the terminal and reads what the program writes there
// until the program has closed it.
void answer_terminal(int terminal, const std::string& typed) {
  for (std::size_t done = 0; done < typed.size();) {
    const ssize_t n = write(terminal, typed.data() + done, typed.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  char ignored[4096];
  for (;;) {
    const ssize_t n = read(terminal, ignored, sizeof ignored);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO once the child's side is closed
  }
}

}  // namespace

std::vector<std::string> environment_with(const std::vector<EnvironmentChange>& changes) {
  std::vector<std::string> environment;
  for (char** setting = environ; *setting != nullptr; ++setting) environment.emplace_back(*setting);
  for (const EnvironmentChange& change : changes) {
    const std::string prefix = change.name + "=";
    std::erase_if(environment, [&](const std::string& setting) { return setting.starts_with(prefix); });
    if (change.value) environment.push_back(prefix + *change.value);
  }
  return environment;
}

pid_t start(const Launch& launch) {
  return launch.in_child ? fork_and_exec(launch) : spawn(launch, program_path(launch));
}

pid_t start_with_terminal(const Launch& launch, int& terminal) {
  const std::string program = program_path(launch);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return 0;
  if (pid == 0) {
    // forkpty made the terminal the controlling one and the program its
    // session leader, whose end hangs the terminal up; a follow-on program
    // it started must outlive that, as it would under a user's shell.
    signal(SIGHUP, SIG_IGN);
    exec_child(launch, program);
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  terminal = master;
  return pid;
}

bool wait_for_exit(pid_t pid, int timeout_ms, int& status, ChildUsage* usage) {
  const long long deadline = now_ms() + timeout_ms;
  for (;;) {
    int raw = 0;
    rusage used{};
    const pid_t done = wait4(pid, &raw, timeout_ms < 0 ? 0 : WNOHANG, &used);
    if (done == pid) {
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
      if (usage != nullptr) {
        usage->peak_kb = used.ru_maxrss;
        usage->cpu_seconds = static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                             static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
      }
      return true;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 || (timeout_ms >= 0 && now_ms() >= deadline)) return false;
    sleep_ms(2);
  }
}

bool run_timed(const Launch& launch, const std::optional<std::string>& typed, ChildResult& result,
               std::string& error) {
  const long long started = now_ns();
  int terminal = -1;
  // On a terminal, the terminal stays the program's standard input: open
  // until the program ends, so that what it writes is read to its end.
  Launch on_terminal = launch;
  on_terminal.stdin_file.clear();
  const pid_t pid = typed ? start_with_terminal(on_terminal, terminal) : fork_and_exec(launch);
  if (pid == 0) {
    error = "cannot start " + launch.program + ": " + std::strerror(errno);
    return false;
  }
  if (terminal >= 0) {
    answer_terminal(terminal, *typed);
    close(terminal);
  }
  if (!wait_for_exit(pid, -1, result.status, &result.usage)) {
    error = "cannot wait for " + launch.program + ": " + std::strerror(errno);
    return false;
  }
  result.seconds = seconds_since(started);
  if (result.status == 126 || result.status == 127) {
    error = "cannot run " + launch.program;
    return false;
  }
  return true;
}

void kill_session(pid_t pid) {
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  int ignored = 0;
  wait_for_exit(pid, 5000, ignored);
}

bool run_helper(const Launch& launch, int timeout_ms, int* status) {
  const pid_t pid = start(launch);
  if (pid == 0) return false;
  int result = -1;
  if (!wait_for_exit(pid, timeout_ms, result)) {
    kill_session(pid);
    return false;
  }
  if (status != nullptr) *status = result;
  return result == 0;
}

std::string find_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

long long now_ms() { return now_ns() / 1000000; }

double seconds_since(long long start_ns) { return static_cast<double>(now_ns() - start_ns) / 1e9; }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace morvex::support
