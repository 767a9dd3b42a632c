// Handing over to the follow-on program while keeping the run's account of
// it: the path found, whether it started, and why not.
#pragma once

#include <functional>

#include "report/run_account.h"

namespace morvex {

// Starts account.follow_on's program; `before_start` runs just before the
// program can replace this process. In a dry run the program found is only
// recorded. A failure is reported as its one line.
void hand_over(RunAccount& account, const std::function<void()>& before_start);

}  // namespace morvex
