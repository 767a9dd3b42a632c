#include "registry/hive_file/hive_registry.h"
#include "registry/hive_file/hive_value.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/host_prefix.h"
#include "registry/reg_file/reg_index.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/reg_file/reg_text.h"

namespace morvex::hivefile {
namespace {

using regfile::kNoKey;
constexpr std::uint32_t kSoftwareKey = regfile::kRootLocalMachine + 1;

std::string path_key(std::size_t root, std::string_view path) {
  return std::to_string(root) + "\\" + regfile::folded(path);
}

// What libhivex hands out is the caller's to free.
std::string taken(char* text) {
  std::string copy = text == nullptr ? "" : text;
  std::free(text);
  return copy;
}

// The program sees texts as UTF-8 with their zero; a hive holds UTF-16LE.
std::string program_data(std::uint32_t type, const std::string& bytes) {
  return regfile::is_text_type(type) ? regfile::utf8_of_utf16le(bytes) : bytes;
}

bool hive_data(std::uint32_t type, const std::string& data, std::string& bytes) {
  if (!regfile::is_text_type(type)) {
    bytes = data;
    return true;
  }
  std::u16string units;
  if (!regfile::utf16_from_utf8(data, units)) return false;
  bytes.clear();
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xff);
    bytes += static_cast<char>(unit >> 8);
  }
  return true;
}

}  // namespace

const DiskLayout* HiveRegistry::layout() {
  if (found_ == Found::not_yet) found_ = find_disk_layout(disk_, layout_) ? Found::found : Found::failed;
  return found_ == Found::found ? &layout_ : nullptr;
}

bool HiveRegistry::ready() {
  if (state_ != State::unloaded) return state_ == State::ready;
  state_ = State::failed;
  if (layout() == nullptr) return false;
  if (dir_fd_ < 0) {
    dir_fd_ = open(disk_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0 || !lock_prefix_folder(dir_fd_, disk_.folder)) {
      report_error("%s: cannot lock the Windows disk's folder: %s", disk_.folder.c_str(), std::strerror(errno));
      return load_failed();
    }
  }
  user_.path = layout_.user_hive;
  user_.name = "NTUSER.DAT";
  software_.path = layout_.software;
  software_.name = "SOFTWARE";
  if (!load_hive(user_) || !load_hive(software_)) return load_failed();
  if (hive_node_h wow = hivex_node_get_child(software_.handle, software_.base, "Wow6432Node"); wow != 0)
    software_.base = wow;
  keys_.assign(kSoftwareKey + 1, Key{});
  if (user_.handle != nullptr) keys_[regfile::kRootCurrentUser] = {&user_, user_.base, kNoKey, "", false, false, {}};
  keys_[kSoftwareKey] = {&software_, software_.base, regfile::kRootLocalMachine, "Software", false, false, {}};
  state_ = State::ready;
  return true;
}

