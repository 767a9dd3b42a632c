// parse_decimal against the C library's reading of a decimal number, with
// the result held to the 32-bit range, and against its own printing.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "text/decimal.h"

namespace {

[[noreturn]] void fail(const std::string& text, std::int32_t got, long long expected) {
  std::fprintf(stderr, "parse_decimal fuzz: \"%s\" gave %d, expected %lld\n", text.c_str(), got,
               expected);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int32_t got = morvex::parse_decimal(text);

  // A zero byte ends the text for strtoll; it is not a digit either way.
  errno = 0;
  const long long wide = std::strtoll(text.c_str(), nullptr, 10);
  const long long expected =
      std::min<long long>(std::max<long long>(wide, std::numeric_limits<std::int32_t>::min()),
                          std::numeric_limits<std::int32_t>::max());
  if (got != expected) fail(text, got, expected);

  if (size >= 4) {
    std::int32_t number = 0;
    std::memcpy(&number, data, sizeof number);
    const std::string printed = std::to_string(number);
    if (morvex::parse_decimal(printed) != number) fail(printed, morvex::parse_decimal(printed), number);
  }
  return 0;
}
