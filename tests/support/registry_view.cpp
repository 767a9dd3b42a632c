#include "registry_view.h"

#include <cstdio>

#include "registry/reg_file/reg_text.h"
#include "text/formatted.h"
#include "text/ascii_case.h"
#include "text/dword_bytes.h"

namespace morvex::support {
namespace {

bool below_any(const std::string& folded_path, const std::vector<std::string>& subtrees) {
  if (subtrees.empty()) return true;
  for (const std::string& root : subtrees) {
    const std::string folded_root = folded(root);
    if (folded_path == folded_root || folded_path.starts_with(folded_root + "\\")) return true;
  }
  return false;
}

bool compared(const ComparedKey& key) {
  return key.path.find('\\') != std::string::npos || !key.values.empty();
}

std::string show_name(const std::string& name) { return name.empty() ? "@" : "\"" + name + "\""; }

// A value as a .reg line would show it: "text", dword:0000002a, hex(N):..
std::string show_value(std::uint32_t type, const std::string& data) {
  if (type == regfile::kTypeDword && data.size() == 4)
    return formatted("dword:%08x", static_cast<unsigned>(dword_from_bytes(data)));
  if (type == regfile::kTypeSz && !data.empty() && data.back() == '\0' &&
      data.find('\0') == data.size() - 1) {
    std::string shown = "\"";
    for (char c : data.substr(0, data.size() - 1)) {
      if (c == '"' || c == '\\') shown += '\\';
      shown += c;
    }
    return shown + "\"";
  }
  std::string shown = formatted("hex(%x):", static_cast<unsigned>(type));
  for (std::size_t i = 0; i < data.size(); ++i)
    shown += formatted("%s%02x", i == 0 ? "" : ",", static_cast<unsigned char>(data[i]));
  return shown;
}

}  // namespace

std::string folded(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = fold_ascii(c);
  return result;
}

bool add_reg_text(std::string_view file_bytes, RegistryView& view, std::string& error,
                  const std::vector<std::string>& subtrees) {
  std::vector<RegTreeKey> keys;
  if (!read_reg_tree(file_bytes, keys, error)) return false;
  add_keys(keys, view, subtrees);
  return true;
}

void add_keys(const std::vector<RegTreeKey>& keys, RegistryView& view,
              const std::vector<std::string>& subtrees) {
  for (const RegTreeKey& key : keys) {
    const std::string folded_path = folded(key.path);
    if (!below_any(folded_path, subtrees)) continue;
    ComparedKey& into = view[folded_path];
    if (into.path.empty()) into.path = key.path;
    for (const RegTreeValue& value : key.values) {
      ComparedValue& stored = into.values[folded(value.name)];
      if (stored.name.empty()) stored.name = value.name;
      stored.type = value.type;
      stored.data = value.data;
    }
  }
}

std::vector<std::string> compare_registries(const RegistryView& expected, const RegistryView& actual) {
  std::vector<std::string> differences;
  for (const auto& [path, key] : expected) {
    const auto found = actual.find(path);
    if (found == actual.end()) {
      if (compared(key)) differences.push_back("missing key [" + key.path + "]");
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
    if (expected.count(path) == 0 && compared(key))
      differences.push_back("unexpected key [" + key.path + "]");
  return differences;
}

const ComparedKey* find_key(const RegistryView& view, const std::string& path) {
  const auto found = view.find(folded(path));
  return found == view.end() ? nullptr : &found->second;
}

std::optional<std::string> text_value(const RegistryView& view, const std::string& path,
                                      const std::string& name) {
  const ComparedKey* key = find_key(view, path);
  if (key == nullptr) return std::nullopt;
  const auto value = key->values.find(folded(name));
  if (value == key->values.end()) return std::nullopt;
  return value->second.data.substr(0, value->second.data.find('\0'));
}

bool has_subkeys(const RegistryView& view, const std::string& folded_path) {
  const auto at = view.lower_bound(folded_path + '\\');
  return at != view.end() && at->first.starts_with(folded_path + '\\');
}

}  // namespace morvex::support
