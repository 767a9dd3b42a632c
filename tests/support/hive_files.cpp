#include "hive_files.h"

#include <hivex.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "registry/hive_file/hive_value.h"
#include "registry/reg_file/reg_text.h"
#include "registry/reg_file/reg_tree.h"
#include "registry_view.h"
#include "test_files.h"

namespace morvex::support {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBin = 0x1000;
constexpr std::uint32_t kNone = 0xffffffff;

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}
void put_text(std::string& bytes, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) bytes[at + i] = text[i];
}
void put16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

std::string windows_folder(const std::string& folder, const DiskShape& shape) {
  return folder + "/" + shape.windows;
}

std::string profile_folder(const std::string& folder, const DiskShape& shape) {
  std::string path = folder + "/" + shape.profiles + "/" + shape.user;
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

std::string utf16le(const std::string& utf8) {
  std::u16string units;
  regfile::utf16_from_utf8(utf8, units);
  std::string bytes;
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xff);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

class WritableHive {
 public:
  explicit WritableHive(const std::string& path) : path_(path), handle_(hivex_open(path.c_str(), HIVEX_OPEN_WRITE)) {}
  ~WritableHive() {
    if (handle_ != nullptr) hivex_close(handle_);
  }
  WritableHive(const WritableHive&) = delete;
  WritableHive& operator=(const WritableHive&) = delete;

  bool open() const { return handle_ != nullptr; }

  // The key below the root, made with its ancestors as needed.
  hive_node_h key(const std::string& path) {
    hive_node_h node = hivex_root(handle_);
    std::size_t begin = 0;
    while (node != 0 && begin < path.size()) {
      std::size_t end = path.find('\\', begin);
      if (end == std::string::npos) end = path.size();
      const std::string name = path.substr(begin, end - begin);
      hive_node_h child = hivex_node_get_child(handle_, node, name.c_str());
      node = child != 0 ? child : hivex_node_add_child(handle_, node, name.c_str());
      begin = end + 1;
    }
    return node;
  }

  bool set(hive_node_h node, const std::vector<RegTreeValue>& values) {
    std::vector<std::string> names, datas;
    std::vector<hive_set_value> set;
    names.reserve(values.size());
    datas.reserve(values.size());
    for (const RegTreeValue& value : values) {
      names.push_back(value.name);
      datas.push_back(regfile::is_text_type(value.type) ? utf16le(value.data) : value.data);
      set.push_back(hivefile::hive_value_to_set(names.back(), value.type, datas.back()));
    }
    return set.empty() || hivex_node_set_values(handle_, node, set.size(), set.data(), 0) == 0;
  }

  bool commit() { return hivex_commit(handle_, nullptr, 0) == 0; }

 private:
  std::string path_;
  hive_h* handle_;
};

// HKEY_CURRENT_USER\X -> the user's hive, X; HKEY_LOCAL_MACHINE\Software\X ->
// the SOFTWARE hive, X below `software_base`; anything else is not laid.
bool split_path(const std::string& full, bool& user, std::string& path, const std::string& software_base) {
  const std::size_t slash = full.find('\\');
  const std::string root = full.substr(0, slash);
  const std::string rest = slash == std::string::npos ? "" : full.substr(slash + 1);
  if (root == "HKEY_CURRENT_USER") {
    user = true;
    path = rest;
    return true;
  }
  const std::string folded_rest = folded(rest);
  if (root != "HKEY_LOCAL_MACHINE" || (folded_rest != "software" && !folded_rest.starts_with("software\\")))
    return false;
  user = false;
  path = software_base;
  if (folded_rest.size() > 8) {
    if (!path.empty()) path += '\\';
    path.append(rest, 9);
  }
  return true;
}

bool fill(WritableHive& user, WritableHive& software, std::string_view reg_text, const std::string& base,
          std::string& error) {
  std::vector<RegTreeKey> keys;
  if (!read_reg_tree(reg_text, keys, error)) return false;
  for (const RegTreeKey& key : keys) {
    bool is_user = false;
    std::string path;
    if (!split_path(key.path, is_user, path, base)) continue;
    WritableHive& hive = is_user ? user : software;
    const hive_node_h node = hive.key(path);
    if (node == 0 || !hive.set(node, key.values)) {
      error = key.path + ": libhivex cannot write it";
      return false;
    }
  }
  return true;
}

// A .reg text of a hive's keys below `base` (a path of `prefix`'s subtree).
void dump(hive_h* hive, hive_node_h node, const std::string& path, std::string& out) {
  out += "\r\n[" + path + "]\r\n";
  if (hive_value_h* values = hivex_node_values(hive, node)) {
    for (std::size_t i = 0; values[i] != 0; ++i) {
      char* name = hivex_value_key(hive, values[i]);
      std::uint32_t type = 0;
      std::string bytes;
      hivefile::read_hive_value(hive, values[i], type, bytes);
      const std::string program = regfile::is_text_type(type) ? regfile::utf8_of_utf16le(bytes) : bytes;
      regfile::format_value(name == nullptr ? "" : name, type, program, regfile::Encoding::utf8, "\r\n", out);
      std::free(name);
    }
    std::free(values);
  }
  if (hive_node_h* children = hivex_node_children(hive, node)) {
    for (std::size_t i = 0; children[i] != 0; ++i) {
      char* name = hivex_node_name(hive, children[i]);
      const std::string child = name == nullptr ? "" : name;
      std::free(name);
      // The 32-bit view's keys are dumped apart from the 64-bit view's own.
      if (path == "HKEY_LOCAL_MACHINE\\Software" && folded(child) == "wow6432node") continue;
      dump(hive, children[i], path + "\\" + child, out);
    }
    std::free(children);
  }
}

}  // namespace

