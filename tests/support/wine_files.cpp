#include "wine_files.h"

#include <filesystem>

#include "registry/wine_file/wine_reg_reader.h"
#include "registry/wine_file/wine_reg_writer.h"
#include "test_files.h"

namespace morvex::support {
namespace {

constexpr std::string_view kUserRoot = "HKEY_CURRENT_USER";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kSoftware = "software\\";
constexpr std::string_view kWowNode = "Software\\Wow6432Node";
// 2026-12-10, for every key: the files depend on nothing but the text.
constexpr std::uint64_t kTime = 134413344000000000;

std::string head(const char* relative_to) {
  return std::string("WINE REGISTRY Version 2\n;; All keys relative to ") + relative_to +
         "\n\n#arch=win64\n";
}

}  // namespace

bool wine_files_of(std::string_view reg_text, WineFiles& files, std::string& error) {
  std::vector<RegTreeKey> keys;
  if (!read_reg_tree(reg_text, keys, error)) return false;
  files.user = head("\\\\User\\\\S-1-5-21-0-0-0-1000");
  files.system = head("\\\\Machine");
  for (const RegTreeKey& key : keys) {
    const std::size_t slash = key.path.find('\\');
    if (slash == std::string::npos) continue;
    const std::string_view root = std::string_view(key.path).substr(0, slash);
    std::string path = key.path.substr(slash + 1);
    if (root == kMachineRoot && folded(path).starts_with(kSoftware))
      path = std::string(kWowNode) + path.substr(kSoftware.size() - 1);
    std::string& out = root == kUserRoot ? files.user : files.system;
    if (root != kUserRoot && root != kMachineRoot) continue;
    out += "\n";
    winefile::key_lines(path, kTime, out);
    for (const RegTreeValue& value : key.values)
      if (!winefile::value_lines({value.name, value.type, value.data}, out)) {
        error = key.path + ": a value Wine's files cannot hold";
        return false;
      }
  }
  return true;
}

bool add_wine_files(const WineFiles& files, RegistryView& view, std::string& error) {
  for (const auto& [root, text] : {std::pair{kUserRoot, &files.user}, std::pair{kMachineRoot, &files.system}}) {
    winefile::WineFile file;
    winefile::WineReadError read_error;
    if (!winefile::read_wine_file(*text, file, read_error)) {
      error = std::to_string(read_error.line) + ": " + read_error.reason;
      return false;
    }
    std::vector<RegTreeKey> keys;
    for (const winefile::WineKey& key : file.keys) {
      std::string path = key.path;
      const std::string wow = folded(std::string(kWowNode)) + "\\";
      if (root == kMachineRoot && folded(path).starts_with(wow))
        path = "Software\\" + path.substr(wow.size());
      else if (root == kMachineRoot && folded(path).starts_with(kSoftware))
        continue;  // the 64-bit view's own keys
      // Wine writes no line for a key that holds only subkeys.
      for (std::size_t slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1))
        keys.push_back({std::string(root) + "\\" + path.substr(0, slash), {}});
      RegTreeKey& made = keys.emplace_back();
      made.path = std::string(root) + "\\" + path;
      for (const StoredValue& value : key.values) made.values.push_back({value.name, value.type, value.data});
    }
    add_keys(keys, view);
  }
  return true;
}

bool lay_wine_prefix(const std::string& prefix, const WineFiles& files) {
  std::error_code error;
  std::filesystem::create_directories(prefix + "/drive_c", error);
  std::filesystem::create_directories(prefix + "/dosdevices", error);
  std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:", error);
  return !error && write_file(prefix + "/user.reg", files.user) &&
         write_file(prefix + "/system.reg", files.system);
}

}  // namespace morvex::support
