#include "registry/wine_file/wineserver_check.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "diag/diagnostics.h"

namespace morvex::winefile {
namespace {

// A socket left behind by a server that was killed has nobody listening.
bool someone_listens(const std::string& socket_path) {
  sockaddr_un address{};
  if (socket_path.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

bool wineserver_serves(const std::string& folder) {
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0) return false;
  char server[64];
  std::snprintf(server, sizeof server, "/server-%llx-%llx/socket",
                static_cast<unsigned long long>(status.st_dev),
                static_cast<unsigned long long>(status.st_ino));
  std::vector<std::string> places{"/tmp/.wine-" + std::to_string(getuid())};
  std::string named;
  std::error_code error;
  if (std::filesystem::is_regular_file(folder + "/wineserver", error) &&
      std::ifstream(folder + "/wineserver") >> named && named.find('/') == std::string::npos) {
    const char* temporary = std::getenv("TMPDIR");
    if (temporary != nullptr && *temporary != '\0') places.push_back(std::string(temporary) + "/" + named);
    places.push_back("/tmp/" + named);
  }
  for (const std::string& place : places)
    if (someone_listens(place + server)) return true;
  return false;
}

bool report_wine_running(const std::string& folder) {
  if (!wineserver_serves(folder)) return false;
  report_error("Wine is running on the prefix folder %s and holds its registry in memory: "
               "stop it first (WINEPREFIX=%s wineserver -k, or -w to wait for its programs)",
               folder.c_str(), folder.c_str());
  return true;
}

}  // namespace morvex::winefile
