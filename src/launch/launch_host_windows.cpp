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

  WindowsError check_start(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return last_error();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
    // Programs are images that begin "MZ"; batch files are handed to the
    // command processor, whatever they hold.
    const std::size_t dot = path.find_last_of('.');
    const std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    if (lstrcmpiA(extension.c_str(), ".bat") == 0 || lstrcmpiA(extension.c_str(), ".cmd") == 0)
      return kNoWindowsError;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_error();
    char head[2] = {};
    DWORD got = 0;
    const bool read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    return read && got == 2 && head[0] == 'M' && head[1] == 'Z' ? kNoWindowsError
                                                                : ERROR_BAD_EXE_FORMAT;
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
