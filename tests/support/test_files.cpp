#include "test_files.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace morvex::support {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string make_temporary_folder(const std::string& what) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/morvex-" + what + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return "";
  // Children that drop their privileges must still reach what is inside.
  chmod(pattern.c_str(), 0755);
  return pattern;
}

void remove_folder(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ignored;
  for (auto entry = fs::recursive_directory_iterator(folder, ignored);
       entry != fs::recursive_directory_iterator(); entry.increment(ignored))
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored))
      chmod(entry->path().c_str(), 0755);
  chmod(folder.c_str(), 0755);
  fs::remove_all(folder, ignored);
}

Sandbox::Sandbox(const std::string& what) : folder_(make_temporary_folder(what)) {}

std::string Sandbox::make_prefix(const std::string& name) const {
  const std::string prefix = folder_ + "/" + name;
  fs::create_directories(prefix + "/drive_c");
  fs::create_directories(prefix + "/home");
  return prefix;
}

}  // namespace morvex::support
