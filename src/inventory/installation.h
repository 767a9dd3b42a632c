// What is installed on the machine, as the product's keys, its shared-file
// counts, its files and the IDEs' settings say, read without changing
// anything: the ground for --list and --check.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvex {

// One release below a compiler key of "Morvex Compilers", with its "IDE"
// value read as the generations it names (1: 4, 2: 5, 3: both, 4: none).
struct InstalledRelease {
  std::string compiler;  // the compiler key's name, "Morvex C/C++ Compiler" ...
  std::string name;      // the release's key name, "24" ...
  std::optional<std::string> ide;
  std::vector<int> generations;
  bool ide_understood = false;  // "IDE" is one of 1 to 4
};

struct RegisteredRelease {
  std::string name;
  bool has_key = false;  // its own key below the generation's registration
  std::optional<std::int32_t> languages;
};

// A generation's registration below "Select Compiler\IDE".
struct GenerationRegistration {
  int generation = 0;  // 4 or 5
  bool present = false;
  std::optional<std::string> list;  // "Compiler_List" as stored
  std::vector<RegisteredRelease> releases;
  std::optional<std::string> selected;  // "Compiler"
  std::optional<std::int32_t> languages;
};

struct ProductFile {
  std::string path;     // the Windows path the counts use
  int generation = 0;   // 4 or 5; 0 for the selection tool, which every generation uses
  std::optional<std::int32_t> shared_count;
  bool on_disk = false;
};

// One tool of an IDE generation: the compiler or the linker.
struct IdeTool {
  std::string role;  // "compiler", "linker"
  std::string key;
  std::optional<std::string> executable;
  bool product_executable = false;  // one of the product's files, or in its bin folder
  bool on_disk = false;             // only looked for when it is the product's
};

struct ToolsMenuState {
  std::string key;
  bool present = false;
  std::optional<std::int32_t> num_tools;
  int entries = 0;  // entries 0 to entries - 1 have a label
  std::optional<int> select_compiler;  // the first "&Select Compiler" entry below NumTools
  std::optional<std::string> select_compiler_program;
  bool select_compiler_program_on_disk = false;
};

struct IdeSettings {
  int generation = 0;
  std::vector<IdeTool> tools;
  ToolsMenuState tools_menu;
};

struct Installation {
  std::vector<InstalledRelease> releases;
  std::vector<GenerationRegistration> registrations;  // 4, then 5
  std::optional<std::string> bin_folder;  // "Bin_directory" of Select Compiler
  std::vector<ProductFile> files;
  std::vector<IdeSettings> ides;  // 4, then 5
};

Installation read_installation();

// Whether anything of the release is there to remove: its install key, or a
// generation's registration naming it (listed, selected, or a key of its own).
bool release_is_installed(const std::string& version_key);

// "Developer Studio 4.x" or "Developer Studio 5.0".
const char* generation_title(int generation);

}  // namespace morvex
