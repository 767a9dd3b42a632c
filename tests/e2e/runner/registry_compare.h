// Registries compared by meaning over the subtrees the program touches: key
// and value names without regard to case, types and data exactly.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "registry/reg_file/reg_tree.h"

namespace morvex::e2e {

struct ComparedValue {
  std::string name;  // as first spelled
  std::uint32_t type = 0;
  std::string data;
};

struct ComparedKey {
  std::string path;
  std::map<std::string, ComparedValue> values;  // by lower-case name
};

// Keys by lower-case path, only those at or below a touched subtree.
using RegistryView = std::map<std::string, ComparedKey>;

// Adds the keys of a .reg text to `view` (several exports make one view).
bool add_reg_text(const std::string& file_bytes, RegistryView& view, std::string& error);

// The differences, one readable line each ("missing key [...]", ...).
std::vector<std::string> compare_registries(const RegistryView& expected, const RegistryView& actual);

// A value as a .reg line would show it: "text", dword:0000002a, hex(N):..
std::string show_value(std::uint32_t type, const std::string& data);

}  // namespace morvex::e2e
