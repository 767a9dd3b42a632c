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

// Whether `after` expects a file that the run has to make or change (a
// follow-on program runs on by itself, so these are waited for).
bool expects_new_content(const std::vector<DriveFile>& before, const std::vector<DriveFile>& after);

}  // namespace morvex::e2e
