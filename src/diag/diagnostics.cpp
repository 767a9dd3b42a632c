#include "diag/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace morvex {
namespace {

std::string& stored_program_name() {
  static std::string name;
  return name;
}

std::string vformat(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<size_t>(length));
}

}  // namespace

void set_program_name(std::string_view name) { stored_program_name() = std::string(name); }

const std::string& program_name() { return stored_program_name(); }

void report_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = program_name() + ": error: " + vformat(format, args) + "\n";
  va_end(args);
  write_error_stream(line);
}

}  // namespace morvex
