// Removing release 2.4's executables by their shared-file counts.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>

namespace morvex {

// The product's executable directory as the run found it before any pass
// could prune the key that records it.
struct ProductDirectory {
  enum class State { key_missing, value_missing, known };
  State state = State::key_missing;
  std::string path;
};

// The shared-file counts, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kSharedDllsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

// The executables of file_set 4 and 5 (a generation's compiler driver and
// linker wrapper) and 1 (the selection tool), as named in the bin folder.
std::span<const char* const> product_file_names(int file_set);

// Reads "Bin_directory" of the selection tool's key, once per run.
ProductDirectory read_product_directory();

// Removes the files of one file_set. Reports its own failures.
void remove_product_files(int file_set, const ProductDirectory& directory);

// What decrement_shared_count returns when the counts cannot be read at all:
// the file may still be in use, so it stays. No count that was lowered can
// reach it, so the run's record can tell it apart.
inline constexpr std::int32_t kCountUnknown = std::numeric_limits<std::int32_t>::max();

// Takes one use off the file's shared count; a result of 0 or less means the
// file is no longer counted and should be deleted.
std::int32_t decrement_shared_count(const std::string& file_path);

// True when the file went (or, in a dry run, would go). On the registry
// file, where changes become real only when saved, true means the file
// passed the check and waits for finish_product_files.
bool remove_product_file(const std::string& file_path);

// After the registry's save: the waiting files go, or, when the save
// failed, all stay, with one line saying why.
void finish_product_files(bool registry_saved);

// With an undo record, a file the run removes is kept there rather than
// deleted: `keep` moves it and says whether it went. An empty one deletes
// again.
using KeepRemovedFile = std::function<bool(const std::string& windows_path)>;
void keep_removed_files(KeepRemovedFile keep);

}  // namespace morvex
