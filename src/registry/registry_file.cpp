// The registry on hosts without the Windows registry: one store
// (host_store.h), a Windows disk's hives when --windows-disk names one, else
// chosen by what the prefix folder holds.
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "diag/diagnostics.h"
#include "registry/change_journal.h"
#include "registry/hive_file/hive_registry.h"
#include "registry/host_prefix.h"
#include "registry/reg_file/reg_store.h"
#include "registry/registry_backend.h"
#include "registry/wine_file/wine_registry.h"
#include "registry/wine_file/wineserver_check.h"

namespace morvex {
namespace {

using regfile::kNoKey;

bool file_exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

// Wine's own files, when the folder holds them and no registry.reg; the
// registry file otherwise (a run refuses a folder that holds neither).
bool holds_wine_registry(const std::string& folder) {
  return !file_exists(folder + "/" + regfile::kFileName) &&
         (file_exists(folder + "/user.reg") || file_exists(folder + "/system.reg"));
}

// The store of this run, chosen at its first look at the registry: a
// Windows disk's hives, Wine's files, or registry.reg.
struct ChosenStore {
  bool made = false;
  std::unique_ptr<HostStore> own;
  hivefile::HiveRegistry* disk = nullptr;  // `own`, when it is a disk's hives
};

ChosenStore& chosen_store() {
  static ChosenStore chosen;
  return chosen;
}

HostStore& host_store() {
  ChosenStore& chosen = chosen_store();
  if (!chosen.made) {
    chosen.made = true;
    const std::string folder = host_prefix_folder();
    if (const WindowsDisk* disk = windows_disk(); disk != nullptr) {
      auto hives = std::make_unique<hivefile::HiveRegistry>(*disk);
      chosen.disk = hives.get();
      chosen.own = std::move(hives);
    } else if (holds_wine_registry(folder)) {
      chosen.own = std::make_unique<winefile::WineRegistry>(folder);
    }
  }
  if (chosen.own) return *chosen.own;
  return regfile::the_store();
}

// What an open handle names. The key number is refreshed by path when the
// store numbers its keys anew; a key deleted meanwhile is then not found,
// as it would not be through a handle on Windows either.
struct Handle {
  RootKey root = RootKey::current_user;
  std::string path;
  std::uint32_t key = kNoKey;
  std::uint64_t generation = 0;
};

std::vector<Handle>& handles() {
  static std::vector<Handle> table;
  return table;
}

std::vector<RegistryKey::Native>& free_handles() {
  static std::vector<RegistryKey::Native> natives;
  return natives;
}

std::size_t root_index(RootKey root) {
  return root == RootKey::current_user ? regfile::kRootCurrentUser : regfile::kRootLocalMachine;
}

// The handle's live key, or kNoKey.
std::uint32_t key_of(backend::Native native) {
  HostStore& store = host_store();
  if (native == 0 || !store.ready()) return kNoKey;
  Handle& handle = handles()[native - 1];
  if (handle.generation != store.generation()) {
    handle.key = store.find_key(root_index(handle.root), handle.path);
    handle.generation = store.generation();
  }
  return store.alive(handle.key) ? handle.key : kNoKey;
}

RegistryValue value_of(const StoredValue& stored) {
  return {stored.name, stored.type, stored.data};
}

}  // namespace

void RegistryKey::close_native(Native native) {
  handles()[native - 1] = Handle{};
  free_handles().push_back(native);
}

namespace backend {

bool open_key(RootKey root, const std::string& path, Native& native) {
  HostStore& store = host_store();
  const std::uint32_t found = store.find_key(root_index(root), path);
  if (found == kNoKey) return false;
  Handle handle{root, path, found, store.generation()};
  if (free_handles().empty()) {
    handles().push_back(std::move(handle));
    native = handles().size();
  } else {
    native = free_handles().back();
    free_handles().pop_back();
    handles()[native - 1] = std::move(handle);
  }
  return true;
}

// The file is read under the run's lock either way.
bool open_key_to_read(RootKey root, const std::string& path, Native& native) {
  return open_key(root, path, native);
}

std::optional<RegistryValue> read_value(Native key, const std::string& name) {
  const std::uint32_t found = key_of(key);
  const StoredValue* value =
      found == kNoKey ? nullptr : host_store().find_value(found, name);
  if (value == nullptr) return std::nullopt;
  return value_of(*value);
}

bool list_values(Native key, std::vector<RegistryValue>& values) {
  const std::uint32_t found = key_of(key);
  std::vector<const StoredValue*> stored;
  if (found == kNoKey || !host_store().list_values(found, stored)) return false;
  for (const StoredValue* value : stored) values.push_back(value_of(*value));
  return true;
}

bool count_subkeys(Native key, std::uint32_t& count) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey && host_store().count_subkeys(found, count);
}

bool list_subkeys(Native key, std::vector<std::string>& names) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey && host_store().list_subkeys(found, names);
}

