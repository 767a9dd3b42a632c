// The exit statuses --exit-status gives; without it every run ends with 0,
// as installers calling the program rely on.
#pragma once

namespace morvex {

enum RunStatus : int {
  kRunClean = 0,       // no error line was written
  kRunErrors = 1,      // at least one was
  kRunUsageError = 2,  // the command line was wrong; nothing was changed
  kRunDeclined = 3,    // the user answered No; nothing was changed
  // Nothing of the release was there to remove: no install key, no
  // registration. Its error lines are written as always.
  kRunNotInstalled = 4,
};

}  // namespace morvex