bool HiveRegistry::load_hive(Hive& hive) {
  if (hive.path.empty()) return true;
  unlink((hive.path + ".saving").c_str());  // what a killed save left; harmless if absent
  hive.fd = open(hive.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (hive.fd < 0 || fstat(hive.fd, &hive.status) != 0 || !S_ISREG(hive.status.st_mode)) {
    report_error("%s: cannot read: %s", hive.path.c_str(),
                 hive.fd < 0 ? std::strerror(errno) : "not a regular file");
    return false;
  }
  std::string first(kHeaderSize, '\0');
  const ssize_t got = pread(hive.fd, first.data(), first.size(), 0);
  first.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  std::string reason;
  if (!read_hive_header(first, hive.header, reason)) {
    report_error("%s: %s; nothing is read or changed", hive.path.c_str(), reason.c_str());
    return false;
  }
  hive.handle = hivex_open(hive.path.c_str(), HIVEX_OPEN_WRITE);
  if (hive.handle == nullptr) {
    report_error("%s: libhivex cannot read this hive (%s); nothing is read or changed", hive.path.c_str(),
                 std::strerror(errno));
    return false;
  }
  hive.base = hivex_root(hive.handle);
  return hive.base != 0;
}

bool HiveRegistry::load_failed() {
  unload();
  state_ = State::failed;
  return false;
}

std::uint32_t HiveRegistry::child_of(std::uint32_t parent, std::string_view name, bool make) {
  const Key& above = keys_[parent];
  if (above.hive == nullptr) {  // HKEY_LOCAL_MACHINE holds the SOFTWARE hive alone
    const bool software = parent == regfile::kRootLocalMachine && regfile::equal_folded(name, "software");
    return software && keys_.size() > kSoftwareKey ? kSoftwareKey : kNoKey;
  }
  const std::string spelled(name);
  hive_node_h node = hivex_node_get_child(above.hive->handle, above.node, spelled.c_str());
  if (node == 0 && make) {
    const std::uint32_t minor = above.hive->header.minor;
    if (minor < 5) {
      if (!refused_old_hive_)
        report_error("%s: a hive of format 1.%u (Windows NT 4.0 or 2000), in which no key is made: "
                     "libhivex would write an index that Windows does not read",
                     above.hive->path.c_str(), minor);
      refused_old_hive_ = true;
      return kNoKey;
    }
    node = hivex_node_add_child(above.hive->handle, above.node, spelled.c_str());
    above.hive->changed = above.hive->changed || node != 0;
  }
  if (node == 0) return kNoKey;
  for (std::uint32_t known = 0; known < keys_.size(); ++known)
    if (keys_[known].hive == above.hive && keys_[known].node == node && !keys_[known].deleted) return known;
  Key child;
  child.hive = above.hive;
  child.node = node;
  child.parent = parent;
  child.name = taken(hivex_node_name(above.hive->handle, node));
  keys_.push_back(std::move(child));
  return static_cast<std::uint32_t>(keys_.size() - 1);
}

std::uint32_t HiveRegistry::find_key(std::size_t root, std::string_view path) {
  if (!ready()) return kNoKey;
  auto key = static_cast<std::uint32_t>(root);
  if (path.empty()) return key;
  const auto found = by_path_.find(path_key(root, path));
  if (found != by_path_.end() && alive(found->second)) return found->second;
  for (std::size_t begin = 0; begin < path.size() && key != kNoKey;) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    key = child_of(key, path.substr(begin, end - begin), false);
    begin = end + 1;
  }
  if (key != kNoKey) by_path_[path_key(root, path)] = key;
  return key;
}

bool HiveRegistry::count_subkeys(std::uint32_t key, std::uint32_t& count) const {
  if (!alive(key)) return false;
  const Key& at = keys_[key];
  count = at.hive == nullptr ? (key == regfile::kRootLocalMachine ? 1 : 0)
                             : static_cast<std::uint32_t>(hivex_node_nr_children(at.hive->handle, at.node));
  return true;
}

bool HiveRegistry::list_subkeys(std::uint32_t key, std::vector<std::string>& names) {
  if (!alive(key)) return false;
  const Key& at = keys_[key];
  if (at.hive == nullptr) {
    if (key == regfile::kRootLocalMachine) names.push_back("Software");
    return true;
  }
  hive_node_h* children = hivex_node_children(at.hive->handle, at.node);
  if (children == nullptr) return false;
  for (std::size_t i = 0; children[i] != 0; ++i) names.push_back(taken(hivex_node_name(at.hive->handle, children[i])));
  std::free(children);
  return true;
}

bool HiveRegistry::read_values(Key& key) {
  if (key.values_read || key.hive == nullptr) return true;
  hive_h* handle = key.hive->handle;
  hive_value_h* values = hivex_node_values(handle, key.node);
  if (values == nullptr) return false;
  key.values.clear();
  for (std::size_t i = 0; values[i] != 0; ++i) {
    std::uint32_t type = 0;
    std::string data;
    // Unreadable data is no value the program could use.
    if (read_hive_value(handle, values[i], type, data))
      key.values.push_back({taken(hivex_value_key(handle, values[i])), type, program_data(type, data)});
  }
  std::free(values);
  key.values_read = true;
  return true;
}

const StoredValue* HiveRegistry::find_value(std::uint32_t key, std::string_view name) {
  if (!alive(key) || !read_values(keys_[key])) return nullptr;
  for (const StoredValue& value : keys_[key].values)
    if (regfile::equal_folded(value.name, name)) return &value;
  return nullptr;
}

