// Writing a changed registry file: the old file is copied stretch by
// stretch into a temporary file beside it, with only the edited byte ranges
// written anew, and the copy then replaces the file in one rename.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace morvex::regfile {

// Edits at one offset of the old file are written in this order, then in
// the order they were planned.
enum class SaveOrder {
  missing_line_end,  // ends a last line that had none, before anything added after it
  added_values,      // new value lines after a key's last value
  added_sections,    // sections for keys that had none, parents first
  old_lines,         // removed or rewritten lines of the old file
};

// Bytes [begin, end) of the old file are replaced by `text`; begin == end
// inserts.
struct Edit {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  SaveOrder place = SaveOrder::old_lines;
  std::uint32_t order = 0;
  std::string text;
};

// The registry in the prefix folder, and its temporary copy's name: a run
// holding the lock may truncate or remove one that a killed run left behind.
inline constexpr const char* kFileName = "registry.reg";
inline constexpr const char* kSavingName = "registry.reg.saving";

// Writes the edited copy of `source` as `saving_name` in the folder
// `dir_fd`, flushes it to disk with the owner and permission bits of
// `original`, renames it over `name` and flushes the folder. On failure,
// false with the system's reason; `name` is then as it was and no temporary
// file is left.
bool save_edited_copy(int dir_fd, const std::string& name, int source_fd,
                      const struct stat& original, std::vector<Edit> edits, std::string& reason,
                      const char* saving_name = kSavingName);
// Its two halves, for a store that replaces several files and notes what
// they will be in between: the flushed copy, which no one sees yet (gone on
// failure), then its rename over `name` and the folder's flush.
bool write_edited_copy(int dir_fd, int source_fd, const struct stat& original, std::vector<Edit> edits,
                       std::string& reason, const char* saving_name);
bool rename_into_place(int dir_fd, const char* saving_name, const std::string& name, std::string& reason);

// Writes `source` (of `status`'s size, owner and permission bits) as
// `path`, the way a save writes registry.reg: a copy flushed under
// `saving_name` in the same folder, renamed into place, the folder flushed.
bool copy_durably(int source_fd, const struct stat& status, const std::string& path,
                  std::string& reason, const char* saving_name = kSavingName);

// What identifies a file in its place (device, inode, size, time), so that
// a restore knows nothing else changed it since the run.
std::string stamp_of(const struct stat& status);

// A store of several files stamps them as "NAME STAMP; NAME STAMP" ("-" for
// a file that is not there), `files` giving each name with its path. Each
// must be as `stamp` names it, or have the bytes of its copy under its name
// in `copy_folder`.
struct NamedFile {
  std::string name;
  std::string path;
};
std::string stamp_of_files(const std::vector<NamedFile>& files);
bool files_as_stamped_or_kept(const std::string& stamp, const std::vector<NamedFile>& files,
                              const std::string& copy_folder);
// Whether two files hold the same bytes; false when either cannot be read.
bool same_bytes(const std::string& a, const std::string& b);

// Makes the folder unless it exists, its name flushed into its parent
// before anything is put in it.
bool make_folder_durably(const std::string& folder, std::string& reason);

}  // namespace morvex::regfile
