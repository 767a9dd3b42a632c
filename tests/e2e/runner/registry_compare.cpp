#include "registry_compare.h"

#include <cctype>
#include <cstdio>

#include "case_file.h"

namespace morvex::e2e {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegDword = 4;

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool compared(const std::string& lower_path) {
  for (const std::string& root : touched_subtrees()) {
    const std::string lower_root = lower(root);
    if (lower_path == lower_root || lower_path.starts_with(lower_root + "\\")) return true;
  }
  return false;
}

std::string show_name(const std::string& name) { return name.empty() ? "@" : "\"" + name + "\""; }

}  // namespace

std::string show_value(std::uint32_t type, const std::string& data) {
  char buffer[32];
  if (type == kRegDword && data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    return buffer;
  }
  if (type == kRegSz && !data.empty() && data.back() == '\0' &&
      data.find('\0') == data.size() - 1) {
    std::string shown = "\"";
    for (char c : data.substr(0, data.size() - 1)) {
      if (c == '"' || c == '\\') shown += '\\';
      shown += c;
    }
    return shown + "\"";
  }
  std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
  std::string shown = buffer;
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%s%02x", i == 0 ? "" : ",", static_cast<unsigned char>(data[i]));
    shown += buffer;
  }
  return shown;
}

bool add_reg_text(const std::string& file_bytes, RegistryView& view, std::string& error) {
  std::vector<RegTreeKey> keys;
  if (!read_reg_tree(file_bytes, keys, error)) return false;
  for (const RegTreeKey& key : keys) {
    const std::string lower_path = lower(key.path);
    if (!compared(lower_path)) continue;
    ComparedKey& into = view[lower_path];
    if (into.path.empty()) into.path = key.path;
    for (const RegTreeValue& value : key.values) {
      ComparedValue& stored = into.values[lower(value.name)];
      if (stored.name.empty()) stored.name = value.name;
      stored.type = value.type;
      stored.data = value.data;
    }
  }
  return true;
}

std::vector<std::string> compare_registries(const RegistryView& expected, const RegistryView& actual) {
  std::vector<std::string> differences;
  for (const auto& [path, key] : expected) {
    const auto found = actual.find(path);
    if (found == actual.end()) {
      differences.push_back("missing key [" + key.path + "]");
      continue;
    }
    for (const auto& [name, value] : key.values) {
      const auto other = found->second.values.find(name);
      const std::string where = "[" + key.path + "] " + show_name(value.name);
      if (other == found->second.values.end())
        differences.push_back("missing value " + where + "=" + show_value(value.type, value.data));
      else if (other->second.type != value.type || other->second.data != value.data)
        differences.push_back("value " + where + ": expected " + show_value(value.type, value.data) +
                              ", found " + show_value(other->second.type, other->second.data));
    }
    for (const auto& [name, value] : found->second.values)
      if (key.values.count(name) == 0)
        differences.push_back("unexpected value [" + key.path + "] " + show_name(value.name) + "=" +
                              show_value(value.type, value.data));
  }
  for (const auto& [path, key] : actual)
    if (expected.count(path) == 0) differences.push_back("unexpected key [" + key.path + "]");
  return differences;
}

}  // namespace morvex::e2e
