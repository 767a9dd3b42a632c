// Files the run writes beside its registry changes (its report, its undo
// record), made durable so that what they say survives the machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

// Replaces the file in one step with `bytes`, flushed to disk first: a
// reader finds the old file or the whole new one. On failure `reason` says
// why, and the old file stays as it was.
bool replace_file_durably(const std::string& path, std::string_view bytes, std::string& reason);

// The whole file; false with the reason when it cannot be read, a folder
// included ("a folder, not a file").
bool read_whole_file(const std::string& path, std::string& bytes, std::string& reason);

// Makes the entries of the path's folder durable: a rename into it or out of
// it survives the machine only once the folder does.
void sync_folder_of(const std::string& path);

// A file that grows a piece at a time, each piece on disk before append
// returns: a machine that dies keeps every piece appended so far.
class DurableAppender {
 public:
  DurableAppender() = default;
  ~DurableAppender() { close(); }
  DurableAppender(const DurableAppender&) = delete;
  DurableAppender& operator=(const DurableAppender&) = delete;

  // Makes a new file holding `bytes`, with its name on disk too. An existing
  // file is never replaced: it may be the record of an earlier run. On
  // failure no file is left.
  bool create(const std::string& path, std::string_view bytes, std::string& reason);
  bool append(std::string_view bytes, std::string& reason);
  void close();
  bool is_open() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace morvex
