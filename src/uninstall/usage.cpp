#include "uninstall/usage.h"

#include <cstdio>

#ifndef MORVEX_VERSION
#define MORVEX_VERSION "unknown"
#endif

namespace morvex {

bool answer_information_request(const std::string& word) {
  if (word == "--version") {
    std::printf("morvex-uninstall %s\n", MORVEX_VERSION);
    return true;
  }
  if (word == "--help") {
    std::printf(
        "Usage: %s\n"
        "\n"
        "Removes one release of the Morvex C/C++ Compiler: takes it out of the compiler\n"
        "registrations of Developer Studio 4.x and 5.0, puts an IDE's own settings back\n"
        "when no release is left there, removes release 2.4's files by their shared-file\n"
        "counts, deletes the release's keys, then starts FOLLOW_ON_PROGRAM (with ARGUMENT).\n"
        "Failures are reported one a line on standard error; the exit status is always 0.\n"
        "\n"
        "Outside Windows the registry is registry.reg in $MORVEX_PREFIX (default\n"
        "~/.morvex), with drive C: in its drive_c folder.\n",
        kUsageLine);
    return true;
  }
  return false;
}

}  // namespace morvex
