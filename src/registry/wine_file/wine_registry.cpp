#include "registry/wine_file/wine_registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/host_prefix.h"
#include "registry/reg_file/reg_index.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/reg_file/reg_text.h"
#include "registry/wine_file/wine_reg_writer.h"

namespace morvex::winefile {
namespace {

using regfile::kNoKey;

std::string path_key(std::size_t root, std::string_view path) {
  return std::to_string(root) + "\\" + regfile::folded(path);
}

bool read_all(int fd, std::size_t size, std::string& text) {
  text.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, text.data() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENODATA;  // shorter than it said
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WineRegistry::ready() {
  if (state_ != State::unloaded) return state_ == State::ready;
  state_ = State::failed;
  if (dir_fd_ < 0) {
    dir_fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0 || !lock_prefix_folder(dir_fd_, folder_)) {
      report_error("%s: cannot lock the registry folder: %s", folder_.c_str(), std::strerror(errno));
      return load_failed();
    }
  }
  keys_.assign(regfile::kRootLocalMachine + 1, Key{});
  for (std::size_t root = 0; root < keys_.size(); ++root) keys_[root].root = root;
  if (!load_file(user_, regfile::kRootCurrentUser) || !load_file(machine_, regfile::kRootLocalMachine))
    return load_failed();
  state_ = State::ready;
  return true;
}

bool WineRegistry::load_file(File& file, std::size_t root) {
  const std::string path = folder_ + "/" + file.name;
  // What a killed save left; harmless if absent.
  unlinkat(dir_fd_, (std::string(file.name) + ".saving").c_str(), 0);
  // A FIFO in the file's place would block the open until some writer came.
  file.fd = openat(dir_fd_, file.name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file.fd < 0) {
    if (errno == ENOENT) return true;  // a prefix may lack one of the two
    report_error("%s: cannot read: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  if (fstat(file.fd, &file.status) != 0 || !S_ISREG(file.status.st_mode)) {
    report_error("%s: cannot read: not a regular file", path.c_str());
    return false;
  }
  if (!read_all(file.fd, static_cast<std::size_t>(file.status.st_size), file.text)) {
    report_error("%s: cannot read: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  WineFile read;
  WineReadError error;
  if (!read_wine_file(file.text, read, error)) {
    if (error.line == 0)
      report_error("%s: %s; nothing of it is used", path.c_str(), error.reason.c_str());
    else
      report_error("%s:%zu: %s; nothing of the file is used", path.c_str(), error.line,
                   error.reason.c_str());
    return false;
  }
  if (root == regfile::kRootLocalMachine) machine_is_win64_ = read.arch == "win64";
  for (WineKey& stored : read.keys) {
    const std::uint32_t index = key_for(root, stored.path, false);
    Key& key = keys_[index];
    key.blocks.push_back({stored.block, stored.key_line, stored.time_line, stored.append_at});
    for (std::size_t i = 0; i < stored.values.size(); ++i) {
      // A name given twice: the last line counts, as when Wine loads it.
      std::size_t same = 0;
      while (same < key.values.size() &&
             !regfile::equal_folded(key.values[same].now.name, stored.values[i].name))
        ++same;
      if (same == key.values.size()) key.values.emplace_back();
      key.values[same].now = std::move(stored.values[i]);
      key.values[same].lines.push_back(stored.value_lines[i]);
    }
  }
  return true;
}

bool WineRegistry::load_failed() {
  unload();
  state_ = State::failed;
  return false;
}

// The key and its ancestors, made as the file names them: Wine writes no
// line for a key that holds only subkeys. A key the run makes is stamped
// now, and so is the key it is made in.
std::uint32_t WineRegistry::key_for(std::size_t root, std::string_view path, bool made_now) {
  auto parent = static_cast<std::uint32_t>(root);
  for (std::size_t begin = 0; begin < path.size();) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    const std::string key = path_key(root, path.substr(0, end));
    auto found = by_path_.find(key);
    if (found == by_path_.end()) {
      const auto made = static_cast<std::uint32_t>(keys_.size());
      Key& child = keys_.emplace_back();
      child.name = std::string(path.substr(begin, end - begin));
      child.parent = parent;
      child.root = root;
      keys_[parent].subkeys.push_back(made);
      found = by_path_.emplace(key, made).first;
      if (made_now) {
        touch(parent);
        touch(made);
      }
    }
    parent = found->second;
    begin = end + 1;
  }
  return parent;
}

void WineRegistry::touch(std::uint32_t key) {
  keys_[key].touched = true;
  keys_[key].modified = clock_ != nullptr ? clock_() : filetime_now();
}

std::string WineRegistry::path_of(std::uint32_t key) const {
  std::string path;
  for (; keys_[key].parent != kNoKey; key = keys_[key].parent)
    path = path.empty() ? keys_[key].name : keys_[key].name + "\\" + path;
  return path;
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
  if (!ready()) return kNoKey;
  if (path.empty()) return static_cast<std::uint32_t>(root);
  const auto found = by_path_.find(path_key(root, stored_path(root, path)));
  return found == by_path_.end() ? kNoKey : found->second;
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
  for (const Value& value : keys_[key].values)
    if (regfile::equal_folded(value.now.name, name)) return &value.now;
  return nullptr;
}

bool WineRegistry::list_values(std::uint32_t key, std::vector<const StoredValue*>& values) {
  if (!alive(key)) return false;
  for (const Value& value : keys_[key].values) values.push_back(&value.now);
  return true;
}

bool WineRegistry::set_value(std::uint32_t key, std::string_view name, std::uint32_t type,
                             std::string data) {
  StoredValue made{std::string(name), type, std::move(data)};
  std::string lines;
  if (!alive(key) || !value_lines(made, lines)) return false;
  std::vector<Value>& values = keys_[key].values;
  auto same = values.begin();
  while (same != values.end() && !regfile::equal_folded(same->now.name, name)) ++same;
  if (same == values.end()) {
    values.push_back({std::move(made), {}, true});
  } else {  // the name keeps its spelling, as on Windows
    same->now.type = type;
    same->now.data = std::move(made.data);
    same->changed = true;
  }
  touch(key);
  return true;
}

bool WineRegistry::delete_value(std::uint32_t key, std::string_view name) {
  if (!alive(key)) return false;
  std::vector<Value>& values = keys_[key].values;
  for (auto value = values.begin(); value != values.end(); ++value) {
    if (!regfile::equal_folded(value->now.name, name)) continue;
    keys_[key].dropped.insert(keys_[key].dropped.end(), value->lines.begin(), value->lines.end());
    values.erase(value);
    touch(key);
    return true;
  }
  return false;
}

bool WineRegistry::delete_key(std::size_t root, std::string_view path) {
  const std::uint32_t key = find_key(root, path);
  if (key == kNoKey || key == root || !keys_[key].subkeys.empty()) return false;
  keys_[key].deleted = true;
  std::vector<std::uint32_t>& siblings = keys_[keys_[key].parent].subkeys;
  std::erase(siblings, key);
  by_path_.erase(path_key(root, path_of(key)));
  touch(keys_[key].parent);
  return true;
}

bool WineRegistry::create_key(std::size_t root, std::string_view path) {
  if (!ready() || path.empty()) return false;
  const std::string stored = stored_path(root, path);
  for (std::size_t begin = 0; begin <= stored.size();) {
    std::size_t end = stored.find('\\', begin);
    if (end == std::string::npos) end = stored.size();
    std::string_view name = std::string_view(stored).substr(begin, end - begin);
    std::u16string units;
    if (name.empty() || !regfile::utf16_from_utf8(name, units)) return false;
    begin = end + 1;
  }
  key_for(root, stored, true);
  return true;
}

void WineRegistry::unload() {
  for (File* file : {&user_, &machine_}) {
    if (file->fd >= 0) close(file->fd);
    file->fd = -1;
    file->text.clear();
  }
  keys_.clear();
  by_path_.clear();
  machine_is_win64_ = false;
  state_ = State::unloaded;
  ++generation_;
}

void WineRegistry::end_run() {
  unload();
  if (dir_fd_ >= 0) close(dir_fd_);  // the last descriptor of the lock releases it
  dir_fd_ = -1;
}

}  // namespace morvex::winefile