bool HiveRegistry::list_values(std::uint32_t key, std::vector<const StoredValue*>& values) {
  if (!alive(key) || !read_values(keys_[key])) return false;
  for (const StoredValue& value : keys_[key].values) values.push_back(&value);
  return true;
}

bool HiveRegistry::set_value(std::uint32_t key, std::string_view name, std::uint32_t type, std::string data) {
  if (!alive(key) || keys_[key].hive == nullptr) return false;
  Key& at = keys_[key];
  std::string bytes;
  std::string spelled(name);
  if (!hive_data(type, data, bytes)) return false;
  // Past this a hive of format 1.4 and later keeps data in big-data cells,
  // which libhivex does not write.
  constexpr std::size_t kLargestPlainData = 16344;
  if (bytes.size() > kLargestPlainData) {
    report_error("%s: %s: a value of %zu bytes, more than libhivex writes as Windows reads it, is left as it was",
                 at.hive->path.c_str(), std::string(name).c_str(), bytes.size());
    return false;
  }
  // An existing value keeps the spelling of its name, as on Windows.
  if (const StoredValue* existing = find_value(key, name); existing != nullptr) spelled = existing->name;
  const hive_set_value value = hive_value_to_set(spelled, type, bytes);
  at.values_read = false;
  if (hivex_node_set_value(at.hive->handle, at.node, &value, 0) != 0) return false;
  at.hive->changed = true;
  return true;
}

bool HiveRegistry::delete_value(std::uint32_t key, std::string_view name) {
  if (!alive(key) || keys_[key].hive == nullptr) return false;
  Key& at = keys_[key];
  hive_h* handle = at.hive->handle;
  hive_value_h* values = hivex_node_values(handle, at.node);
  if (values == nullptr) return false;
  // libhivex sets a key's values all at once: every other value, as it is.
  std::vector<std::string> names, datas;
  std::vector<std::uint32_t> types;
  bool found = false;
  for (std::size_t i = 0; values[i] != 0; ++i) {
    std::string value_name = taken(hivex_value_key(handle, values[i]));
    if (regfile::equal_folded(value_name, name)) {
      found = true;
      continue;
    }
    std::uint32_t type = 0;
    std::string data;
    if (!read_hive_value(handle, values[i], type, data)) {
      std::free(values);
      return false;
    }
    names.push_back(std::move(value_name));
    datas.push_back(std::move(data));
    types.push_back(type);
  }
  std::free(values);
  if (!found) return false;
  std::vector<hive_set_value> kept;
  for (std::size_t i = 0; i < names.size(); ++i)
    kept.push_back(hive_value_to_set(names[i], types[i], datas[i]));
  at.values_read = false;
  if (hivex_node_set_values(handle, at.node, kept.size(), kept.data(), 0) != 0) return false;
  at.hive->changed = true;
  return true;
}

bool HiveRegistry::delete_key(std::size_t root, std::string_view path) {
  const std::uint32_t key = find_key(root, path);
  if (key == kNoKey || key <= kSoftwareKey || keys_[key].hive == nullptr) return false;
  Key& at = keys_[key];
  if (hivex_node_nr_children(at.hive->handle, at.node) != 0 ||
      hivex_node_delete_child(at.hive->handle, at.node) != 0)
    return false;
  at.deleted = true;
  at.hive->changed = true;
  by_path_.erase(path_key(root, path));
  return true;
}

bool HiveRegistry::create_key(std::size_t root, std::string_view path) {
  if (!ready() || path.empty()) return false;
  auto key = static_cast<std::uint32_t>(root);
  for (std::size_t begin = 0; begin <= path.size() && key != kNoKey;) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    if (end == begin) return false;
    key = child_of(key, path.substr(begin, end - begin), true);
    begin = end + 1;
  }
  return key != kNoKey;
}

void HiveRegistry::unload() {
  for (Hive* hive : hives()) {
    if (hive->handle != nullptr) hivex_close(hive->handle);
    if (hive->fd >= 0) close(hive->fd);
    *hive = Hive{};
  }
  keys_.clear();
  by_path_.clear();
  state_ = State::unloaded;
  ++generation_;
}

void HiveRegistry::end_run() {
  unload();
  if (dir_fd_ >= 0) close(dir_fd_);
  dir_fd_ = -1;
  found_ = Found::not_yet;
  refused_old_hive_ = false;
}

}  // namespace morvex::hivefile
