// Planning the save: the run's changes as edits of the loaded file, then written.
#include "registry/reg_file/reg_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "diag/diagnostics.h"

namespace morvex::regfile {

// One file: what it became is noted once it is in place (reg_commit's hook).
bool Store::commit(const BeforeReplace& /*before_replace*/) {
  if (state_ != State::ready || file_fd_ < 0) return true;
  std::vector<Edit> edits;
  if (!plan(edits)) return false;
  if (edits.empty()) return true;
  std::string reason;
  const int save_dir_fd = save_folder_.empty()
                              ? dir_fd_
                              : open(save_folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool saved = save_dir_fd >= 0 && save_edited_copy(save_dir_fd, save_name_, file_fd_,
                                                          file_status_, std::move(edits), reason);
  if (save_dir_fd < 0) reason = std::strerror(errno);
  if (save_dir_fd >= 0 && save_dir_fd != dir_fd_) close(save_dir_fd);
  if (!saved) {
    report_error("%s: cannot save: %s", path_.c_str(), reason.c_str());
    return false;
  }
  // Offsets now point into the old file: read the new one at the next use.
  forget_file();
  state_ = State::saved;
  return true;
}

bool Store::could_save() {
  if (state_ != State::ready || file_fd_ < 0) return true;
  // The save writes a new file beside the old one and renames it over.
  const int save_dir_fd = save_folder_.empty()
                              ? dir_fd_
                              : open(save_folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat saving {};
  bool writable = save_dir_fd >= 0 && faccessat(save_dir_fd, ".", W_OK | X_OK, AT_EACCESS) == 0;
  if (writable && fstatat(save_dir_fd, kSavingName, &saving, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(saving.st_mode)) {
    writable = false;
    errno = EISDIR;
  }
  const int error = errno;
  if (save_dir_fd >= 0 && save_dir_fd != dir_fd_) close(save_dir_fd);
  if (!writable) report_error("%s: cannot save: %s", path_.c_str(), std::strerror(error));
  return writable;
}

bool Store::read_name(std::uint32_t key, std::string& name) {
  const std::string_view bytes = index_.name(key);
  name = encoding_ == Encoding::utf16le ? utf8_of_utf16le(bytes) : std::string(bytes);
  return true;
}

bool Store::key_path(std::uint32_t key, std::string& path) {
  std::vector<std::string> names;
  for (; index_[key].parent != kNoKey; key = index_[key].parent)
    if (!read_name(key, names.emplace_back())) return false;
  path = root_name(key);
  for (auto name = names.rbegin(); name != names.rend(); ++name) path += '\\' + *name;
  return true;
}

// A deleted section goes from its key line to its last value line and the
// blank lines after it; comment lines after its last value stay, with all
// that follows them, since they stand above the next key's line.
template <class Unit>
bool Store::deleted_section_tail(std::uint64_t begin, std::uint64_t& end) {
  std::vector<Unit> units((end - begin) / sizeof(Unit));
  if (!read_at(units.data(), units.size() * sizeof(Unit), begin)) {
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return false;
  }
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t cut = kNone;  // the first comment line after the last value line
  const auto line_break = [](Unit unit) { return unit == Unit('\n') || unit == Unit('\r'); };
  for (std::size_t at = 0; at < units.size();) {
    std::size_t first = at;
    while (first < units.size() && (units[first] == Unit(' ') || units[first] == Unit('\t'))) ++first;
    if (first < units.size() && units[first] == Unit(';')) {
      if (cut == kNone) cut = at;
    } else if (first < units.size() && !line_break(units[first])) {
      cut = kNone;
    }
    at = first;
    while (at < units.size() && !line_break(units[at])) ++at;
    if (at < units.size() && units[at] == Unit('\r')) ++at;
    if (at < units.size() && units[at] == Unit('\n')) ++at;
  }
  if (cut == kNone) cut = units.size();
  end = begin + cut * sizeof(Unit);
  return true;
}

bool Store::deleted_section_end(std::uint64_t begin, std::uint64_t& end) {
  return encoding_ == Encoding::utf16le ? deleted_section_tail<char16_t>(begin, end)
                                        : deleted_section_tail<unsigned char>(begin, end);
}

// The changes as edits of the loaded file:
// - a deleted key loses its sections; its parent, when nothing names or
//   implies it any longer, gets an empty section where the first of them was;
// - a changed value's last occurrence is rewritten, a deleted value loses
//   every occurrence, a new one follows the key's last value line;
// - a key without a section of its own that gets values gets a section just
//   before the first section that named it, ahead of its subkeys;
// - a key made gets a section at the end, parents before subkeys.
bool Store::plan(std::vector<Edit>& edits) {
  std::uint32_t order = 0;
  std::unordered_map<std::uint32_t, std::uint64_t> lost_subkeys_at;  // parent -> first place
  for (const std::uint32_t key : deleted_) {
    const std::vector<std::uint32_t> sections = index_.sections_of(key);
    std::uint64_t place = file_size_;
    if (!sections.empty()) {
      place = index_.section_begin(sections.front());
    } else if (const auto lost = lost_subkeys_at.find(key); lost != lost_subkeys_at.end()) {
      place = lost->second;  // it existed through subkeys deleted before it
    }
    for (const std::uint32_t section : sections) {
      const std::uint64_t begin = index_.section_begin(section);
      std::uint64_t end = index_.section_end(section, file_size_);
      if (!deleted_section_end(begin, end)) return false;
      edits.push_back({begin, end, SaveOrder::old_lines, order++, {}});
    }
    const auto [at, added] = lost_subkeys_at.try_emplace(index_[key].parent, place);
    if (!added) at->second = std::min(at->second, place);
  }

  struct NewSection {
    std::uint64_t at;
    std::size_t depth;
    std::uint32_t key;
  };
  std::vector<NewSection> new_sections;
  const auto add_section = [&](std::uint32_t key, std::uint64_t at) {
    new_sections.push_back({at, depth_of(key), key});
  };
  for (const auto& [key, at] : lost_subkeys_at) {
    const IndexedKey& entry = index_[key];
    if (!entry.deleted && entry.parent != kNoKey && entry.first_section == kNoSection &&
        entry.subkeys == 0)
      add_section(key, at);
  }

  for (const std::uint32_t key : created_)
    if (!index_[key].deleted) add_section(key, file_size_);

  std::vector<std::uint32_t> touched;
  for (const auto& [key, values] : values_) touched.push_back(key);
  std::sort(touched.begin(), touched.end());
  for (const std::uint32_t key : touched) {
    const IndexedKey& entry = index_[key];
    KeyValues& values = values_[key];
    if (entry.deleted) continue;
    if (entry.first_section == kNoSection) {
      const bool has_values = std::any_of(values.values.begin(), values.values.end(),
                                          [](const Value& value) { return value.present; });
      const bool planned = std::any_of(new_sections.begin(), new_sections.end(),
                                       [&](const NewSection& s) { return s.key == key; });
      if (has_values && !planned)
        add_section(key, entry.first_seen == kNoSection ? file_size_
                                                        : index_.section_begin(entry.first_seen));
      continue;
    }
    for (const Value& value : values.values) {
      if (value.stored && value.present && value.now.type == value.stored_type &&
          value.now.data == value.stored_data)
        continue;
      std::string text;
      if (value.present)
        format_value(value.now.name, value.now.type, value.now.data, encoding_, line_end_, text);
      if (value.stored && value.present) {
        edits.push_back({value.lines.back().begin, value.lines.back().end, SaveOrder::old_lines,
                         order++, text});
      } else if (value.stored) {
        for (const Value::Lines& lines : value.lines)
          edits.push_back({lines.begin, lines.end, SaveOrder::old_lines, order++, {}});
      } else if (value.present) {
        edits.push_back({values.append_at, values.append_at, SaveOrder::added_values, order++,
                         text});
      }
    }
  }

  // Parents before subkeys where two sections are written at one place.
  std::sort(new_sections.begin(), new_sections.end(), [](const NewSection& a, const NewSection& b) {
    return a.at != b.at ? a.at < b.at : a.depth < b.depth;
  });
  for (const NewSection& section : new_sections) {
    std::string path;
    if (!key_path(section.key, path)) return false;
    std::string text = encode_for_file("[" + path + "]" + line_end_, encoding_);
    if (const auto found = values_.find(section.key); found != values_.end())
      for (const Value& value : found->second.values)
        if (value.present)
          format_value(value.now.name, value.now.type, value.now.data, encoding_, line_end_, text);
    text += encode_for_file(line_end_, encoding_);
    edits.push_back({section.at, section.at, SaveOrder::added_sections, order++, std::move(text)});
  }

  // Text added after a last line without a line end starts on a line of its own.
  const bool adds_at_end = std::any_of(edits.begin(), edits.end(), [&](const Edit& edit) {
    return edit.begin == file_size_ && edit.end == file_size_;
  });
  // A rewritten last line brings its own line end; a removed one leaves the
  // line before it, which has one.
  const bool replaces_end = std::any_of(edits.begin(), edits.end(), [&](const Edit& edit) {
    return edit.begin < file_size_ && edit.end == file_size_;
  });
  if (!ends_with_line_end_ && adds_at_end && !replaces_end)
    edits.push_back({file_size_, file_size_, SaveOrder::missing_line_end, order++,
                     encode_for_file(line_end_, encoding_)});
  return true;
}

}  // namespace morvex::regfile
