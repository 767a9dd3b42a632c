#include <sys/stat.h>

#include "files/host_file_path.h"
#include "inventory/file_presence.h"
#include "registry/host_prefix.h"

namespace morvex {

bool file_present(const std::string& windows_path) {
  struct stat status {};
  const std::string path = existing_host_file_path(windows_path, host_prefix_folder());
  return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace morvex
