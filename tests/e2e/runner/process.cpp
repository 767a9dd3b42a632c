#include "process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace morvex::e2e {
namespace {

int open_for_child(const std::string& path, int flags) {
  return open(path.c_str(), flags | O_CLOEXEC, 0644);
}

// In the child: never returns.
[[noreturn]] void exec_child(const Launch& launch) {
  const int in = open_for_child(launch.stdin_file, O_RDWR);
  const int out = open_for_child(launch.stdout_file, O_WRONLY | O_CREAT | O_TRUNC);
  const int err = open_for_child(launch.stderr_file, O_WRONLY | O_CREAT | O_TRUNC);
  if (in < 0 || out < 0 || err < 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0) {
    dprintf(2, "runner: cannot enter %s\n", launch.cwd.c_str());
    _exit(126);
  }
  std::vector<char*> argv;
  for (const std::string& word : launch.words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& setting : launch.environment) envp.push_back(const_cast<char*>(setting.c_str()));
  envp.push_back(nullptr);
  signal(SIGPIPE, SIG_DFL);
  execve(launch.program.c_str(), argv.data(), envp.data());
  dprintf(2, "runner: cannot run %s\n", launch.program.c_str());
  _exit(127);
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
  const pid_t pid = fork();
  if (pid < 0) return 0;
  if (pid == 0) {
    if (launch.new_session) setsid();
    exec_child(launch);
  }
  return pid;
}

pid_t start_with_terminal(const Launch& launch, int& terminal) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return 0;
  if (pid == 0) {
    // forkpty made the terminal the controlling one and the program its
    // session leader, whose end hangs the terminal up; a follow-on program
    // it started must outlive that, as it would under a user's shell.
    signal(SIGHUP, SIG_IGN);
    exec_child(launch);
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  terminal = master;
  return pid;
}

bool wait_for_exit(pid_t pid, int timeout_ms, int& status) {
  const long long deadline = now_ms() + timeout_ms;
  for (;;) {
    int raw = 0;
    const pid_t done = waitpid(pid, &raw, WNOHANG);
    if (done == pid) {
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
      return true;
    }
    if (done < 0 || now_ms() >= deadline) return false;
    sleep_ms(2);
  }
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

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
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

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace morvex::e2e
