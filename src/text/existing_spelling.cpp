#include "text/existing_spelling.h"

#include <filesystem>

#include "text/ascii_case.h"

namespace morvex {

std::string existing_spelling(const std::string& folder, const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(fs::symlink_status(folder + "/" + name, error))) return name;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string found = entry->path().filename().string();
    if (equal_folded(found, name)) return found;
  }
  return "";
}

std::string existing_path(const std::string& folder, const std::vector<std::string>& names) {
  std::string path = folder;
  for (const std::string& name : names) {
    const std::string spelled = existing_spelling(path, name);
    if (spelled.empty()) return "";
    path += "/" + spelled;
  }
  return path;
}

}  // namespace morvex
