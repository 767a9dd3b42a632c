#include "diag/diagnostics.h"

#include <cstdarg>
#include <cstdio>

#include "diag/error_stream.h"

namespace morvex {
namespace {

std::string& stored_program_name() {
  static std::string name;
  return name;
}

struct KeptLines {
  bool written = false;
  bool keeping = false;
  std::vector<std::string> lines;
};

KeptLines& kept() {
  static KeptLines lines;
  return lines;
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

bool error_stream_written() { return kept().written; }

void keep_error_lines() { kept().keeping = true; }

const std::vector<std::string>& kept_error_lines() { return kept().lines; }

void forget_error_lines() { kept() = KeptLines{}; }

void write_error_stream(std::string_view text) {
  kept().written = true;
  if (kept().keeping) {
    for (std::string_view rest = text; !rest.empty();) {
      const std::size_t end = rest.find('\n');
      kept().lines.emplace_back(rest.substr(0, end));
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
  }
  put_error_stream(text);
}

}  // namespace morvex
