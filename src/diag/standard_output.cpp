#include "diag/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "diag/diagnostics.h"

namespace morvex {

bool write_standard_output(std::string_view text) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  const int error = errno;
  if (!written) {
    report_error("cannot write to standard output: %s", std::strerror(error));
    std::clearerr(stdout);
    return false;
  }
  return finish_standard_output();
}

bool finish_standard_output() {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!flushed) {
    report_error("cannot write to standard output: %s", std::strerror(errno != 0 ? errno : EIO));
    std::clearerr(stdout);
  }
  return flushed;
}

}  // namespace morvex
