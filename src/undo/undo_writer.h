// Writing the undo record as the run goes (see undo_record.h).
#pragma once

#include <set>
#include <string>

#include "registry/change_journal.h"
#include "files/durable_file.h"

namespace morvex {

class UndoWriter {
 public:
  // Makes the record, which must not exist yet. False after one error line:
  // the run must then stop before its first change.
  bool open(const std::string& path);

  // The change journal's hook: appends what the change replaces and flushes
  // it. False keeps the change from being made; after one failure every
  // later change is refused too, since the record may end in a torn line.
  bool before_change(const RegistryChange& change);

  // Notes what the registry's files are (or, with `stamp`, are about to be:
  // false when that note could not be written), so that a restore that finds
  // these very files gives back the kept ones whole.
  void note_saved();
  bool note_replacing(const std::string& stamp);

  // Writes the end line: the run is over, and the record holds all it did.
  void finish();

  // Records the file, then moves it into the record's folder; true when it
  // went.
  bool keep_file(const std::string& windows_path);

 private:
  bool append(const std::string& text);

  std::string path_;
  DurableAppender file_;
  bool failed_ = false;
  bool noted_saved_ = false;
  std::set<std::string> recorded_;  // values whose state before the run is written
};

}  // namespace morvex
