#include "text/formatted.h"

#include <cstdio>
#include <vector>

namespace morvex {

std::string formatted_list(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatted_list(format, args);
  va_end(args);
  return text;
}

}  // namespace morvex
