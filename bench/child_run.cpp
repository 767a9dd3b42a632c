#include "child_run.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace morvex::bench {
namespace {

// In the child: streams, folder and environment, then the program.
[[noreturn]] void become(const ChildRun& run, bool has_terminal) {
  if (!has_terminal) {
    setsid();  // no controlling terminal: the program cannot ask
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
  }
  const int out = open("/dev/null", O_WRONLY);
  const int err = open(run.stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
  if (!run.folder.empty() && chdir(run.folder.c_str()) != 0) _exit(126);
  for (const std::string& setting : run.environment) putenv(const_cast<char*>(setting.c_str()));
  std::vector<char*> argv;
  for (const std::string& word : run.words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(run.program.c_str(), argv.data());
  _exit(127);
}

// Types the answer and takes whatever the program writes to its terminal,
// until the program has closed it.
void talk(int terminal, const std::string& typed) {
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

bool run_child(const ChildRun& run, ChildResult& result, std::string& error) {
  const auto start = std::chrono::steady_clock::now();
  int terminal = -1;
  const pid_t pid = run.typed ? forkpty(&terminal, nullptr, nullptr, nullptr) : fork();
  if (pid < 0) {
    error = std::string("cannot start ") + run.program + ": " + std::strerror(errno);
    return false;
  }
  if (pid == 0) become(run, run.typed.has_value());
  if (terminal >= 0) {
    talk(terminal, *run.typed);
    close(terminal);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno == EINTR) continue;
    error = std::string("cannot wait for ") + run.program + ": " + std::strerror(errno);
    return false;
  }
  const auto end = std::chrono::steady_clock::now();
  result.seconds = std::chrono::duration<double>(end - start).count();
  result.peak_kb = usage.ru_maxrss;
  result.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  if (result.status == 126 || result.status == 127) {
    error = "cannot run " + run.program;
    return false;
  }
  return true;
}

}  // namespace morvex::bench
