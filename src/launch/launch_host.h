// What the program search needs from the platform. The search itself is the
// same everywhere; only these few operations differ.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "launch/launch.h"

namespace morvex {

// Windows error codes, so that map_system_error applies on every platform.
using WindowsError = std::uint32_t;
inline constexpr WindowsError kNoWindowsError = 0;

class LaunchHost {
 public:
  virtual ~LaunchHost() = default;

  // kNoWindowsError when the attributes of `path` can be read (a directory
  // counts as existing). Paths use "\" and "/" as written by the search.
  virtual WindowsError test_existence(const std::string& path) = 0;

  // Starts `path` with `command_line`. The real hosts end this process with
  // status 0 on success and so return only a failure.
  virtual WindowsError start(const std::string& path, const std::string& command_line) = 0;

  // What start would say of `path` from the file alone, without starting it:
  // a folder, a file without the right to run, a file in no runnable form.
  // A dry run asks this in place of starting.
  virtual WindowsError check_start(const std::string& /*path*/) { return kNoWindowsError; }

  // The PATH variable, or nothing when it is not set.
  virtual std::optional<std::string> read_search_path() = 0;
  virtual char search_path_separator() const = 0;

  // The first byte of a double-byte character in the active code page: the
  // byte after it is never a separator, colon or dot.
  virtual bool is_lead_byte(unsigned char byte) const = 0;

  // What joins a folder and a name the search builds.
  virtual char path_separator() const { return '\\'; }
  // Whether a name without an extension is tried as written before the
  // extensions are added, as a POSIX shell finds a program; Windows never
  // starts such a name. Only a file with the right to run is taken so, as
  // a shell passes over a folder or a plain file of that name.
  virtual bool tries_name_as_written() const { return false; }
  virtual bool may_run(const std::string& /*path*/) { return false; }
};

// The host of the platform this program was built for.
LaunchHost& system_launch_host();

// The search against a chosen host. A host whose start returns
// kNoWindowsError makes these return kLaunchStarted.
inline constexpr LaunchFailure kLaunchStarted = 0;
LaunchFailure launch_follow_on(LaunchHost& host, const std::string& program,
                               const std::vector<std::string>& arguments);
LaunchFailure try_program_path(LaunchHost& host, const std::string& path,
                               const std::vector<std::string>& arguments);

}  // namespace morvex
