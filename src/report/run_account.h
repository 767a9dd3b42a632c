// What a run tells about itself besides its changes: the report's and the
// dry-run listing's account of how it went.
#pragma once

#include <string>
#include <vector>

namespace morvex {

struct FollowOnAccount {
  enum class State { not_named, not_reached, would_start, started, failed };
  State state = State::not_named;
  std::string program;
  std::vector<std::string> arguments;  // the program as given, then its argument
  std::string path;                    // the candidate found, once found
  std::string failure;                 // the line that said why it did not start
};

struct RunAccount {
  std::vector<std::string> words;  // the whole command line, word 0 first
  std::string version_key;
  bool dry_run = false;
  // "yes", "yes (--yes)", "no", "no terminal", "box not shown", or "not asked".
  std::string confirmation = "not asked";
  bool finished = false;
  // What --exit-status returns for the run so far, given or not.
  int exit_status = 0;
  // Whether the registry took the run's changes: unknown until the save (a
  // dry run's is what the save would do). A save that failed made none of
  // the changes and removed no file.
  enum class Saved { not_yet, saved, not_saved };
  Saved saved = Saved::not_yet;
  FollowOnAccount follow_on;
};

}  // namespace morvex