std::string software_hive(const std::string& folder, const DiskShape& shape) {
  return windows_folder(folder, shape) + (shape.windows == "WINNT" ? "/system32/config/SOFTWARE" : "/System32/config/SOFTWARE");
}

std::string user_hive(const std::string& folder, const DiskShape& shape) {
  return profile_folder(folder, shape) + "/NTUSER.DAT";
}

bool write_empty_hive(const std::string& path, std::uint32_t minor_version) {
  std::string bytes(2 * kBin, '\0');
  // The header.
  put_text(bytes, 0, "regf");
  put32(bytes, 4, 1);  // both sequence numbers alike: closed cleanly
  put32(bytes, 8, 1);
  put32(bytes, 0x14, 1);
  put32(bytes, 0x18, minor_version);
  put32(bytes, 0x20, 1);
  put32(bytes, 0x24, 0x20);  // the root key's cell, counted from the first bin
  put32(bytes, 0x28, kBin);  // the bins' size
  put32(bytes, 0x2c, 1);
  // The one bin, its cells after its 32-byte header.
  put_text(bytes, kBin, "hbin");
  put32(bytes, kBin + 8, kBin);
  constexpr std::size_t kRoot = 0x20, kRootSize = 0x58, kSecurity = kRoot + kRootSize, kSecuritySize = 0x30;
  std::size_t at = kBin + kRoot;
  put32(bytes, at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kRootSize)));
  put_text(bytes, at + 4, "nk");
  put16(bytes, at + 6, 0x2c);  // the hive's root, not to be deleted, its name in Latin-1
  for (const std::size_t field : {0x20u, 0x24u, 0x2cu, 0x34u})
    put32(bytes, at + field, kNone);  // no subkey list, volatile subkey list, value list, class
  put32(bytes, at + 0x30, static_cast<std::uint32_t>(kSecurity));
  put16(bytes, at + 0x4c, 4);
  put_text(bytes, at + 0x50, "ROOT");
  // Its security record: a self-relative descriptor with no DACL.
  at = kBin + kSecurity;
  put32(bytes, at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kSecuritySize)));
  put_text(bytes, at + 4, "sk");
  put32(bytes, at + 8, static_cast<std::uint32_t>(kSecurity));
  put32(bytes, at + 12, static_cast<std::uint32_t>(kSecurity));
  put32(bytes, at + 16, 1);
  put32(bytes, at + 20, 20);
  bytes[at + 24] = 1;
  put16(bytes, at + 26, 0x8004);
  // The rest of the bin is one free cell.
  put32(bytes, kBin + kSecurity + kSecuritySize, static_cast<std::uint32_t>(kBin - kSecurity - kSecuritySize));
  std::uint32_t sum = 0;
  for (std::size_t word = 0; word < 0x1fc; word += 4)
    sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[word])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[word + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[word + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[word + 3])) << 24;
  put32(bytes, 0x1fc, sum == 0 ? 1 : sum == kNone ? 0xfffffffe : sum);
  fs::create_directories(fs::path(path).parent_path());
  return write_file(path, bytes);
}

