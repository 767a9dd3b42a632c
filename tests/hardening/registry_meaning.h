// What a saved registry file says, for checks by meaning.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/reg_file/reg_tree.h"

namespace morvex::hardening {

class RegistryMeaning {
 public:
  // False when the bytes do not parse; `error` says where.
  bool read(const std::string& bytes, std::string& error) {
    return read_reg_tree(bytes, keys_, error);
  }

  // A key below HKEY_CURRENT_USER, by a path in any letter case.
  bool has_key(const std::string& path) const { return find(path) != nullptr; }

  // A text value's text, or nothing.
  std::optional<std::string> text(const std::string& path, const std::string& name) const {
    const RegTreeKey* key = find(path);
    if (key == nullptr) return std::nullopt;
    for (const RegTreeValue& value : key->values)
      if (folded(value.name) == folded(name))
        return value.data.substr(0, value.data.find('\0'));
    return std::nullopt;
  }

  std::size_t key_count() const { return keys_.size(); }

 private:
  static std::string folded(std::string text) {
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
  }

  const RegTreeKey* find(const std::string& path) const {
    const std::string wanted = folded("HKEY_CURRENT_USER\\" + path);
    for (const RegTreeKey& key : keys_)
      if (folded(key.path) == wanted) return &key;
    return nullptr;
  }

  std::vector<RegTreeKey> keys_;
};

}  // namespace morvex::hardening
