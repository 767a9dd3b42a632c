#include "files/host_file_path.h"

#include <filesystem>
#include <vector>

#include "registry/host_prefix.h"
#include "text/ascii_case.h"
#include "text/existing_spelling.h"
#include "text/path_separator.h"

namespace morvex {
namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A Wine prefix reaches each drive through its dosdevices link ("c:" to
// ../drive_c as wineboot makes it, "z:" to /); a letter without a link is
// no drive, and its files are found nowhere. A prefix without dosdevices
// has one folder per drive.
std::string drive_folder(const std::string& prefix_folder, char letter) {
  // A Windows disk is drive C: alone; "x:" names nothing on NTFS.
  if (windows_disk() != nullptr) return letter == 'c' ? prefix_folder : prefix_folder + "/" + letter + ":";
  const std::string dosdevices = prefix_folder + "/dosdevices";
  std::error_code error;
  if (std::filesystem::is_directory(dosdevices, error))
    return dosdevices + "/" + std::string(1, letter) + ":";
  return prefix_folder + "/drive_" + letter;
}

// A drive path's folder for its drive and its components, without empty and
// "." ones, ".." taken back; false for any other path. "C:name" counts from
// the drive's root: the run always starts there.
bool drive_path_parts(const std::string& windows_path, const std::string& prefix_folder,
                      std::string& drive_folder_path, std::vector<std::string>& components) {
  if (windows_path.size() < 2 || !is_ascii_letter(windows_path[0]) || windows_path[1] != ':')
    return false;
  std::string component;
  auto take_component = [&] {
    if (component == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    component.clear();
  };
  for (size_t i = 2; i < windows_path.size(); ++i) {
    if (is_path_separator(windows_path[i]))
      take_component();
    else
      component += windows_path[i];
  }
  take_component();
  drive_folder_path = drive_folder(prefix_folder, fold_ascii(windows_path[0]));
  return true;
}

}  // namespace

std::string host_file_path(const std::string& windows_path, const std::string& prefix_folder) {
  std::string host;
  std::vector<std::string> components;
  if (!drive_path_parts(windows_path, prefix_folder, host, components)) {
    std::string relative = windows_path;
    for (char& c : relative)
      if (c == '\\') c = '/';
    // A rooted or network path must not turn into an absolute host path.
    if (!relative.empty() && relative[0] == '/') return "." + relative;
    return relative;
  }
  for (const std::string& name : components) host += "/" + name;
  return host;
}

std::string existing_host_file_path(const std::string& windows_path, const std::string& prefix_folder) {
  std::string host;
  std::vector<std::string> components;
  if (!drive_path_parts(windows_path, prefix_folder, host, components))
    return host_file_path(windows_path, prefix_folder);
  bool exists = true;
  for (const std::string& name : components) {
    const std::string spelled = exists ? existing_spelling(host, name) : "";
    exists = !spelled.empty();
    host += "/" + (exists ? spelled : name);
  }
  return host;
}

}  // namespace morvex
