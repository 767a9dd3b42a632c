// Wine's registry file reader on any bytes: it must end, and a file it
// refuses is named by a line the file has, with a reason.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "registry/wine_file/wine_reg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  morvex::winefile::WineFile file;
  morvex::winefile::WineReadError error;
  if (morvex::winefile::read_wine_file(text, file, error)) return 0;
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  if (error.reason.empty() || error.line > lines + 1) {
    std::fprintf(stderr, "wine_file fuzz: refused at line %zu of %zu: \"%s\"\n", error.line, lines,
                 error.reason.c_str());
    std::abort();
  }
  return 0;
}
