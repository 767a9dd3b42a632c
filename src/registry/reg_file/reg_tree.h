// A whole .reg text read at once into its keys and typed values: for tests
// and tools that compare registries by meaning rather than by text. The
// program itself never loads a whole file this way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

struct RegTreeValue {
  std::string name;  // "" is the default value (@)
  std::uint32_t type;
  // As the ANSI registry calls return it: texts as UTF-8 (or the file's own
  // bytes for REGEDIT4) with their zero byte, dwords as 4 bytes little-endian,
  // hex data as its bytes.
  std::string data;
};

struct RegTreeKey {
  std::string path;  // full root name first, e.g. "HKEY_CURRENT_USER\\Software\\X"
  std::vector<RegTreeValue> values;
};

// Every key of the text, roots and implied ancestors included, in the order each is
// first named; values of a key named by several sections are merged, the
// later one winning. On a malformed text returns false and sets error to
// "<line>: <what is wrong>".
bool read_reg_tree(std::string_view file_bytes, std::vector<RegTreeKey>& keys,
                   std::string& error);

}  // namespace morvex
