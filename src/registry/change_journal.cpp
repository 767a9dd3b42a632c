#include "registry/change_journal.h"

#include <algorithm>

namespace morvex {
namespace {

std::string key_id(RootKey root, std::string_view path) {
  return (root == RootKey::current_user ? "U\\" : "M\\") + folded_name(path);
}

}  // namespace

std::string folded_name(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return folded;
}

const char* root_key_name(RootKey root) {
  return root == RootKey::current_user ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

ChangeJournal& change_journal() {
  static ChangeJournal journal;
  return journal;
}

bool ChangeJournal::may_change(const RegistryChange& change) const {
  return !before_change_ || before_change_(change);
}

void ChangeJournal::record(RegistryChange change) {
  KeyState& key = keys_[key_id(change.root, change.key)];
  switch (change.kind) {
    case RegistryChange::Kind::value_set:
      key.values[folded_name(change.after->name)] = change.after;
      break;
    case RegistryChange::Kind::value_deleted:
      key.values[folded_name(change.before->name)] = std::nullopt;
      break;
    case RegistryChange::Kind::key_deleted:
      key.deleted = true;
      key.values.clear();
      for (const RegistryValue& value : change.values) key.values[folded_name(value.name)] = std::nullopt;
      break;
    case RegistryChange::Kind::key_created:
      key.deleted = false;
      break;
  }
  changes_.push_back(std::move(change));
}

const ChangeJournal::KeyState* ChangeJournal::find(RootKey root, std::string_view path) const {
  const auto found = keys_.find(key_id(root, path));
  return found == keys_.end() ? nullptr : &found->second;
}

bool ChangeJournal::key_deleted(RootKey root, std::string_view path) const {
  const KeyState* key = find(root, path);
  return key != nullptr && key->deleted;
}

ChangeJournal::Known ChangeJournal::value(RootKey root, std::string_view path,
                                          std::string_view name, const RegistryValue*& value) const {
  value = nullptr;
  const KeyState* key = find(root, path);
  if (key == nullptr) return Known::untouched;
  const auto found = key->values.find(folded_name(name));
  if (found == key->values.end()) return key->deleted ? Known::absent : Known::untouched;
  if (!found->second) return Known::absent;
  value = &*found->second;
  return Known::present;
}

void ChangeJournal::overlay_values(RootKey root, std::string_view path,
                                   std::vector<RegistryValue>& values) const {
  const KeyState* key = find(root, path);
  if (key == nullptr) return;
  for (const auto& entry : key->values) {
    const std::string& name = entry.first;
    const std::optional<RegistryValue>& state = entry.second;
    const auto listed = std::find_if(values.begin(), values.end(), [&](const RegistryValue& value) {
      return folded_name(value.name) == name;
    });
    if (!state) {
      if (listed != values.end()) values.erase(listed);
    } else if (listed != values.end()) {
      *listed = *state;
    } else {
      values.push_back(*state);
    }
  }
}

std::uint32_t ChangeJournal::unmade_subkey_deletions(RootKey root, std::string_view path) const {
  if (!dry_run_) return 0;
  const std::string parent = key_id(root, path) + "\\";
  std::uint32_t count = 0;
  for (auto it = keys_.lower_bound(parent); it != keys_.end() && it->first.starts_with(parent); ++it)
    if (it->second.deleted && it->first.find('\\', parent.size()) == std::string::npos) ++count;
  return count;
}

void ChangeJournal::reset() { *this = ChangeJournal(); }

}  // namespace morvex
