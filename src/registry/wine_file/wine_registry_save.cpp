// Saving Wine's files: each changed file is copied with only the changed
// lines written anew, and replaces the old one in one rename, as
// registry.reg is saved.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/wine_file/wine_reg_writer.h"
#include "registry/wine_file/wine_registry.h"
#include "registry/wine_file/wineserver_check.h"

namespace morvex::winefile {
namespace {

using regfile::Edit;
using regfile::SaveOrder;

std::string saving_name(const char* name) { return std::string(name) + ".saving"; }

}  // namespace

bool WineRegistry::plan(std::size_t root, std::vector<Edit>& edits) const {
  for (std::uint32_t index = regfile::kRootLocalMachine + 1; index < keys_.size(); ++index)
    if (keys_[index].root == root && !plan_key(keys_[index], index, edits)) return false;
  return true;
}

bool WineRegistry::plan_key(const Key& key, std::uint32_t index, std::vector<Edit>& edits) const {
  const auto removed = [&](Span span) { edits.push_back({span.begin, span.end, SaveOrder::old_lines, 0, ""}); };
  if (key.deleted) {  // its metadata lines go with it
    for (const Block& block : key.blocks) removed(block.whole);
    return true;
  }
  if (!key.touched) return true;
  std::string text;
  // A key with values or without subkeys has lines of its own; one that
  // holds only subkeys is implied by theirs, as Wine writes it.
  if (key.blocks.empty()) {
    if (key.values.empty() && !key.subkeys.empty()) return true;
    text = "\n";
    if (!key_lines(path_of(index), key.modified, text)) return false;
    for (const Value& value : key.values)
      if (!value_lines(value.now, text)) return false;
    const std::size_t end = file_of(key.root).text.size();
    edits.push_back({end, end, SaveOrder::added_sections, index, std::move(text)});
    return true;
  }
  if (!key_lines(path_of(index), key.modified, text)) return false;
  edits.push_back({key.blocks.front().key_line.begin, key.blocks.front().key_line.end,
                   SaveOrder::old_lines, 0, std::move(text)});
  for (const Block& block : key.blocks)
    if (block.time_line.end > block.time_line.begin) removed(block.time_line);
  for (const Span& span : key.dropped) removed(span);
  std::uint32_t order = 0;
  for (const Value& value : key.values) {
    if (!value.changed) continue;
    text.clear();
    if (!value_lines(value.now, text)) return false;
    if (value.lines.empty()) {
      const std::size_t at = key.blocks.back().append_at;
      edits.push_back({at, at, SaveOrder::added_values, order++, std::move(text)});
      continue;
    }
    for (std::size_t i = 0; i + 1 < value.lines.size(); ++i) removed(value.lines[i]);
    edits.push_back({value.lines.back().begin, value.lines.back().end, SaveOrder::old_lines, 0,
                     std::move(text)});
  }
  return true;
}

bool WineRegistry::commit(const BeforeReplace& before_replace) {
  if (state_ != State::ready) return true;
  std::vector<Edit> machine_edits, user_edits;
  if (!plan(regfile::kRootLocalMachine, machine_edits) || !plan(regfile::kRootCurrentUser, user_edits))
    return false;
  if (machine_edits.empty() && user_edits.empty()) return true;
  // A server started since the run began would write its registry back
  // over the saved files when it ends.
  if (report_wine_running(folder_)) return false;
  // Both new files first, then what they will be noted, then the renames:
  // a kill between the two leaves files a record names either way.
  std::vector<File*> written;
  std::vector<regfile::NamedFile> will_be;
  const auto forget_written = [&] {
    for (File* file : written) unlinkat(dir_fd_, saving_name(file->name).c_str(), 0);
    unload();
    return false;
  };
  for (auto [file, edits] : {std::pair{&user_, &user_edits}, std::pair{&machine_, &machine_edits}}) {
    const std::string saving = saving_name(file->name);
    will_be.push_back({file->name, folder_ + "/" + (edits->empty() ? file->name : saving)});
    if (edits->empty()) continue;
    std::string reason = "Wine has not made this file; start Wine once on the prefix";
    if (file->fd < 0 ||
        !regfile::write_edited_copy(dir_fd_, file->fd, file->status, std::move(*edits), reason, saving.c_str())) {
      report_error("%s/%s: cannot save: %s", folder_.c_str(), file->name, reason.c_str());
      return forget_written();
    }
    written.push_back(file);
  }
  if (!before_replace(regfile::stamp_of_files(will_be))) return forget_written();
  for (File* file : written) {
    std::string reason;
    if (!regfile::rename_into_place(dir_fd_, saving_name(file->name).c_str(), file->name, reason)) {
      report_error("%s/%s: cannot save: %s", folder_.c_str(), file->name, reason.c_str());
      return forget_written();
    }
  }
  unload();  // what was read is gone: the next use reads the files anew
  return true;
}

bool WineRegistry::could_save() {
  if (state_ != State::ready) return true;
  for (std::size_t root : {regfile::kRootLocalMachine, regfile::kRootCurrentUser}) {
    std::vector<Edit> edits;
    if (!plan(root, edits)) return false;
    if (edits.empty()) continue;
    const File& file = file_of(root);
    const std::string path = folder_ + "/" + file.name;
    struct stat saving {};
    const char* reason = nullptr;
    if (file.fd < 0)
      reason = "Wine has not made this file; start Wine once on the prefix";
    else if (faccessat(dir_fd_, ".", W_OK | X_OK, AT_EACCESS) != 0)
      reason = std::strerror(errno);
    else if (fstatat(dir_fd_, saving_name(file.name).c_str(), &saving, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISDIR(saving.st_mode))
      reason = std::strerror(EISDIR);
    if (reason != nullptr) {
      report_error("%s: cannot save: %s", path.c_str(), reason);
      return false;
    }
  }
  return true;
}

}  // namespace morvex::winefile
