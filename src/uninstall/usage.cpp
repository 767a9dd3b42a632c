#include "uninstall/usage.h"

#include <cstdio>

#include "diag/standard_output.h"

namespace morvex {

bool answer_information_request(const std::string& word) {
  if (word == "--version") {
    std::printf("morvex-uninstall %s\n", MORVEX_VERSION);
    finish_standard_output();
    return true;
  }
  if (word == "--help" || word == "-h") {
    std::printf("Usage: %s\n", kUsageLine);
    std::printf(
        "\n"
        "Removes one release of the Morvex C/C++ Compiler: takes it out of the compiler\n"
        "registrations of Developer Studio 4.x and 5.0, puts an IDE's own settings back\n"
        "when no release is left there, removes release 2.4's files by their shared-file\n"
        "counts, deletes the release's keys, then starts FOLLOW_ON_PROGRAM (with ARGUMENT).\n"
        "Failures are reported one per line on standard error; the exit status is 0\n"
        "unless --exit-status or --check says otherwise.\n"
        "A run stops only for a wrong option, a prefix folder that is missing or holds\n"
        "no registry, a Windows disk whose hives it may not use, an output that would\n"
        "overwrite a file the run uses, or a report or undo record it cannot write.\n"
        "Unless the release was integrated with no IDE, the run first asks whether\n"
        "Developer Studio is closed (a box on Windows, y or n on the terminal elsewhere,\n"
        "Yes when neither can be asked), and No ends it with nothing changed.\n"
        "\n"
        "Options (only before VERSION_KEY):\n"
        "  --dry-run       show what the run would change, on standard output, and change\n"
        "                  nothing: no question, no follow-on program. Its error lines are\n"
        "                  the real run's, except that a write or a deletion that could\n"
        "                  fail only when made (a file in use, a failing disk) is taken\n"
        "                  as succeeding.\n"
        "  --report FILE   write an account of the run to FILE as JSON: its changes, files,\n"
        "                  error lines and follow-on program. FILE is written before\n"
        "                  anything changes; if it cannot be, the run stops there.\n"
        "                  FILE - writes it to standard output, once: before the\n"
        "                  follow-on program starts, or at the end.\n"
        "  --undo FILE     before each change, record in FILE (a .reg file) how to put it\n"
        "                  back; product files are moved into FILE.files instead of deleted.\n"
        "  --restore FILE  put back everything an uninstall recorded in FILE.\n"
        "  --windows-disk DIR\n"
        "                  (other hosts) use the Windows whose system drive C: is mounted\n"
        "                  at DIR, its registry in the hives SOFTWARE and NTUSER.DAT,\n"
        "                  instead of a prefix folder; never a running Windows.\n"
        "  --user NAME     with --windows-disk: the profile whose NTUSER.DAT is\n"
        "                  HKEY_CURRENT_USER; needed only when several hold the product.\n"
        "  --yes           ask nothing and go on as if answered Yes (for silent installs).\n"
        "  --exit-status   exit with 0 when no error line was written, 1 when one was,\n"
        "                  2 for a wrong command line, 3 when the user answered No,\n"
        "                  4 when the release was not installed (no install key and\n"
        "                  no registration: nothing was there to remove).\n"
        "  --list          show what is installed: releases, registrations, product\n"
        "                  files and IDE settings; with --report FILE as JSON too.\n"
        "  --check         show what a whole installation or removal would not leave,\n"
        "                  each with what mends it; exit 0 when nothing was found and\n"
        "                  everything was read, 1 otherwise (also for a missing prefix\n"
        "                  or a refused command line). --list and --check change\n"
        "                  nothing.\n"
        "  -h, --help      show this help and exit\n"
        "  --version       show the version and exit\n"
        "\n"
        "Outside Windows the registry is registry.reg in $MORVEX_PREFIX (default\n"
        "~/.morvex), with drive C: in its drive_c folder, or, in a Wine prefix, Wine's\n"
        "own user.reg and system.reg (Wine stopped), or a Windows disk's hives.\n");
    finish_standard_output();
    return true;
  }
  return false;
}

}  // namespace morvex
