#include "undo/undo_writer.h"

#include <cstdio>

#include "diag/diagnostics.h"
#include "files/file_deletion.h"
#include "files/file_moving.h"
#include "registry/reg_file/reg_text.h"
#include "registry/registry.h"
#include "undo/record_text.h"
#include "undo/undo_record.h"

namespace morvex {
namespace {

using regfile::Encoding;

constexpr const char* kLineEnd = "\r\n";

// The value's line(s) as regedit writes them; false when the record cannot
// hold its name or text.
bool value_lines(const RegistryValue& value, std::string& out) {
  RegistryValue recorded;
  return value_for_record(value, recorded) &&
         regfile::format_value(recorded.name, recorded.type, recorded.data, Encoding::utf8,
                               kLineEnd, out);
}

// "name"=- : the value is not there.
bool absent_line(const std::string& name, std::string& out) {
  std::string line;
  if (!value_lines({name, regfile::kTypeDword, std::string(4, '\0')}, line)) return false;
  out += line.substr(0, line.rfind("=dword:")) + "=-" + kLineEnd;
  return true;
}

// Lines made ";>" lines, which reg import skips as comments.
std::string left_by_run(const std::string& lines) {
  std::string out;
  for (std::size_t start = 0; start < lines.size();) {
    std::size_t stop = lines.find(kLineEnd, start);
    stop = stop == std::string::npos ? lines.size() : stop + 2;
    out += ";>" + lines.substr(start, stop - start);
    start = stop;
  }
  return out;
}

std::string value_id(const RegistryChange& change, const std::string& name) {
  return root_key_name(change.root) + ('\\' + folded_name(change.key)) + '\n' + folded_name(name);
}

}  // namespace

bool UndoWriter::open(const std::string& path) {
  path_ = path;
  std::string reason;
  // A record that holds nothing but (part of) its start is one a run killed
  // before its first change: it says nothing and may be made again.
  std::string found;
  if (read_whole_file(path, found, reason) &&
      undo_record_kind(found) == RecordKind::nothing_recorded && std::remove(path.c_str()) == 0)
    sync_folder_of(path);
  if (!file_.create(path, undo_record_start(), reason)) {
    report_error("%s: cannot make the undo record: %s", path.c_str(), reason.c_str());
    return false;
  }
  // Kept before the first change, as everything the record holds.
  if (reg_keep_whole_file(kept_registry_file_path(path), reason)) return true;
  report_error("%s: cannot keep the registry file in %s: %s", path.c_str(),
               kept_registry_file_path(path).c_str(), reason.c_str());
  return false;
}

bool UndoWriter::before_change(const RegistryChange& change) {
  if (change.kind == RegistryChange::Kind::key_created) return true;  // only a restore creates keys
  std::string text = std::string(kLineEnd) + "[" + root_key_name(change.root) + "\\" + change.key +
                     "]" + kLineEnd;
  std::string left;
  bool writable = true;
  const auto found = [&](const std::string& name, const std::optional<RegistryValue>& value) {
    if (!recorded_.insert(value_id(change, name)).second) return;
    writable = writable && (value ? value_lines(*value, text) : absent_line(name, text));
  };
  switch (change.kind) {
    case RegistryChange::Kind::value_set:
      found(change.after->name, change.before);
      writable = writable && value_lines(*change.after, left);
      break;
    case RegistryChange::Kind::value_deleted:
      found(change.before->name, change.before);
      writable = writable && absent_line(change.before->name, left);
      break;
    case RegistryChange::Kind::key_deleted:
      for (const RegistryValue& value : change.values) found(value.name, value);
      for (const RegistryValue& value : change.values)
        writable = writable && absent_line(value.name, left);
      break;
    case RegistryChange::Kind::key_created:
      break;
  }
  text += left_by_run(left) + std::string(kUndoChangeEnd) + kLineEnd;
  if (!writable || !regfile::storable_text(text, Encoding::utf8)) {
    if (!failed_)
      report_error("%s: cannot record a change of %s\\%s: a name or text the record cannot hold",
                   path_.c_str(), root_key_name(change.root), change.key.c_str());
    failed_ = true;
    return false;
  }
  return append(text);
}

void UndoWriter::note_saved() {
  if (!file_.is_open() || noted_saved_) return;
  note_replacing(reg_whole_file_stamp());
}

bool UndoWriter::note_replacing(const std::string& stamp) {
  if (!file_.is_open()) return true;
  noted_saved_ = true;
  return stamp.empty() || append(std::string(kLineEnd) + ";" + std::string(kUndoRegistryFileNote) + stamp +
                                 kLineEnd + std::string(kUndoChangeEnd) + kLineEnd);
}

void UndoWriter::finish() {
  if (!file_.is_open()) return;
  note_saved();  // a run that saved nothing: the files as they stand
  append(std::string(kLineEnd) + std::string(kUndoRunEnd) + kLineEnd);
  file_.close();
}

bool UndoWriter::keep_file(const std::string& windows_path) {
  // Only a file that will move is named: a restore then knows that a kept
  // file missing from FILE.files is one it cannot put back.
  if (!file_deletable(windows_path)) return false;
  if (!append(std::string(kLineEnd) + ";" + std::string(kUndoFileNote) + windows_path + kLineEnd +
              std::string(kUndoChangeEnd) + kLineEnd))
    return false;
  std::string reason;
  return move_file_aside(windows_path, kept_file_path(path_, windows_path), reason);
}

bool UndoWriter::append(const std::string& text) {
  if (failed_) return false;
  std::string reason;
  if (regfile::storable_text(text, Encoding::utf8) &&
      file_.append(regfile::encode_for_file(text, Encoding::utf16le), reason))
    return true;
  if (reason.empty()) reason = "a name the record cannot hold";
  report_error("%s: cannot write the undo record: %s; nothing more is changed", path_.c_str(),
               reason.c_str());
  failed_ = true;
  return false;
}

}  // namespace morvex
