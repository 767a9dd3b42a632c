// The files of drive C: before and after a run, laid out and checked in a
// prefix folder whose drive_c stands for drive C: (a Wine prefix has the
// same layout).
#pragma once

#include <string>
#include <vector>

#include "case_file.h"

namespace morvex::e2e {

// C:\dir\name -> <prefix>/drive_c/dir/name.
std::string host_path(const std::string& prefix, const std::string& windows_path);

// Writes the files (the recorder as a copy of `recorder`); folders that did
// not exist are made and added to `made_folders`, outermost first.
bool lay_files(const std::string& prefix, const std::vector<DriveFile>& files,
               const std::string& recorder, std::vector<std::string>& made_folders,
               std::string& error);

// What differs from the files expected after the run: every file of `after`
// with its content, and every file of `before` not named there gone.
std::vector<std::string> compare_files(const std::string& prefix, const std::vector<DriveFile>& before,
                                       const std::vector<DriveFile>& after,
                                       const std::string& recorder);

// A follow-on program runs on by itself: when the case expects a file that
// the run has to make or change, waits up to 10 s for the files to be as
// expected, looking every `poll_ms`.
void wait_for_follow_on(const Case& c, const std::string& prefix, const std::string& recorder,
                        int poll_ms);

}  // namespace morvex::e2e
