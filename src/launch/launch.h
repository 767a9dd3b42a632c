// Handing over to the follow-on program named on the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

// A failed launch, as a standard C error number (ENOENT, E2BIG, ENOEXEC,
// ENOMEM, EINVAL or another).
using LaunchFailure = int;

// Does not return when the program starts: this process then ends with
// status 0. `arguments` is the program as given, then its one argument.
LaunchFailure launch_follow_on(const std::string& program, const std::vector<std::string>& arguments);

// One candidate, without any search along PATH; does not return when the
// program starts.
LaunchFailure try_program_path(const std::string& path, const std::vector<std::string>& arguments);

std::string build_command_line(const std::vector<std::string>& arguments);
LaunchFailure map_system_error(std::uint32_t windows_error);
void report_launch_failure(LaunchFailure failure, const std::string& program);
// The line report_launch_failure writes, without its line break.
std::string launch_failure_line(LaunchFailure failure, const std::string& program);

}  // namespace morvex
