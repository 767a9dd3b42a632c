#include <algorithm>
#include <string_view>

#include "files/product_files.h"
#include "ide/ide_keys.h"
#include "inventory/file_presence.h"
#include "inventory/installation.h"
#include "registrations/list_items.h"
#include "registry/product_keys.h"
#include "registry/registry.h"
#include "text/ascii_case.h"
#include "text/decimal.h"

namespace morvex {
namespace {

// The file sets the uninstall removes, with the generation that runs each
// (0: the selection tool, which every generation's Tools menu runs).
struct FileSet {
  int file_set;
  int generation;
};
constexpr FileSet kFileSets[] = {{4, 4}, {5, 5}, {1, 0}};

std::optional<std::string> read_text(RootKey root, const std::string& path, const std::string& name) {
  RegistryKey key;
  if (!reg_open_key_to_read(root, path, key)) return std::nullopt;
  return reg_read_string(key, name);
}

std::optional<std::int32_t> read_number(const RegistryKey& key, const std::string& name) {
  std::int32_t number = 0;
  if (!reg_read_dword(key, name, number)) return std::nullopt;
  return number;
}

std::vector<std::string> subkeys_of(const std::string& path) {
  std::vector<std::string> names;
  RegistryKey key;
  if (reg_open_key_to_read(RootKey::current_user, path, key)) reg_list_subkeys(key, names);
  return names;
}

std::vector<int> generations_of(std::int32_t selector) {
  switch (selector) {
    case 1: return {4};
    case 2: return {5};
    case 3: return {4, 5};
    default: return {};
  }
}

void read_releases(Installation& installation) {
  for (const std::string& compiler : subkeys_of(kCompilersKey)) {
    const std::string compiler_path = std::string(kCompilersKey) + "\\" + compiler;
    for (const std::string& name : subkeys_of(compiler_path)) {
      InstalledRelease release{compiler, name, read_text(RootKey::current_user,
                                                         compiler_path + "\\" + name, "IDE"), {}};
      if (release.ide) {
        // Read as the uninstall reads it, so that both agree on what it names.
        const std::int32_t selector = parse_decimal(*release.ide);
        release.ide_understood = selector >= 1 && selector <= 4;
        release.generations = generations_of(selector);
      }
      installation.releases.push_back(std::move(release));
    }
  }
}

GenerationRegistration read_registration(int generation) {
  GenerationRegistration registration;
  registration.generation = generation;
  const std::string path = std::string(kIdeKey) + "\\" + std::to_string(generation);
  RegistryKey key;
  if (!reg_open_key_to_read(RootKey::current_user, path, key)) return registration;
  registration.present = true;
  registration.list = reg_read_string(key, "Compiler_List");
  registration.selected = reg_read_string(key, "Compiler");
  registration.languages = read_number(key, "Languages");
  if (!registration.list) return registration;
  for_each_list_item(*registration.list, [&](const ListItem& item) {
    RegisteredRelease release{std::string(item.text), false, std::nullopt};
    RegistryKey release_key;
    if (reg_open_key_to_read(RootKey::current_user, path + "\\" + release.name, release_key)) {
      release.has_key = true;
      release.languages = read_number(release_key, "Languages");
    }
    registration.releases.push_back(std::move(release));
  });
  return registration;
}

void read_product_files(Installation& installation) {
  installation.bin_folder = read_text(RootKey::current_user, kSelectCompilerKey, "Bin_directory");
  if (!installation.bin_folder) return;
  RegistryKey counts;
  const bool counted = reg_open_key_to_read(RootKey::local_machine, kSharedDllsKey, counts);
  for (const FileSet& set : kFileSets)
    for (const char* name : product_file_names(set.file_set)) {
      // Composed as the installer composed the counts' names.
      ProductFile product{*installation.bin_folder + "\\" + name, set.generation, std::nullopt, false};
      if (counted) product.shared_count = read_number(counts, product.path);
      product.on_disk = file_present(product.path);
      installation.files.push_back(std::move(product));
    }
}

bool is_product_executable(const Installation& installation, std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  for (const FileSet& set : kFileSets)
    for (const char* name : product_file_names(set.file_set))
      if (equal_folded(base, name)) return true;
  if (!installation.bin_folder || installation.bin_folder->empty()) return false;
  const std::string folder = *installation.bin_folder + "\\";
  return path.size() > folder.size() && equal_folded(path.substr(0, folder.size()), folder);
}

ToolsMenuState read_tools_menu(const Installation& installation, const IdeKeys& ide_keys) {
  ToolsMenuState menu;
  menu.key = ide_keys.tools_menu_key;
  RegistryKey key;
  std::uint32_t values = 0;
  if (!reg_open_key_to_read(RootKey::current_user, menu.key, key) || !reg_count_values(key, values)) return menu;
  menu.present = true;
  menu.num_tools = read_number(key, "NumTools");
  const auto label = [&](std::uint32_t number) {
    return reg_read_string(key, ide_keys.label_stem + std::to_string(number));
  };
  // A key holds no more entries than values; entries past "NumTools" are
  // what a removal leaves when it moves the later ones down.
  while (static_cast<std::uint32_t>(menu.entries) < values && label(menu.entries)) ++menu.entries;
  const std::int32_t shown = std::min<std::int64_t>(menu.num_tools.value_or(0), values);
  for (std::int32_t number = 0; number < shown; ++number) {
    if (label(number) != "&Select Compiler") continue;
    menu.select_compiler = number;
    menu.select_compiler_program = reg_read_string(key, "PathName#" + std::to_string(number));
    // Only the product's own program is looked for.
    menu.select_compiler_program_on_disk =
        !menu.select_compiler_program ||
        !is_product_executable(installation, *menu.select_compiler_program) ||
        file_present(*menu.select_compiler_program);
    break;
  }
  return menu;
}

IdeSettings read_ide(const Installation& installation, const IdeKeys& ide_keys) {
  IdeSettings ide;
  ide.generation = ide_keys.generation;
  for (const auto& [role, key] : {std::pair{"compiler", ide_keys.compiler_tool_key},
                                  std::pair{"linker", ide_keys.linker_tool_key}}) {
    IdeTool tool{role, key, std::nullopt, false, false};
    tool.executable = read_text(RootKey::current_user, tool.key, "Executable Path");
    tool.product_executable = tool.executable && is_product_executable(installation, *tool.executable);
    if (tool.product_executable) tool.on_disk = file_present(*tool.executable);
    ide.tools.push_back(std::move(tool));
  }
  ide.tools_menu = read_tools_menu(installation, ide_keys);
  return ide;
}

}  // namespace

const char* generation_title(int generation) {
  return generation == 4 ? "Developer Studio 4.x" : "Developer Studio 5.0";
}

bool release_is_installed(const std::string& version_key) {
  RegistryKey key;
  if (reg_open_key_to_read(RootKey::current_user, std::string(kCxxCompilerKey) + "\\" + version_key, key))
    return true;
  for (const int generation : {4, 5}) {
    const GenerationRegistration registration = read_registration(generation);
    if (registration.selected == version_key) return true;
    for (const RegisteredRelease& release : registration.releases)
      if (release.name == version_key) return true;
    const std::string release_path =
        std::string(kIdeKey) + "\\" + std::to_string(generation) + "\\" + version_key;
    if (reg_open_key_to_read(RootKey::current_user, release_path, key)) return true;
  }
  return false;
}

Installation read_installation() {
  Installation installation;
  read_releases(installation);
  for (const int generation : {4, 5}) installation.registrations.push_back(read_registration(generation));
  read_product_files(installation);
  for (const IdeKeys* ide_keys : {&kIdeKeys4, &kIdeKeys5})
    installation.ides.push_back(read_ide(installation, *ide_keys));
  return installation;
}

}  // namespace morvex
