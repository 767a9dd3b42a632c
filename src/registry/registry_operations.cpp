// The registry operations over the platform's backend: the program's read
// rules, and every change passed through the run's change journal.
#include <cstring>

#include "diag/shared_errors.h"
#include "registry/change_journal.h"
#include "registry/registry.h"
#include "registry/registry_backend.h"
#include "text/dword_bytes.h"

namespace morvex {
namespace {

// A handle on a key the run itself deleted fails from then on, as a handle
// on a deleted key does on Windows.
bool usable(const RegistryKey& key) {
  return key.is_open() && !change_journal().key_deleted(key.root(), key.path());
}

// Data the program may read: present and within the read limit.
std::optional<std::string> readable_data(const RegistryKey& key, const std::string& name) {
  std::optional<RegistryValue> value = reg_read_value(key, name);
  if (!value || value->data.size() > kRegistryReadLimit) return std::nullopt;
  return std::move(value->data);
}

RegistryChange change_of(RegistryChange::Kind kind, RootKey root, const std::string& path) {
  RegistryChange record;
  record.kind = kind;
  record.root = root;
  record.key = path;
  return record;
}

// Makes a change, unless this is a dry run or the undo record refuses it,
// and records it when it was made.
template <class Make>
bool change(RegistryChange change, Make make) {
  ChangeJournal& journal = change_journal();
  if (!journal.may_change(change)) return false;
  if (!journal.dry_run() && !make()) return false;
  journal.record(std::move(change));
  return true;
}

}  // namespace

void RegistryKey::close() {
  if (native_ != 0) close_native(release());
}

namespace {

// A key the run deleted stays closed to it, in a dry run too, which
// deletes nothing.
bool open_through(bool (*open)(RootKey, const std::string&, backend::Native&), RootKey root,
                  const std::string& path, RegistryKey& key) {
  backend::Native native = 0;
  if (change_journal().key_deleted(root, path) || !open(root, path, native)) return false;
  key.adopt(native, root, path);
  return true;
}

}  // namespace

bool reg_open_key(RootKey root, const std::string& path, RegistryKey& key) {
  return open_through(backend::open_key, root, path, key);
}

bool reg_open_key_to_read(RootKey root, const std::string& path, RegistryKey& key) {
  return open_through(backend::open_key_to_read, root, path, key);
}

void reg_close_key(RegistryKey& key) { key.close(); }

std::optional<RegistryValue> reg_read_value(const RegistryKey& key, const std::string& name) {
  if (!usable(key)) return std::nullopt;
  const RegistryValue* known = nullptr;
  switch (change_journal().value(key.root(), key.path(), name, known)) {
    case ChangeJournal::Known::present: return *known;
    case ChangeJournal::Known::absent: return std::nullopt;
    case ChangeJournal::Known::untouched: break;
  }
  return backend::read_value(key.native(), name);
}

bool reg_read_dword(const RegistryKey& key, const std::string& name, std::int32_t& number) {
  number = 0;
  const std::optional<std::string> data = readable_data(key, name);
  if (!data) return false;
  number = static_cast<std::int32_t>(dword_from_bytes(*data));
  return true;
}

std::optional<std::string> reg_read_string(const RegistryKey& key, const std::string& name) {
  const std::optional<std::string> data = readable_data(key, name);
  if (!data) return std::nullopt;
  return std::string(data->data(), strnlen(data->data(), data->size()));
}

bool reg_write_value(const RegistryKey& key, const RegistryValue& value) {
  if (!usable(key)) return false;
  RegistryChange record = change_of(RegistryChange::Kind::value_set, key.root(), key.path());
  record.before = reg_read_value(key, value.name);
  record.after = value;
  // The registry keeps a value's first spelling.
  if (record.before) record.after->name = record.before->name;
  const bool unchanged = record.before && record.before->type == value.type &&
                         record.before->data == value.data;
  if (unchanged) return change_journal().dry_run() || backend::write_value(key.native(), value);
  return change(std::move(record), [&] { return backend::write_value(key.native(), value); });
}

bool reg_write_dword(const RegistryKey& key, const std::string& name, std::int32_t number) {
  return reg_write_value(key, {name, kRegDword, dword_bytes(static_cast<std::uint32_t>(number))});
}

bool reg_write_string(const RegistryKey& key, const std::string& name, const std::string& text) {
  return reg_write_value(key, {name, kRegSz, text + '\0'});
}

bool reg_delete_value(const RegistryKey& key, const std::string& name) {
  RegistryChange record = change_of(RegistryChange::Kind::value_deleted, key.root(), key.path());
  record.before = reg_read_value(key, name);
  if (!record.before) return false;
  return change(std::move(record), [&] { return backend::delete_value(key.native(), name); });
}

bool reg_delete_key(RootKey root, const std::string& path) {
  RegistryChange record = change_of(RegistryChange::Kind::key_deleted, root, path);
  {
    RegistryKey key;
    if (!reg_open_key(root, path, key) || reg_has_subkeys(key) ||
        !reg_list_values(key, record.values))
      return false;
  }
  return change(std::move(record), [&] { return backend::delete_key(root, path); });
}

bool reg_create_key(RootKey root, const std::string& path) {
  RegistryKey existing;
  if (reg_open_key(root, path, existing)) return true;
  return change(change_of(RegistryChange::Kind::key_created, root, path),
                [&] { return backend::create_key(root, path); });
}

bool reg_has_subkeys(const RegistryKey& key) {
  std::uint32_t count = 0;
  return usable(key) && backend::count_subkeys(key.native(), count) &&
         count > change_journal().unmade_subkey_deletions(key.root(), key.path());
}

bool reg_list_subkeys(const RegistryKey& key, std::vector<std::string>& names) {
  names.clear();
  return usable(key) && backend::list_subkeys(key.native(), names);
}

bool reg_list_values(const RegistryKey& key, std::vector<RegistryValue>& values) {
  values.clear();
  if (!usable(key) || !backend::list_values(key.native(), values)) return false;
  change_journal().overlay_values(key.root(), key.path(), values);
  return true;
}

bool reg_count_values(const RegistryKey& key, std::uint32_t& count) {
  std::vector<RegistryValue> values;
  count = 0;
  if (!reg_list_values(key, values)) return false;
  count = static_cast<std::uint32_t>(values.size());
  return true;
}

void reg_prune_key(const std::string& path) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, path, key)) return;
  // The handle stays open while the key is deleted, as the IDE's own
  // uninstallers did; the platform allows it.
  if (!reg_has_subkeys(key) && !reg_delete_key(RootKey::current_user, path))
    report_key_not_deleted(path);
  reg_close_key(key);
}

