#include "files/product_files.h"

#include <algorithm>
#include <vector>

#include "diag/diagnostics.h"
#include "diag/shared_errors.h"
#include "registry/product_keys.h"
#include "files/file_deletion.h"
#include "registry/change_journal.h"
#include "registry/registry.h"

namespace morvex {
namespace {

constexpr const char* kGeneration4Files[] = {"xvxc4.exe", "xvlink4.exe"};
constexpr const char* kGeneration5Files[] = {"xvxc5.exe", "xvlink5.exe"};
constexpr const char* kSelectionToolFiles[] = {"compsel.exe"};

KeepRemovedFile& removed_file_keeper() {
  static KeepRemovedFile keep;
  return keep;
}

// Files that passed their check and wait for the registry's save (or, in a
// dry run, for its prediction): the index of each one's outcome in the journal.
std::vector<std::size_t>& files_awaiting_save() {
  static std::vector<std::size_t> waiting;
  return waiting;
}

// Deletes the file, or moves it into the undo record; reports a failure.
bool take_file_away(const std::string& file_path) {
  const KeepRemovedFile& keep = removed_file_keeper();
  const bool removed = keep ? keep(file_path) : delete_file(file_path);
  if (!removed) report_error("Error removing the %s file\n", file_path.c_str());
  return removed;
}

}  // namespace

std::span<const char* const> product_file_names(int file_set) {
  switch (file_set) {
    case 4: return kGeneration4Files;
    case 5: return kGeneration5Files;
    case 1: return kSelectionToolFiles;
    default: return {};
  }
}


void keep_removed_files(KeepRemovedFile keep) { removed_file_keeper() = std::move(keep); }

ProductDirectory read_product_directory() {
  ProductDirectory directory;
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, kSelectCompilerKey, key)) return directory;
  const std::optional<std::string> text = reg_read_string(key, "Bin_directory");
  reg_close_key(key);
  if (!text) {
    directory.state = ProductDirectory::State::value_missing;
    return directory;
  }
  directory.state = ProductDirectory::State::known;
  directory.path = *text;
  return directory;
}

void remove_product_files(int file_set, const ProductDirectory& directory) {
  switch (directory.state) {
    case ProductDirectory::State::key_missing:
      report_key_open_failed(kSelectCompilerKey);
      return;
    case ProductDirectory::State::value_missing:
      report_error("bin directory for selection tool");
      return;
    case ProductDirectory::State::known:
      break;
  }
  // The separator goes on even after a trailing one: the counts were
  // recorded under the path composed exactly so.
  const std::string prefix = directory.path + "\\";
  for (const char* name : product_file_names(file_set)) {
    FileOutcome outcome;
    outcome.path = prefix + name;
    const std::int32_t left = decrement_shared_count(outcome.path);
    if (left != kCountUnknown) outcome.count_after = std::max(left, 0);
    if (left <= 0) {
      outcome.action = remove_product_file(outcome.path) ? FileOutcome::Action::removed
                                                        : FileOutcome::Action::not_removed;
      // Checked only: it goes when the registry that stops counting it is saved.
      if (outcome.action == FileOutcome::Action::removed &&
          (change_journal().dry_run() || reg_changes_wait_for_commit()))
        files_awaiting_save().push_back(change_journal().files().size());
    }
    change_journal().record_file(std::move(outcome));
  }
}

std::int32_t decrement_shared_count(const std::string& file_path) {
  RegistryKey key;
  if (!reg_open_key(RootKey::local_machine, kSharedDllsKey, key)) {
    report_key_open_failed(kSharedDllsKey);
    return kCountUnknown;
  }
  std::int32_t count = 0;
  if (!reg_read_dword(key, file_path, count)) report_error("Shared file not found");
  // Anything at or below 1 is used up; testing before lowering keeps the
  // lowest count from leaving the signed range.
  if (count > 1) {
    const std::int32_t left = count - 1;
    // A failed write leaves the count one too high: the file then outlives
    // its last user rather than being taken from one, and no message fits.
    reg_write_dword(key, file_path, left);
    reg_close_key(key);
    return left;
  }
  if (!reg_delete_value(key, file_path))
    report_value_not_deleted();
  reg_close_key(key);
  return 0;
}

bool remove_product_file(const std::string& file_path) {
  // A dry run asks whether the deletion could be made; what only the
  // deletion itself finds out (a file in use) it takes as going well. A
  // run on the registry file asks the same now and deletes after the save.
  if (!change_journal().dry_run() && !reg_changes_wait_for_commit())
    return take_file_away(file_path);
  const bool removable = file_deletable(file_path);
  if (!removable) report_error("Error removing the %s file\n", file_path.c_str());
  return removable;
}

void finish_product_files(bool registry_saved) {
  std::vector<std::size_t> waiting;
  waiting.swap(files_awaiting_save());
  if (waiting.empty()) return;
  if (!registry_saved)
    report_error("the product files were kept because the registry could not be saved");
  for (const std::size_t index : waiting) {
    const FileOutcome& outcome = change_journal().files()[index];
    if (!registry_saved || (!change_journal().dry_run() && !take_file_away(outcome.path)))
      change_journal().set_file_action(index, FileOutcome::Action::not_removed);
  }
}

}  // namespace morvex
