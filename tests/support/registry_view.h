// Registries compared by meaning: key paths and value names without regard
// to ASCII case, types and data exactly.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_file/reg_tree.h"

namespace morvex::support {

// The text with its ASCII letters in lower case, as names are matched.
std::string folded(std::string_view text);

struct ComparedValue {
  std::string name;  // as spelled
  std::uint32_t type = 0;
  std::string data;  // as the registry calls return it
};

struct ComparedKey {
  std::string path;  // as spelled, root first
  std::map<std::string, ComparedValue> values;  // by folded name
};

// Keys by folded path.
using RegistryView = std::map<std::string, ComparedKey>;

// Adds keys already read (see read_reg_tree); with `subtrees`, only the keys
// at or below one of them.
void add_keys(const std::vector<RegTreeKey>& keys, RegistryView& view,
              const std::vector<std::string>& subtrees = {});

// Adds the keys of a .reg text to `view` (several exports make one view);
// with `subtrees`, only the keys at or below one of them.
bool add_reg_text(std::string_view file_bytes, RegistryView& view, std::string& error,
                  const std::vector<std::string>& subtrees = {});

// The differences, one readable line each ("missing key [...]", ...). A root
// key without values is there whether or not a file names it: not compared.
std::vector<std::string> compare_registries(const RegistryView& expected, const RegistryView& actual);

// A key by its full path in any letter case; null when there is none.
const ComparedKey* find_key(const RegistryView& view, const std::string& path);
// A value's text up to its first zero byte; nothing when there is no such value.
std::optional<std::string> text_value(const RegistryView& view, const std::string& path,
                                      const std::string& name);
// Whether the key of this folded path has a key below it.
bool has_subkeys(const RegistryView& view, const std::string& folded_path);

}  // namespace morvex::support
