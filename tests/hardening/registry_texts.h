// Registry files for the hardening tests: the product's keys for releases
// that runs can remove, and bulk keys of a real machine around them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace morvex::hardening {

// The install key path of a release, below HKEY_CURRENT_USER.
std::string install_key(const std::string& release);
std::string generation_key(int generation);

// Releases registered with both IDE generations, each with its install key
// ("IDE" 3) and a C/C++-only release key; release "40" stays registered and is
// each generation's default, so removing the others never restores the IDE.
struct ProductParts {
  std::string install_keys;
  std::string generation_4;
  std::string generation_5;
};
ProductParts product_parts(const std::vector<std::string>& releases);

// About `bytes` of sections such as an exported machine holds: texts,
// numbers and binary data over several lines.
std::string bulk_sections(std::size_t bytes, unsigned seed);

// REGEDIT4 with CRLF line ends: bulk, install keys, bulk, generation 4,
// bulk, generation 5, bulk, so that a run changes the file at its start, in
// its middle and near its end.
std::string product_registry(const std::vector<std::string>& releases, std::size_t bulk_bytes);

// The list a generation's "Compiler_List" holds once `releases` are gone.
std::string remaining_list(const std::vector<std::string>& all, const std::vector<std::string>& gone);

}  // namespace morvex::hardening
