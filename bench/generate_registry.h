// Registry files of a chosen size that look like a real machine's export,
// with release 2.4 installed somewhere in the middle of them.
#pragma once

#include <cstdint>
#include <string>

namespace morvex::bench {

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

// The registry files' product: release 2.4 integrated with both IDE
// generations and the last release registered for each, its executables
// present in drive_c with a shared count of 1, so that a full uninstall
// removes all of them.
inline constexpr const char* kInstalledRelease = "24";
inline constexpr const char* kProductBinFolder = "drive_c/Program Files/Morvex/bin";
inline constexpr const char* kProductFiles[] = {"xvxc4.exe", "xvlink4.exe", "xvxc5.exe",
                                                "xvlink5.exe", "compsel.exe"};

// Writes `path` (a registry file). False with the reason when it cannot.
bool generate_registry(const GenerateOptions& options, const std::string& path, std::string& error);

// Puts the product's executables into the prefix folder's drive_c.
bool place_product_files(const std::string& prefix, std::string& error);

}  // namespace morvex::bench
