// Registry files that look like a real machine's export, with the product's
// keys somewhere in the middle: release 2.4 installed, for the benchmark, or
// releases that runs can remove, for the hardening tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex::support {

enum class FileFormat { regedit4, utf16 };

enum class Shape {
  // Keys of every kind, each with its own section, as regedit exports them.
  mixed,
  // Deep paths whose ancestors are named only by their descendants'
  // sections: the most keys a byte of file can make.
  many_keys,
  // Sections in no order below a wide level of siblings, about one key
  // per section.
  unsorted,
};

struct GenerateOptions {
  std::uint64_t size_bytes = 0;  // the file comes out within a few KB of it
  FileFormat format = FileFormat::regedit4;
  Shape shape = Shape::mixed;
  std::uint64_t seed = 1;
};

// The benchmark's files hold the example installation (examples/prefix) half
// way through: release 2.4 integrated with both IDE generations, release 3.0
// of the other language with generation 5 only. A full uninstall of 2.4
// restores generation 4 and removes the executables counted once.
inline constexpr const char* kExamplePrefix = MORVEX_EXAMPLE_PREFIX;
inline constexpr const char* kInstalledRelease = "24";
inline constexpr const char* kProductBinFolder = "drive_c/Program Files/Morvex/bin";
inline constexpr const char* kFilesCountedOnce[] = {"xvxc4.exe", "xvlink4.exe"};

// Writes `path` (a registry file). False with the reason when it cannot.
bool generate_registry(const GenerateOptions& options, const std::string& path, std::string& error);

// Copies the example installation's drive_c into the prefix folder.
bool place_product_files(const std::string& prefix, std::string& error);

// The install key path of a release, below HKEY_CURRENT_USER, and an IDE
// generation's registration key.
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

// REGEDIT4: about a quarter of `bulk_bytes` of other keys, install keys, bulk,
// generation 4, bulk, generation 5, bulk, so that a run changes the file at
// its start, in its middle and near its end.
std::string product_registry(const std::vector<std::string>& releases, std::size_t bulk_bytes);

// The list a generation's "Compiler_List" holds once `gone` are gone.
std::string remaining_list(const std::vector<std::string>& all, const std::vector<std::string>& gone);

}  // namespace morvex::support
