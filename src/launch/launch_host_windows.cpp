#include <windows.h>

#include <cstdio>
#include <vector>

#include "launch/launch_host.h"

namespace morvex {
namespace {

// A failure that left no code behind must still not read as success.
WindowsError last_error() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION;
}

class WindowsLaunchHost final : public LaunchHost {
 public:
  WindowsError test_existence(const std::string& path) override {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return kNoWindowsError;
    return last_error();
  }

  WindowsError start(const std::string& path, const std::string& command_line) override {
    // CreateProcessA may write into the command line it is given.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
      return last_error();
    // The child replaces this program: end now, without waiting for it.
    std::fflush(nullptr);
    ExitProcess(0);
  }

  std::optional<std::string> read_search_path() override {
    std::vector<char> value(MAX_PATH);
    for (;;) {
      SetLastError(ERROR_SUCCESS);
      const DWORD length = GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size()));
      if (length == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
      if (length < value.size()) return std::string(value.data(), length);
      // Too small: the length returned counts the terminating zero.
      value.resize(length);
    }
  }

  char search_path_separator() const override { return ';'; }

  bool is_lead_byte(unsigned char byte) const override { return IsDBCSLeadByte(byte) != FALSE; }
};

}  // namespace

LaunchHost& system_launch_host() {
  static WindowsLaunchHost host;
  return host;
}

}  // namespace morvex
