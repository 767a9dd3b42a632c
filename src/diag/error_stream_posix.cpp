#include <signal.h>

#include <cstdio>

#include "diag/error_stream.h"

namespace morvex {

// When whatever read the error stream has gone, the write raises SIGPIPE,
// which would end the run half-way: product files deleted, the registry not
// yet saved, the follow-on program never started. The signal is ignored for
// the write alone, so the write fails as on Windows and the follow-on
// program still inherits the disposition this program was started with.
void put_error_stream(std::string_view text) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction saved {};
  const bool ignoring = sigaction(SIGPIPE, &ignore, &saved) == 0;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  if (ignoring) sigaction(SIGPIPE, &saved, nullptr);
}

}  // namespace morvex