bool reg_commit() {
  if (!change_journal().dry_run()) {
    if (!backend::commit()) return false;
    change_journal().saved();
    return true;
  }
  return change_journal().changes().empty() || backend::could_commit();
}

bool reg_changes_wait_for_commit() { return backend::changes_wait_for_commit(); }

bool reg_keep_whole_file(const std::string& copy_path, std::string& reason) {
  return backend::keep_whole_file(copy_path, reason);
}

std::string reg_whole_file_stamp() { return backend::whole_file_stamp(); }

bool reg_whole_files_unchanged(const std::string& stamp, const std::string& copy_path) {
  return backend::whole_files_unchanged(stamp, copy_path);
}

bool reg_put_back_whole_file(const std::string& copy_path, std::string& reason) {
  return backend::put_back_whole_file(copy_path, reason);
}

std::vector<RegistryOwnFile> reg_own_files() { return backend::own_files(); }

bool reg_place_exists() { return backend::place_exists(); }

bool reg_use_windows_disk(const std::string& folder, const std::string& user) {
  return backend::use_windows_disk(folder, user);
}

std::vector<std::string> reg_whole_file_copies(const std::string& copy_path) {
  return backend::whole_file_copies(copy_path);
}

void reg_end_run() {
  change_journal().reset();
  backend::end_run();
}

}  // namespace morvex
