// The run's record of what it changed, kept under the registry operations
// and the file removal so that every path of the run is recorded the same
// way, whether the changes are made or only listed.
//
// In a dry run the journal also stands in for the registry: a change is
// recorded but never reaches it, and later reads see the recorded state, so
// the run takes every decision it would take for real.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry.h"

namespace morvex {

struct RegistryChange {
  enum class Kind { value_set, value_deleted, key_deleted, key_created };
  Kind kind = Kind::value_set;
  RootKey root = RootKey::current_user;
  std::string key;
  // value_set: the value before (none when the run creates it) and after;
  // value_deleted: before only.
  std::optional<RegistryValue> before;
  std::optional<RegistryValue> after;
  // key_deleted: every value the key held.
  std::vector<RegistryValue> values;
};

// A product file the run decided on by its shared count.
struct FileOutcome {
  enum class Action { removed, kept, not_removed };
  std::string path;
  Action action = Action::kept;
  // The count left; 0 when it was used up. None when the counts could not be
  // read at all (the file is kept then).
  std::optional<std::int32_t> count_after;
};

class ChangeJournal {
 public:
  // Called with each change before it is made; false keeps the change from
  // being made (the undo record could not be written).
  using BeforeChange = std::function<bool(const RegistryChange&)>;

  void set_dry_run(bool dry_run) { dry_run_ = dry_run; }
  bool dry_run() const { return dry_run_; }
  void set_before_change(BeforeChange hook) { before_change_ = std::move(hook); }
  // Called once the changes are saved, before anything that depends on them.
  using AfterSave = std::function<void()>;
  void set_after_save(AfterSave hook) { after_save_ = std::move(hook); }
  void saved() const {
    if (after_save_) after_save_();
  }
  // Called by a save of several files with what they will be, before the
  // first is replaced; false stops the save.
  using BeforeReplace = std::function<bool(const std::string& stamp)>;
  void set_before_replace(BeforeReplace hook) { before_replace_ = std::move(hook); }
  bool replacing(const std::string& stamp) const { return !before_replace_ || before_replace_(stamp); }

  // Asks the hook, if any, whether the change may go ahead.
  bool may_change(const RegistryChange& change) const;
  // Records a change that was made (or, in a dry run, would have been).
  void record(RegistryChange change);
  void record_file(FileOutcome outcome) { files_.push_back(std::move(outcome)); }
  // A file decided on earlier whose removal failed after all.
  void set_file_action(std::size_t index, FileOutcome::Action action) {
    files_[index].action = action;
  }

  // What the run's own changes say of a key or value; `untouched` sends the
  // reader to the registry.
  enum class Known { untouched, present, absent };
  bool key_deleted(RootKey root, std::string_view path) const;
  Known value(RootKey root, std::string_view path, std::string_view name,
              const RegistryValue*& value) const;
  // Applies the run's changes of one key to the values the registry lists.
  void overlay_values(RootKey root, std::string_view path, std::vector<RegistryValue>& values) const;
  // Direct subkeys of the key whose deletion the registry does not show: the
  // ones a dry run deleted.
  std::uint32_t unmade_subkey_deletions(RootKey root, std::string_view path) const;

  const std::vector<RegistryChange>& changes() const { return changes_; }
  const std::vector<FileOutcome>& files() const { return files_; }

  // Forgets everything, for tests that act out several runs in one process.
  void reset();

 private:
  struct KeyState {
    bool deleted = false;
    // Folded value name -> the value, or none once deleted.
    std::map<std::string, std::optional<RegistryValue>> values;
  };
  const KeyState* find(RootKey root, std::string_view path) const;

  bool dry_run_ = false;
  BeforeChange before_change_;
  AfterSave after_save_;
  BeforeReplace before_replace_;
  std::map<std::string, KeyState> keys_;  // by root and folded path
  std::vector<RegistryChange> changes_;
  std::vector<FileOutcome> files_;
};

// The one journal of the process.
ChangeJournal& change_journal();

// Names match without regard to case, ASCII letters only, as everywhere in
// the program's registry.
std::string folded_name(std::string_view name);
const char* root_key_name(RootKey root);

}  // namespace morvex