bool write_value(Native key, const RegistryValue& value) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey &&
         host_store().set_value(found, value.name, value.type, value.data);
}

bool delete_value(Native key, const std::string& name) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey && host_store().delete_value(found, name);
}

bool delete_key(RootKey root, const std::string& path) {
  return host_store().delete_key(root_index(root), path);
}

bool create_key(RootKey root, const std::string& path) {
  return host_store().create_key(root_index(root), path);
}

void end_run() {
  host_store().end_run();
  chosen_store() = ChosenStore{};
}

bool commit() {
  return host_store().commit([](const std::string& stamp) { return change_journal().replacing(stamp); });
}

bool could_commit() { return host_store().could_save(); }

bool keep_whole_file(const std::string& copy_path, std::string& reason) {
  return host_store().keep_copy(copy_path, reason);
}

std::string whole_file_stamp() { return host_store().file_stamp(); }

bool whole_files_unchanged(const std::string& stamp, const std::string& copy_path) {
  return host_store().unchanged_since(stamp, copy_path);
}

bool put_back_whole_file(const std::string& copy_path, std::string& reason) {
  return host_store().put_back_copy(copy_path, reason);
}

bool changes_wait_for_commit() { return true; }

std::vector<RegistryOwnFile> own_files() {
  const std::string folder = host_prefix_folder();
  if (windows_disk() != nullptr) {
    std::vector<RegistryOwnFile> files = {{"the Windows disk's folder", folder}};
    host_store();
    // A missing folder is said once, where the run looks for the registry.
    const hivefile::DiskLayout* layout = file_exists(folder) ? chosen_store().disk->layout() : nullptr;
    if (layout != nullptr)
      for (const std::string& hive : {layout->software, layout->user_hive})
        if (!hive.empty()) {
          files.push_back({"a registry hive", hive});
          files.push_back({"a registry hive's temporary copy", hive + ".saving"});
        }
    return files;
  }
  // Wine's files count wherever they are: a report written over one would
  // take a Wine prefix's registry with it.
  return {{"the registry file", folder + "/" + regfile::kFileName},
          {"the registry's temporary copy", folder + "/" + regfile::kSavingName},
          {"Wine's registry file", folder + "/user.reg"},
          {"Wine's registry file", folder + "/system.reg"},
          {"Wine's registry file's temporary copy", folder + "/user.reg.saving"},
          {"Wine's registry file's temporary copy", folder + "/system.reg.saving"},
          {"Wine's registry file", folder + "/userdef.reg"},
          {"the prefix folder", folder}};
}

bool place_exists() {
  const std::string folder = host_prefix_folder();
  struct stat status {};
  const bool missing = stat(folder.c_str(), &status) != 0 && errno == ENOENT;
  // A hive the run may not use is refused here, in its one line.
  if (windows_disk() != nullptr) {
    if (missing) report_error("the Windows disk's folder %s does not exist (named by --windows-disk)", folder.c_str());
    host_store();
    return !missing && chosen_store().disk->ready();
  }
  const char* const origin = host_prefix_from_environment()
                                 ? "named by MORVEX_PREFIX"
                                 : "the default ~/.morvex; set MORVEX_PREFIX to name another";
  if (missing) {
    report_error("the prefix folder %s does not exist (%s)", folder.c_str(), origin);
    return false;
  }
  // An empty registry would pass for a machine with nothing installed.
  if (!file_exists(folder + "/" + regfile::kFileName) && !holds_wine_registry(folder)) {
    report_error("the prefix folder %s holds no registry: neither %s nor Wine's user.reg and system.reg (%s)",
                 folder.c_str(), regfile::kFileName, origin);
    return false;
  }
  // Wine writes its registry back over the files when its server ends.
  return !holds_wine_registry(folder) || !winefile::report_wine_running(folder);
}

bool use_windows_disk(const std::string& folder, const std::string& user) {
  morvex::use_windows_disk({folder, user});
  chosen_store() = ChosenStore{};
  return true;
}

std::vector<std::string> whole_file_copies(const std::string& copy_path) {
  return host_store().copy_files(copy_path);
}

}  // namespace backend
}  // namespace morvex
