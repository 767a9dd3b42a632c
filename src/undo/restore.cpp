#include "undo/restore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "diag/diagnostics.h"
#include "files/durable_file.h"
#include "files/file_moving.h"
#include "registry/change_journal.h"
#include "registry/registry.h"
#include "undo/record_text.h"
#include "undo/undo_record.h"

namespace morvex {
namespace {

bool same_state(const std::optional<RegistryValue>& a, const std::optional<RegistryValue>& b) {
  if (!a || !b) return !a && !b;
  return a->type == b->type && a->data == b->data;
}

std::string full_path(RootKey root, const std::string& path) {
  return std::string(root_key_name(root)) + "\\" + path;
}

void restore_key(const UndoKey& key) {
  if (!reg_create_key(key.root, key.path))
    report_error("%s: cannot make the key", full_path(key.root, key.path).c_str());
}

// The recorded states as the registry holds them; false when it cannot.
bool in_registry_terms(UndoValue& value) {
  for (std::optional<RegistryValue>* state : {&value.found, &value.left}) {
    RegistryValue converted;
    if (*state && !value_from_record(**state, converted)) return false;
    if (*state) *state = std::move(converted);
  }
  RegistryValue named;
  if (!value_from_record({value.name, kRegBinary, ""}, named)) return false;
  value.name = named.name;
  return true;
}

void restore_value(UndoValue value) {
  if (!value.found_known || !value.left_known) return;
  if (!in_registry_terms(value)) {
    report_error("%s: cannot put back the value \"%s\"", full_path(value.root, value.key).c_str(),
                 value.name.c_str());
    return;
  }
  std::optional<RegistryValue> now;
  RegistryKey key;
  if (reg_open_key(value.root, value.key, key)) now = reg_read_value(key, value.name);
  if (same_state(now, value.found)) return;
  const std::string where = full_path(value.root, value.key);
  if (!same_state(now, value.left)) {
    report_error("%s: value \"%s\" changed since the uninstall; the newer one stays",
                 where.c_str(), value.name.c_str());
    return;
  }
  bool done = false;
  if (value.found) {
    done = reg_create_key(value.root, value.key) &&
           (key.is_open() || reg_open_key(value.root, value.key, key)) &&
           reg_write_value(key, *value.found);
  } else {
    done = key.is_open() && reg_delete_value(key, value.name);
  }
  if (!done)
    report_error("%s: cannot put back the value \"%s\"", where.c_str(), value.name.c_str());
}

// True when the file was moved back by this restore.
bool restore_file(const std::string& record_path, const std::string& windows_path) {
  const std::string kept = kept_file_path(record_path, windows_path);
  std::string reason;
  switch (move_file_back(kept, windows_path, reason)) {
    case MoveBack::moved:
    case MoveBack::equal_file_there:
      return true;
    case MoveBack::kept_missing:
      // Back already, or killed before it moved; otherwise lost from FILE.files.
      if (product_file_present(windows_path)) return false;
      reason = std::strerror(ENOENT);
      break;
    case MoveBack::other_file_there:
      report_error("%s is there again; the file the uninstall removed stays in %s",
                   windows_path.c_str(), kept.c_str());
      return false;
    case MoveBack::failed:
      break;
  }
  report_error("%s: cannot put back the file kept in %s: %s", windows_path.c_str(), kept.c_str(),
               reason.c_str());
  return false;
}

// Says, before anything changes, what the record's end tells about the run.
void report_ending(const std::string& path, const UndoRecord& record) {
  if (record.ending == UndoRecord::Ending::ended) return;
  report_error("%s: the record has no end: the uninstall was interrupted, or the record was cut; "
               "all it holds is put back",
               path.c_str());
  if (record.ending == UndoRecord::Ending::cut)
    report_error("%s:%zu: a change cut short is skipped: it was recorded before it was made, so it "
                 "was never made",
                 path.c_str(), record.cut_line);
}

bool file_present(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

// The registry's files given back whole, byte for byte, when the files in
// their place are still the ones the run left; otherwise the changes go back
// one by one.
bool put_back_whole_registry(const UndoRecord& record, const std::string& kept) {
  std::string present;
  for (const std::string& copy : reg_whole_file_copies(kept))
    if (present.empty() && file_present(copy)) present = copy;
  if (record.registry_file_stamp.empty() || present.empty() ||
      !reg_whole_files_unchanged(record.registry_file_stamp, kept))
    return false;
  std::string reason;
  if (reg_put_back_whole_file(kept, reason)) return true;
  report_error("%s: cannot put back the registry file kept there: %s; its changes are put back one "
               "by one",
               present.c_str(), reason.c_str());
  return false;
}

// Once the registry is back either way, or the run was killed before its
// first change, the copy (or what a kill left of it) has served.
void forget_kept_registry(const std::string& record_path) {
  for (const std::string& copy : reg_whole_file_copies(kept_registry_file_path(record_path)))
    for (const std::string& file : {copy, copy + ".saving"})
      if (std::remove(file.c_str()) == 0) sync_folder_of(file);
  remove_empty_folders(record_path + ".files");
}

}  // namespace

std::optional<RestoreOutcome> restore_from_undo_record(const std::string& path) {
  std::string bytes, reason;
  if (!read_whole_file(path, bytes, reason)) {
    report_error("%s: cannot read the undo record: %s", path.c_str(), reason.c_str());
    return std::nullopt;
  }
  switch (undo_record_kind(bytes)) {
    case RecordKind::nothing_recorded:
      report_error("%s: the record is empty: the uninstall changed nothing, and --undo may use the "
                   "file again",
                   path.c_str());
      forget_kept_registry(path);
      return std::nullopt;
    case RecordKind::not_a_record:
      report_error("%s: not an undo record: --undo did not write this file", path.c_str());
      return std::nullopt;
    case RecordKind::record:
      break;
  }
  UndoRecord record;
  std::string error;
  if (!read_undo_record(bytes, record, error)) {
    report_error("%s:%s", path.c_str(), error.c_str());
    return std::nullopt;
  }
  report_ending(path, record);
  RestoreOutcome outcome;
  const std::string kept_registry = kept_registry_file_path(path);
  outcome.whole_registry = put_back_whole_registry(record, kept_registry);
  for (auto step = record.steps.rbegin(); step != record.steps.rend(); ++step) {
    if (outcome.whole_registry && step->kind != UndoStep::Kind::file) continue;
    switch (step->kind) {
      case UndoStep::Kind::key: restore_key(record.keys[step->index]); break;
      case UndoStep::Kind::value: restore_value(record.values[step->index]); break;
      case UndoStep::Kind::file:
        outcome.files_put_back += restore_file(path, record.files[step->index]);
        break;
    }
  }
  if (!outcome.whole_registry) reg_commit();
  forget_kept_registry(path);
  return outcome;
}

}  // namespace morvex
