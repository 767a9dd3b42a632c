#include "diag/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace morvex {
namespace {

std::string& stored_program_name() {
  static std::string name;
  return name;
}

}  // namespace

void set_program_name(std::string_view name) { stored_program_name() = std::string(name); }

const std::string& program_name() { return stored_program_name(); }

void report_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = program_name() + ": error: " + formatted_list(format, args) + "\n";
  va_end(args);
  write_error_stream(line);
}

void write_error_stream(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace morvex