bool lay_windows_disk(const std::string& folder, std::string_view reg_text, std::string_view own_64bit_text,
                      std::string& error, const DiskShape& shape) {
  const std::string software_path = software_hive(folder, shape);
  const std::string user_path = user_hive(folder, shape);
  if (!write_empty_hive(software_path, shape.minor_version) || !write_empty_hive(user_path, shape.minor_version)) {
    error = "cannot write the empty hives";
    return false;
  }
  WritableHive user(user_path), software(software_path);
  if (!user.open() || !software.open()) {
    error = "libhivex cannot open the empty hives";
    return false;
  }
  const std::string profile = (shape.windows == "WINNT" && shape.profiles.starts_with("WINNT") ? "%SystemRoot%"
                               + shape.profiles.substr(5) : "%SystemDrive%\\" + shape.profiles) + "\\" + shape.user;
  const hive_node_h listed =
      software.key("Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-1000");
  // Every 64-bit Windows has the 32-bit view's key, even with nothing in it.
  if (listed == 0 || !software.set(listed, {{"ProfileImagePath", 2, profile + '\0'}}) ||
      (shape.is_64_bit && software.key("Wow6432Node") == 0)) {
    error = "cannot list the profile";
    return false;
  }
  if (!fill(user, software, reg_text, shape.is_64_bit ? "Wow6432Node" : "", error) ||
      (shape.is_64_bit && !fill(user, software, own_64bit_text, "", error)))
    return false;
  if (!user.commit() || !software.commit()) {
    error = "libhivex cannot save the hives";
    return false;
  }
  return true;
}

bool read_windows_disk(const std::string& folder, std::string& reg_text, std::string& own_64bit_text,
                       std::string& error, const DiskShape& shape) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n";
  reg_text = own_64bit_text = header;
  hive_h* user = hivex_open(user_hive(folder, shape).c_str(), 0);
  hive_h* software = hivex_open(software_hive(folder, shape).c_str(), 0);
  const bool opened = user != nullptr && software != nullptr;
  if (opened) {
    dump(user, hivex_root(user), "HKEY_CURRENT_USER", reg_text);
    const hive_node_h root = hivex_root(software);
    const hive_node_h wow = hivex_node_get_child(software, root, "Wow6432Node");
    if (shape.is_64_bit) {
      if (wow != 0) dump(software, wow, "HKEY_LOCAL_MACHINE\\Software", reg_text);
      dump(software, root, "HKEY_LOCAL_MACHINE\\Software", own_64bit_text);
    } else {
      dump(software, root, "HKEY_LOCAL_MACHINE\\Software", reg_text);
    }
  } else {
    error = "libhivex cannot open the hives after the run";
  }
  if (user != nullptr) hivex_close(user);
  if (software != nullptr) hivex_close(software);
  return opened;
}

}  // namespace morvex::support
