// A Wine prefix's own registry, user.reg (HKEY_CURRENT_USER) and system.reg
// (HKEY_LOCAL_MACHINE), read and changed without starting Wine, under the
// prefix folder's lock. Both files are read whole at the first use. A save
// copies every line the run did not change byte for byte, writes the lines
// it did change as Wine's server writes them, with the key's new time, and
// replaces each changed file in one rename (wine_registry_save.cpp).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/host_store.h"
#include "registry/reg_file/reg_save.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/wine_file/wine_reg_reader.h"

namespace morvex::winefile {

class WineRegistry final : public HostStore {
 public:
  explicit WineRegistry(std::string folder) : folder_(std::move(folder)) {}
  ~WineRegistry() override { end_run(); }
  WineRegistry(const WineRegistry&) = delete;
  WineRegistry& operator=(const WineRegistry&) = delete;

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
  bool create_key(std::size_t root, std::string_view path) override;
  bool commit(const BeforeReplace& before_replace) override;
  bool could_save() override;

  // Both files as a whole, kept beside `copy_path` under their own names,
  // for an undo record that gives them back byte for byte
  // (wine_registry_whole.cpp).
  bool keep_copy(const std::string& copy_path, std::string& reason) override;
  std::string file_stamp() override;
  bool put_back_copy(const std::string& copy_path, std::string& reason) override;
  std::vector<std::string> copy_files(const std::string& copy_path) override;
  bool unchanged_since(const std::string& stamp, const std::string& copy_path) override;
  void end_run() override;

  // The clock that stamps a changed key, for tests.
  void set_clock(std::uint64_t (*clock)()) { clock_ = clock; }

 private:
  struct Value {
    StoredValue now;
    std::vector<Span> lines;  // in the file as loaded; the last one counts
    bool changed = false;
  };
  struct Block {  // one key line of the file and what follows it
    Span whole;
    Span key_line;
    Span time_line;
    std::size_t append_at = 0;
  };
  struct Key {
    std::string name;  // as spelled
    std::uint32_t parent = UINT32_MAX;
    std::size_t root = 0;
    std::vector<std::uint32_t> subkeys;
    std::vector<Value> values;
    std::vector<Block> blocks;
    std::vector<Span> dropped;  // lines of deleted values
    bool deleted = false;
    bool touched = false;  // to be written with `modified` as its time
    std::uint64_t modified = 0;
  };
  struct File {
    explicit File(const char* file_name) : name(file_name) {}
    const char* name;
    int fd = -1;  // as loaded; -1 when the prefix has no such file
    struct stat status {};
    std::string text;
  };
  enum class State { unloaded, ready, failed };

  bool load_file(File& file, std::size_t root);
  bool load_failed();
  std::uint32_t key_for(std::size_t root, std::string_view path, bool made_now);
  // Where the key the program names lies in the file: on a 64-bit prefix the
  // 32-bit view of HKEY_LOCAL_MACHINE\Software is its Wow6432Node.
  std::string stored_path(std::size_t root, std::string_view path) const;
  std::string path_of(std::uint32_t key) const;
  void touch(std::uint32_t key);
  // The two files by the names their kept copies take.
  std::vector<regfile::NamedFile> named_files() const;
  void unload();
  File& file_of(std::size_t root) { return root == regfile::kRootCurrentUser ? user_ : machine_; }
  const File& file_of(std::size_t root) const { return root == regfile::kRootCurrentUser ? user_ : machine_; }
  // The edits that make the file say what the keys of `root` now hold;
  // false, reported, when a line cannot be written.
  bool plan(std::size_t root, std::vector<regfile::Edit>& edits) const;
  bool plan_key(const Key& key, std::uint32_t index, std::vector<regfile::Edit>& edits) const;

  std::string folder_;
  State state_ = State::unloaded;
  std::uint64_t generation_ = 1;
  int dir_fd_ = -1;  // the prefix folder, locked
  File user_{"user.reg"};
  File machine_{"system.reg"};
  bool machine_is_win64_ = false;
  std::vector<Key> keys_;  // the roots first, by their numbers
  std::unordered_map<std::string, std::uint32_t> by_path_;  // root digit + folded path
  std::uint64_t (*clock_)() = nullptr;
};

}  // namespace morvex::winefile
