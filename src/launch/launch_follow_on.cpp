#include <cerrno>
#include <new>

#include "launch/launch.h"
#include "launch/launch_host.h"
#include "launch/program_path_text.h"

namespace morvex {
namespace {

constexpr const char* kProgramExtensions[] = {".com", ".exe", ".bat", ".cmd"};

// A candidate built from a PATH entry must stay below this length.
constexpr std::size_t kSearchPathLimit = 260;

LaunchFailure start_program(LaunchHost& host, const std::string& path,
                            const std::vector<std::string>& arguments) {
  std::string command_line;
  try {
    command_line = build_command_line(arguments);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  const WindowsError error = host.start(path, command_line);
  return error == kNoWindowsError ? kLaunchStarted : map_system_error(error);
}

LaunchFailure search_path_entries(LaunchHost& host, const std::string& program,
                                  const std::vector<std::string>& arguments) {
  // Reaching here means the current folder failed with ENOENT.
  LaunchFailure last = ENOENT;
  const std::optional<std::string> search_path = host.read_search_path();
  if (!search_path) return last;
  for (const std::string& entry : split_search_path(host, *search_path)) {
    // An empty entry would turn into the root of the current drive.
    if (entry.empty()) continue;
    std::string candidate = entry;
    if (!ends_with_separator(host, candidate)) candidate += host.path_separator();
    if (candidate.size() + program.size() >= kSearchPathLimit) return last;
    candidate += program;
    last = try_program_path(host, candidate, arguments);
    if (last == ENOENT) continue;
    // A server that refuses us says nothing about the entries after it.
    if (last != kLaunchStarted && begins_with_two_separators(candidate)) continue;
    return last;
  }
  return last;
}

}  // namespace

LaunchFailure try_program_path(LaunchHost& host, const std::string& path,
                               const std::vector<std::string>& arguments) {
  const std::string candidate =
      has_separator(host, path, true) ? path : std::string(".") + host.path_separator() + path;
  if (has_extension(host, candidate)) {
    const WindowsError missing = host.test_existence(candidate);
    if (missing != kNoWindowsError) return map_system_error(missing);
    return start_program(host, candidate, arguments);
  }
  // Without an extension the name itself is never started on Windows: only
  // the forms the system knows how to run.
  WindowsError missing = kNoWindowsError;
  if (host.tries_name_as_written() && host.test_existence(candidate) == kNoWindowsError &&
      host.may_run(candidate))
    return start_program(host, candidate, arguments);
  for (const char* extension : kProgramExtensions) {
    const std::string with_extension = candidate + extension;
    missing = host.test_existence(with_extension);
    if (missing == kNoWindowsError) return start_program(host, with_extension, arguments);
  }
  return map_system_error(missing);
}

LaunchFailure launch_follow_on(LaunchHost& host, const std::string& program,
                               const std::vector<std::string>& arguments) {
  try {
    const LaunchFailure failure = try_program_path(host, program, arguments);
    if (failure != ENOENT) return failure;
    if (has_separator(host, program, false) || has_drive_prefix(host, program)) return ENOENT;
    return search_path_entries(host, program, arguments);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}

LaunchFailure launch_follow_on(const std::string& program, const std::vector<std::string>& arguments) {
  return launch_follow_on(system_launch_host(), program, arguments);
}

LaunchFailure try_program_path(const std::string& path, const std::vector<std::string>& arguments) {
  try {
    return try_program_path(system_launch_host(), path, arguments);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}

}  // namespace morvex
