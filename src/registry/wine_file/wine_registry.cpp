#include "registry/wine_file/wine_registry.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "diag/diagnostics.h"
#include "registry/reg_file/reg_index.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/reg_file/reg_text.h"

namespace morvex::winefile {
namespace {

std::string path_key(std::size_t root, std::string_view path) {
  return std::to_string(root) + "\\" + regfile::folded(path);
}

}  // namespace

bool WineRegistry::ready() {
  if (state_ != State::unloaded) return state_ == State::ready;
  state_ = State::failed;
  keys_.assign(regfile::kRootLocalMachine + 1, Key{});
  if (!load_file("user.reg", regfile::kRootCurrentUser) ||
      !load_file("system.reg", regfile::kRootLocalMachine))
    return false;
  state_ = State::ready;
  return true;
}

bool WineRegistry::load_file(const char* name, std::size_t root) {
  const std::string path = folder_ + "/" + name;
  std::error_code status;
  const std::filesystem::file_type type = std::filesystem::status(path, status).type();
  if (type == std::filesystem::file_type::not_found) return true;  // a prefix may lack one of the two
  // A FIFO in the file's place would hold the run forever.
  if (type != std::filesystem::file_type::regular) {
    report_error("%s: cannot read: not a regular file", path.c_str());
    return false;
  }
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  if (stream.bad()) {
    report_error("%s: cannot be read", path.c_str());
    return false;
  }
  WineFile file;
  WineReadError error;
  if (!read_wine_file(text.str(), file, error)) {
    if (error.line == 0)
      report_error("%s: %s; nothing of it is used", path.c_str(), error.reason.c_str());
    else
      report_error("%s:%zu: %s; nothing of the file is used", path.c_str(), error.line,
                   error.reason.c_str());
    return false;
  }
  if (root == regfile::kRootLocalMachine) machine_is_win64_ = file.arch == "win64";
  for (WineKey& stored : file.keys) {
    const std::uint32_t key = key_for(root, stored.path);
    for (StoredValue& value : stored.values) {
      // A name given twice: the last line counts, as when Wine loads it.
      std::vector<StoredValue>& values = keys_[key].values;
      std::size_t same = 0;
      while (same < values.size() && !regfile::equal_folded(values[same].name, value.name)) ++same;
      if (same == values.size())
        values.push_back(std::move(value));
      else
        values[same] = std::move(value);
    }
  }
  return true;
}

// The key and its ancestors, made as the file names them: Wine writes no
// line for a key that holds only subkeys.
std::uint32_t WineRegistry::key_for(std::size_t root, std::string_view path) {
  std::uint32_t parent = static_cast<std::uint32_t>(root);
  std::size_t begin = 0;
  while (begin < path.size()) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    const std::string key = path_key(root, path.substr(0, end));
    auto found = by_path_.find(key);
    if (found == by_path_.end()) {
      const auto made = static_cast<std::uint32_t>(keys_.size());
      keys_.push_back({std::string(path.substr(begin, end - begin)), {}, {}});
      keys_[parent].subkeys.push_back(made);
      found = by_path_.emplace(key, made).first;
    }
    parent = found->second;
    begin = end + 1;
  }
  return parent;
}

std::string WineRegistry::stored_path(std::size_t root, std::string_view path) const {
  constexpr std::string_view kSoftware = "software";
  const bool under_software = path.size() > kSoftware.size() && path[kSoftware.size()] == '\\' &&
                              regfile::equal_folded(path.substr(0, kSoftware.size()), kSoftware);
  if (root != regfile::kRootLocalMachine || !machine_is_win64_ || !under_software)
    return std::string(path);
  return "Software\\Wow6432Node" + std::string(path.substr(kSoftware.size()));
}

std::uint32_t WineRegistry::find_key(std::size_t root, std::string_view path) {
  if (!ready()) return regfile::kNoKey;
  if (path.empty()) return static_cast<std::uint32_t>(root);
  const auto found = by_path_.find(path_key(root, stored_path(root, path)));
  return found == by_path_.end() ? regfile::kNoKey : found->second;
}

bool WineRegistry::count_subkeys(std::uint32_t key, std::uint32_t& count) const {
  if (!alive(key)) return false;
  count = static_cast<std::uint32_t>(keys_[key].subkeys.size());
  return true;
}

bool WineRegistry::list_subkeys(std::uint32_t key, std::vector<std::string>& names) {
  if (!alive(key)) return false;
  for (const std::uint32_t subkey : keys_[key].subkeys) names.push_back(keys_[subkey].name);
  return true;
}

const StoredValue* WineRegistry::find_value(std::uint32_t key, std::string_view name) {
  if (!alive(key)) return nullptr;
  for (const StoredValue& value : keys_[key].values)
    if (regfile::equal_folded(value.name, name)) return &value;
  return nullptr;
}

bool WineRegistry::list_values(std::uint32_t key, std::vector<const StoredValue*>& values) {
  if (!alive(key)) return false;
  for (const StoredValue& value : keys_[key].values) values.push_back(&value);
  return true;
}

void WineRegistry::end_run() {
  state_ = State::unloaded;
  keys_.clear();
  by_path_.clear();
  machine_is_win64_ = false;
}

}  // namespace morvex::winefile
