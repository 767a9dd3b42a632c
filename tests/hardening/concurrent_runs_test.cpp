// Several runs at once on one prefix, each removing its own release: the
// runs take turns, so every change of every run is in the file afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

#include "program_run.h"

namespace morvex::hardening {
namespace {

std::string waiting_line(const std::string& prefix) {
  return "morvex-uninstall: error: " + prefix + ": another run is using this prefix; waiting for it to end\n";
}

TEST(ConcurrentRuns, EveryChangeOfEveryRunIsKept) {
  Sandbox sandbox("concurrent");
  const std::vector<std::string> releases = {"30", "31", "32", "33", "34", "35"};
  // Big enough that each run takes a while and the runs overlap.
  const std::string bytes = product_registry(releases, 4u << 20);
  const std::string prefix = sandbox.make_prefix("shared");
  write_file(prefix + "/registry.reg", bytes);
  RegistryView before;
  std::string error;
  ASSERT_TRUE(add_reg_text(bytes, before, error)) << error;

  std::vector<pid_t> runs;
  for (const std::string& release : releases) {
    runs.push_back(start_program({prefix, {release}, prefix + "." + release + ".stderr", {}}));
    ASSERT_NE(runs.back(), 0);
  }
  const long long started = now_ns();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    RunOutcome outcome;
    EXPECT_TRUE(wait_program(runs[i], 60, outcome)) << "release " << releases[i];
    EXPECT_EQ(outcome.exit_status, 0) << "release " << releases[i];
    // A run kept waiting past a second says so, and only that.
    const std::string said = read_file(prefix + "." + releases[i] + ".stderr");
    EXPECT_TRUE(said.empty() || said == waiting_line(prefix)) << "release " << releases[i] << ": " << said;
  }
  std::printf("[ note     ] %zu runs at once ended within %.0f ms\n", runs.size(), seconds_since(started) * 1e3);

  RegistryView after;
  ASSERT_TRUE(add_reg_text(read_file(prefix + "/registry.reg"), after, error)) << error;
  for (const int generation : {4, 5}) {
    const std::string key = kUser + generation_key(generation);
    EXPECT_EQ(text_value(after, key, "Compiler_List"), "40") << "generation " << generation;
    EXPECT_EQ(text_value(after, key, "Compiler"), "40") << "generation " << generation;
    for (const std::string& release : releases)
      EXPECT_FALSE(find_key(after, key + "\\" + release)) << "generation " << generation << " release " << release;
    EXPECT_TRUE(find_key(after, key + "\\40"));
  }
  for (const std::string& release : releases)
    EXPECT_FALSE(find_key(after, kUser + install_key(release))) << "install key of " << release;
  EXPECT_TRUE(find_key(after, kUser + install_key("40")));
  // Each release took three keys with it: its install key and its two registrations.
  EXPECT_EQ(after.size() + 3 * releases.size(), before.size());
  EXPECT_FALSE(exists(prefix + "/registry.reg.saving"));
}

// A run kept waiting by another says why after a second, once, and then
// does its work; one that gets the lock at once says nothing.
TEST(ConcurrentRuns, ARunKeptWaitingSaysSoOnceAndGoesOn) {
  Sandbox sandbox("lock-wait");
  const std::string bytes = product_registry({"30"}, 0);
  for (const double held : {0.0, 1.6}) {
    const std::string prefix = sandbox.make_prefix("held" + std::to_string(static_cast<int>(held * 10)));
    write_file(prefix + "/registry.reg", bytes);
    const int lock = open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    if (held > 0) {
      ASSERT_EQ(flock(lock, LOCK_EX), 0);
    }
    const pid_t run = start_program({prefix, {"30"}, prefix + ".stderr", {}});
    ASSERT_NE(run, 0);
    usleep(static_cast<useconds_t>(held * 1e6));
    close(lock);
    RunOutcome outcome;
    EXPECT_TRUE(wait_program(run, 30, outcome));
    EXPECT_EQ(read_file(prefix + ".stderr"), held > 0 ? waiting_line(prefix) : "") << held;
    EXPECT_NE(read_file(prefix + "/registry.reg"), bytes) << held << ": nothing saved";
  }
}

}  // namespace
}  // namespace morvex::hardening
