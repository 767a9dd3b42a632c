#include <cstdio>

#include "diag/error_stream.h"

namespace morvex {

// A write to a closed pipe simply fails here.
void put_error_stream(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace morvex
