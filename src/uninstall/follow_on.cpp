#include "uninstall/follow_on.h"

#include "launch/launch.h"
#include "launch/launch_host.h"

namespace morvex {
namespace {

// The platform's launch host, seen through the run's account: the search is
// the real one, only the start is recorded (and, in a dry run, not made).
class AccountedLaunchHost final : public LaunchHost {
 public:
  AccountedLaunchHost(LaunchHost& system, RunAccount& account,
                      const std::function<void()>& before_start)
      : system_(system), account_(account), before_start_(before_start) {}

  WindowsError test_existence(const std::string& path) override {
    return system_.test_existence(path);
  }

  WindowsError start(const std::string& path, const std::string& command_line) override {
    FollowOnAccount& follow_on = account_.follow_on;
    follow_on.path = path;
    if (account_.dry_run) {
      const WindowsError refused = system_.check_start(path);
      if (refused == kNoWindowsError) follow_on.state = FollowOnAccount::State::would_start;
      return refused;
    }
    follow_on.state = FollowOnAccount::State::started;
    before_start_();
    return system_.start(path, command_line);
  }

  std::optional<std::string> read_search_path() override { return system_.read_search_path(); }
  char search_path_separator() const override { return system_.search_path_separator(); }
  bool is_lead_byte(unsigned char byte) const override { return system_.is_lead_byte(byte); }
  char path_separator() const override { return system_.path_separator(); }
  bool tries_name_as_written() const override { return system_.tries_name_as_written(); }
  bool may_run(const std::string& path) override { return system_.may_run(path); }

 private:
  LaunchHost& system_;
  RunAccount& account_;
  const std::function<void()>& before_start_;
};

}  // namespace

void hand_over(RunAccount& account, const std::function<void()>& before_start) {
  FollowOnAccount& follow_on = account.follow_on;
  AccountedLaunchHost host(system_launch_host(), account, before_start);
  const LaunchFailure failure = launch_follow_on(host, follow_on.program, follow_on.arguments);
  if (failure == kLaunchStarted) return;
  follow_on.state = FollowOnAccount::State::failed;
  follow_on.failure = launch_failure_line(failure, follow_on.program);
  report_launch_failure(failure, follow_on.program);
}

}  // namespace morvex
