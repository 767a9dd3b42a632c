#include "files/host_file_path.h"

#include <vector>

#include "text/ascii_case.h"
#include "text/path_separator.h"

namespace morvex {
namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string host_file_path(const std::string& windows_path, const std::string& prefix_folder) {
  const bool has_drive =
      windows_path.size() >= 2 && is_ascii_letter(windows_path[0]) && windows_path[1] == ':';
  if (!has_drive) {
    std::string relative = windows_path;
    for (char& c : relative)
      if (c == '\\') c = '/';
    // A rooted or network path must not turn into an absolute host path.
    if (!relative.empty() && relative[0] == '/') return "." + relative;
    return relative;
  }

  // "C:name" counts from the drive's root: the run always starts there.
  std::vector<std::string> components;
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

  std::string host = prefix_folder + "/drive_" + fold_ascii(windows_path[0]);
  for (const std::string& name : components) host += "/" + name;
  return host;
}

}  // namespace morvex
