// A Wine prefix's own registry, read from user.reg (HKEY_CURRENT_USER) and
// system.reg (HKEY_LOCAL_MACHINE) without starting Wine. It is read only:
// the run refuses every change before it starts, so the write operations
// only ever answer false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/host_store.h"
#include "registry/wine_file/wine_reg_reader.h"

namespace morvex::winefile {

class WineRegistry final : public HostStore {
 public:
  explicit WineRegistry(std::string folder) : folder_(std::move(folder)) {}

  bool ready() override;
  std::uint64_t generation() const override { return 1; }
  std::uint32_t find_key(std::size_t root, std::string_view path) override;
  bool alive(std::uint32_t key) const override { return key < keys_.size(); }
  bool count_subkeys(std::uint32_t key, std::uint32_t& count) const override;
  bool list_subkeys(std::uint32_t key, std::vector<std::string>& names) override;
  const StoredValue* find_value(std::uint32_t key, std::string_view name) override;
  bool list_values(std::uint32_t key, std::vector<const StoredValue*>& values) override;

  bool set_value(std::uint32_t, std::string_view, std::uint32_t, std::string) override { return false; }
  bool delete_value(std::uint32_t, std::string_view) override { return false; }
  bool delete_key(std::size_t, std::string_view) override { return false; }
  bool create_key(std::size_t, std::string_view) override { return false; }
  bool commit() override { return true; }
  bool could_save() override { return true; }
  bool keep_copy(const std::string&, std::string&) override { return false; }
  std::string file_stamp() override { return ""; }
  bool put_back_copy(const std::string&, std::string&) override { return false; }
  void end_run() override;

 private:
  struct Key {
    std::string name;  // as spelled
    std::vector<std::uint32_t> subkeys;
    std::vector<StoredValue> values;
  };
  enum class State { unloaded, ready, failed };

  bool load_file(const char* name, std::size_t root);
  std::uint32_t key_for(std::size_t root, std::string_view path);
  // Where the key the program names lies in the file: on a 64-bit prefix the
  // 32-bit view of HKEY_LOCAL_MACHINE\Software is its Wow6432Node.
  std::string stored_path(std::size_t root, std::string_view path) const;

  std::string folder_;
  State state_ = State::unloaded;
  bool machine_is_win64_ = false;
  std::vector<Key> keys_;  // the two roots first
  std::unordered_map<std::string, std::uint32_t> by_path_;  // root digit + folded path
};

}  // namespace morvex::winefile
