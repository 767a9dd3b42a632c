// The registry of a Windows whose system drive is mounted on this host: its
// SOFTWARE hive (HKEY_LOCAL_MACHINE\Software, through Wow6432Node on a
// 64-bit Windows, as the 32-bit product sees it) and a profile's NTUSER.DAT
// (HKEY_CURRENT_USER), read and changed through libhivex under a lock on the
// disk's folder. libhivex changes a hive in memory; a save writes each
// changed hive to a temporary file beside it and renames it into place
// (hive_registry_save.cpp).
#pragma once

#include <hivex.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/hive_file/disk_layout.h"
#include "registry/hive_file/hive_header.h"
#include "registry/reg_file/reg_save.h"
#include "registry/host_store.h"

namespace morvex::hivefile {

class HiveRegistry final : public HostStore {
 public:
  explicit HiveRegistry(WindowsDisk disk) : disk_(std::move(disk)) {}
  ~HiveRegistry() override { end_run(); }
  HiveRegistry(const HiveRegistry&) = delete;
  HiveRegistry& operator=(const HiveRegistry&) = delete;

  // The hives' places, found once; false (reported once) when the disk
  // holds no registry the run may use.
  const DiskLayout* layout();

  bool ready() override;
  std::uint64_t generation() const override { return generation_; }
  std::uint32_t find_key(std::size_t root, std::string_view path) override;
  bool alive(std::uint32_t key) const override { return key < keys_.size() && !keys_[key].deleted; }
  bool count_subkeys(std::uint32_t key, std::uint32_t& count) const override;
  bool list_subkeys(std::uint32_t key, std::vector<std::string>& names) override;
  const StoredValue* find_value(std::uint32_t key, std::string_view name) override;
  bool list_values(std::uint32_t key, std::vector<const StoredValue*>& values) override;

  bool set_value(std::uint32_t key, std::string_view name, std::uint32_t type, std::string data) override;
  bool delete_value(std::uint32_t key, std::string_view name) override;
  // Only a key without subkeys, as the Windows program deletes them.
  bool delete_key(std::size_t root, std::string_view path) override;
  // Never in a hive of format 1.3 or 1.4 (NT 4.0, 2000), whose Windows would
  // not read the index libhivex writes for a new key.
  bool create_key(std::size_t root, std::string_view path) override;
  bool commit(const BeforeReplace& before_replace) override;
  bool could_save() override;

  // Each hive's bytes as the run found them, kept beside `copy_path` under
  // the hive's own name (hive_registry_whole.cpp).
  bool keep_copy(const std::string& copy_path, std::string& reason) override;
  std::string file_stamp() override;
  bool put_back_copy(const std::string& copy_path, std::string& reason) override;
  std::vector<std::string> copy_files(const std::string& copy_path) override;
  bool unchanged_since(const std::string& stamp, const std::string& copy_path) override;
  void end_run() override;

 private:
  struct Hive {
    std::string path;  // empty: none (a disk without the user's profile)
    const char* name = "";  // what a kept copy is called
    hive_h* handle = nullptr;
    int fd = -1;  // the file as loaded
    struct stat status {};
    HiveHeader header;
    hive_node_h base = 0;  // where the program's keys begin: the root, or Wow6432Node
    bool changed = false;
  };
  struct Key {
    Hive* hive = nullptr;  // null: HKEY_LOCAL_MACHINE itself, which is no hive
    hive_node_h node = 0;
    std::uint32_t parent = UINT32_MAX;
    std::string name;
    bool deleted = false;
    bool values_read = false;
    std::vector<StoredValue> values;
  };
  enum class State { unloaded, ready, failed };

  bool load_hive(Hive& hive);
  bool load_failed();
  void unload();
  std::uint32_t child_of(std::uint32_t parent, std::string_view name, bool make);
  bool read_values(Key& key);
  std::vector<Hive*> hives() { return {&user_, &software_}; }
  // The hives by the names their kept copies take.
  std::vector<regfile::NamedFile> named_files() const;

  WindowsDisk disk_;
  enum class Found { not_yet, found, failed } found_ = Found::not_yet;
  DiskLayout layout_;
  State state_ = State::unloaded;
  std::uint64_t generation_ = 1;
  int dir_fd_ = -1;  // the disk's folder, locked
  Hive user_;
  Hive software_;
  bool refused_old_hive_ = false;
  std::vector<Key> keys_;  // the roots first, by their numbers
  std::unordered_map<std::string, std::uint32_t> by_path_;  // root digit + folded path
};

}  // namespace morvex::hivefile
