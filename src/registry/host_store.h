// A registry kept in files on a host without the Windows registry: the one
// interface behind registry_file.cpp, with one implementation per kind of
// store, chosen when the run first looks at the registry:
//   regfile::Store          registry.reg, the format regedit exports (reg_file/)
//   winefile::WineRegistry  Wine's own user.reg and system.reg (wine_file/)
//   hivefile::HiveRegistry  a Windows disk's SOFTWARE and NTUSER.DAT hives (hive_file/)
// Keys are numbers valid for one generation, UINT32_MAX for none; roots are
// regfile::kRootCurrentUser and regfile::kRootLocalMachine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

struct StoredValue {
  std::string name;  // as first spelled
  std::uint32_t type = 0;
  std::string data;  // as the program reads it
};

// Told, before any file of a save is replaced, what the files will then be
// (as file_stamp names them); false stops the save, nothing replaced.
using BeforeReplace = std::function<bool(const std::string& stamp)>;

class HostStore {
 public:
  virtual ~HostStore() = default;

  // Loads at the first use. False when the registry cannot be used; the
  // reason was reported once.
  virtual bool ready() = 0;
  // Changes whenever keys are numbered anew, so that an open handle finds
  // its key again by path.
  virtual std::uint64_t generation() const = 0;
  virtual std::uint32_t find_key(std::size_t root, std::string_view path) = 0;
  virtual bool alive(std::uint32_t key) const = 0;
  virtual bool count_subkeys(std::uint32_t key, std::uint32_t& count) const = 0;
  virtual bool list_subkeys(std::uint32_t key, std::vector<std::string>& names) = 0;
  virtual const StoredValue* find_value(std::uint32_t key, std::string_view name) = 0;
  virtual bool list_values(std::uint32_t key, std::vector<const StoredValue*>& values) = 0;

  virtual bool set_value(std::uint32_t key, std::string_view name, std::uint32_t type,
                         std::string data) = 0;
  virtual bool delete_value(std::uint32_t key, std::string_view name) = 0;
  virtual bool delete_key(std::size_t root, std::string_view path) = 0;
  virtual bool create_key(std::size_t root, std::string_view path) = 0;
  // A store of several files replaces them only after `before_replace`
  // agreed, so that a record of the run names them even when a kill falls
  // between two renames.
  virtual bool commit(const BeforeReplace& before_replace) = 0;
  virtual bool could_save() = 0;
  virtual bool keep_copy(const std::string& copy_path, std::string& reason) = 0;
  virtual std::string file_stamp() = 0;
  // Whether the files are still as `stamp` names them, so that the copy at
  // `copy_path` may replace them whole; a store of several files also takes
  // one that is its kept copy already, as a restore cut short leaves it.
  virtual bool unchanged_since(const std::string& stamp, const std::string& /*copy_path*/) {
    return file_stamp() == stamp;
  }
  virtual bool put_back_copy(const std::string& copy_path, std::string& reason) = 0;
  // The files that keep_copy writes for `copy_path`.
  virtual std::vector<std::string> copy_files(const std::string& copy_path) = 0;
  virtual void end_run() = 0;
};

}  // namespace morvex
