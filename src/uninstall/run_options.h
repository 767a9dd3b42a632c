// The options a person may put before the version key. An installer's
// command line has none, so its words keep their places.
#pragma once

#include <string>
#include <vector>

namespace morvex {

struct RunOptions {
  bool dry_run = false;
  // Asks nothing and goes on as if answered Yes, for silent installs.
  bool assume_yes = false;
  // The exit status tells how the run went (see RunStatus) instead of 0.
  bool exit_status = false;
  // Read the installation and tell what is there, or what is half there.
  bool list = false;
  bool check = false;
  std::string report_path;
  std::string undo_path;
  std::string restore_path;
  // Other hosts: a mounted Windows system drive whose hives are the
  // registry, and the profile whose NTUSER.DAT is HKEY_CURRENT_USER.
  std::string windows_disk;
  std::string user;
  // Word 0, then the words from the version key on, as an installer gives them.
  std::vector<std::string> words;
};

// False when the run ends here: --help or --version was answered, or a wrong
// option was reported (one line, nothing changed).
bool read_run_options(const std::vector<std::string>& words, RunOptions& options);

}  // namespace morvex
