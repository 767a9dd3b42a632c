#include "registry/wine_file/wine_reg_writer.h"

#include <time.h>

#include "registry/reg_file/reg_text.h"
#include "text/formatted.h"

namespace morvex::winefile {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kTicks1601To1970 = std::uint64_t{86400} * (369 * 365 + 89) * kTicksPerSecond;

bool is_hex_digit(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
         (unit >= u'A' && unit <= u'F');
}

// Wine's escapes: \xHHHH past ASCII (four digits when a hex digit follows),
// C letters or octal below a blank, a backslash before itself and before
// the two characters that end the text. A last zero is left out.
void append_escaped(const std::u16string& text, const char (&ends)[3], std::string& out) {
  static constexpr char kLetters[33] = ".......abtnvfr.............e....";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool more = i + 1 < text.size();
    if (unit > 127) {
      out += formatted(more && text[i + 1] < 128 && is_hex_digit(text[i + 1]) ? "\\x%04x" : "\\x%x",
                       static_cast<unsigned>(unit));
    } else if (unit < 32) {
      if (unit == 0 && !more) continue;
      if (kLetters[unit] != '.')
        out += formatted("\\%c", kLetters[unit]);
      else
        out += formatted(more && text[i + 1] >= u'0' && text[i + 1] <= u'7' ? "\\%03o" : "\\%o",
                         static_cast<unsigned>(unit));
    } else {
      const char c = static_cast<char>(unit);
      if (c == '\\' || c == ends[0] || c == ends[1]) out += '\\';
      out += c;
    }
  }
}

bool append_escaped_utf8(std::string_view text, const char (&ends)[3], std::string& out) {
  std::u16string units;
  if (!regfile::utf16_from_utf8(text, units)) return false;
  append_escaped(units, ends, out);
  return true;
}

}  // namespace

std::uint64_t filetime_now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kTicks1601To1970 + static_cast<std::uint64_t>(now.tv_sec) * kTicksPerSecond +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

bool key_lines(std::string_view path, std::uint64_t modified, std::string& out) {
  std::string line = "[";
  for (std::size_t begin = 0;;) {
    const std::size_t end = path.find('\\', begin);
    if (!append_escaped_utf8(path.substr(begin, end - begin), "[]", line)) return false;
    if (end == std::string_view::npos) break;
    line += "\\\\";
    begin = end + 1;
  }
  out += line + formatted("] %u\n#time=%x%08x\n",
                          static_cast<unsigned>((modified - kTicks1601To1970) / kTicksPerSecond),
                          static_cast<unsigned>(modified >> 32), static_cast<unsigned>(modified));
  return true;
}

bool value_lines(const StoredValue& value, std::string& out) {
  std::string line;
  if (value.name.empty()) {
    line = "@=";
  } else {
    line = "\"";
    if (!append_escaped_utf8(value.name, "\"\"", line)) return false;
    line += "\"=";
  }
  if (regfile::is_text_type(value.type)) {
    std::u16string units;
    if (!regfile::utf16_from_utf8(value.data, units)) return false;
    if (!units.empty() && units.back() == 0) {
      if (value.type != regfile::kTypeSz) line += formatted("str(%x):", value.type);
      line += '"';
      append_escaped(units, "\"\"", line);
      out += line + "\"\n";
      return true;
    }
  }
  if (value.type == regfile::kTypeDword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int byte = 3; byte >= 0; --byte)
      number = number << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(byte)]);
    out += line + formatted("dword:%08x\n", number);
    return true;
  }
  // A text without its zero is kept as the UTF-16LE bytes Wine holds.
  std::string bytes = value.data;
  if (regfile::is_text_type(value.type)) {
    std::u16string units;
    regfile::utf16_from_utf8(value.data, units);
    bytes.clear();
    for (const char16_t unit : units) {
      bytes += static_cast<char>(unit & 0xff);
      bytes += static_cast<char>(unit >> 8);
    }
  }
  line += value.type == regfile::kTypeBinary ? std::string("hex:") : formatted("hex(%x):", value.type);
  std::size_t count = line.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    line += formatted("%02x", static_cast<unsigned char>(bytes[i]));
    count += 2;
    if (i + 1 < bytes.size()) {
      line += ',';
      if (++count > 76) {
        line += "\\\n  ";
        count = 2;
      }
    }
  }
  out += line + "\n";
  return true;
}

}  // namespace morvex::winefile
