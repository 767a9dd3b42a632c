#include <cerrno>

#include "diag/diagnostics.h"
#include "launch/launch.h"

namespace morvex {
namespace {

struct SystemErrorRow {
  std::uint32_t windows_error;
  LaunchFailure failure;
};

// Searched from the top; codes not listed fall to the ranges below.
constexpr SystemErrorRow kSystemErrors[] = {
    {1, EINVAL},     // invalid function
    {2, ENOENT},     // file not found
    {3, ENOENT},     // path not found
    {4, EMFILE},     // too many open files
    {5, EACCES},     // access denied
    {6, EBADF},      // invalid handle
    {7, ENOMEM},     // arena trashed
    {8, ENOMEM},     // not enough memory
    {9, ENOMEM},     // invalid block
    {10, E2BIG},     // bad environment
    {11, ENOEXEC},   // bad format
    {12, EINVAL},    // invalid access
    {13, EINVAL},    // invalid data
    {15, ENOENT},    // invalid drive
    {16, EACCES},    // current directory
    {17, EXDEV},     // not same device
    {18, ENOENT},    // no more files
    {33, EACCES},    // lock violation
    {53, ENOENT},    // bad network path
    {65, EACCES},    // network access denied
    {67, ENOENT},    // bad network name
    {80, EEXIST},    // file exists
    {82, EACCES},    // cannot make
    {83, EACCES},    // interrupt 24 failure
    {87, EINVAL},    // invalid parameter
    {89, EAGAIN},    // no process slots
    {108, EACCES},   // drive locked
    {109, EPIPE},    // broken pipe
    {112, ENOSPC},   // disk full
    {114, EBADF},    // invalid target handle
    {128, ECHILD},   // no children to wait for
    {129, ECHILD},   // child not complete
    {130, EBADF},    // direct access handle
    {131, EINVAL},   // negative seek
    {132, EACCES},   // seek on device
    {145, ENOTEMPTY},  // directory not empty
    {158, EACCES},   // not locked
    {161, ENOENT},   // bad path name
    {164, EAGAIN},   // no more threads
    {167, EACCES},   // lock failed
    {183, EEXIST},   // already exists
    {206, ENOENT},   // file name too long
    {215, EAGAIN},   // nesting not allowed
    {1816, ENOMEM},  // not enough quota
};

// Write-protect to sharing-buffer errors all mean the file could not be had.
constexpr std::uint32_t kFirstAccessError = 19;
constexpr std::uint32_t kLastAccessError = 36;
// The loader's refusals of an executable image.
constexpr std::uint32_t kFirstFormatError = 188;
constexpr std::uint32_t kLastFormatError = 202;

const char* failure_message_format(LaunchFailure failure) {
  switch (failure) {
    case ENOENT: return "The program '%s' could not be found";
    case E2BIG: return "The arguments to '%s' were too long";
    case ENOEXEC: return "The program '%s' is not executable";
    case ENOMEM: return "There was not enough memory to run the program '%s'";
    case EINVAL: return "The program '%s' could not be run";
    default: return "The execution of program '%s' was aborted";
  }
}

}  // namespace

LaunchFailure map_system_error(std::uint32_t windows_error) {
  for (const SystemErrorRow& row : kSystemErrors)
    if (row.windows_error == windows_error) return row.failure;
  if (windows_error >= kFirstAccessError && windows_error <= kLastAccessError) return EACCES;
  if (windows_error >= kFirstFormatError && windows_error <= kLastFormatError) return ENOEXEC;
  return EINVAL;
}

std::string launch_failure_line(LaunchFailure failure, const std::string& program) {
  return program_name() + ": " + formatted(failure_message_format(failure), program.c_str()) + ".";
}

void report_launch_failure(LaunchFailure failure, const std::string& program) {
  // One write, so the line cannot be torn apart by another writer.
  write_error_stream(launch_failure_line(failure, program) + "\n");
}

}  // namespace morvex
