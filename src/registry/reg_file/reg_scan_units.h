// The scanner's small steps over the code units of one line: bytes, or
// UTF-16 units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_file/reg_text.h"

namespace morvex::regfile {

template <class Unit>
void skip_blanks(const Unit*& p, const Unit* end) {
  while (p != end && (*p == Unit(' ') || *p == Unit('\t'))) ++p;
}
// Only blanks and a comment may follow.
template <class Unit>
bool at_line_end(const Unit* p, const Unit* end) {
  skip_blanks(p, end);
  return p == end || *p == Unit(';');
}
template <class Unit>
bool starts_with(const Unit* p, const Unit* end, std::string_view text) {
  if (static_cast<std::size_t>(end - p) < text.size()) return false;
  for (const char c : text)
    if (*p++ != Unit(static_cast<unsigned char>(c))) return false;
  return true;
}
inline constexpr std::array<signed char, 128> kHexDigits = [] {
  std::array<signed char, 128> digits{};
  for (int c = 0; c < 128; ++c)
    digits[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                       : static_cast<signed char>(-1);
  return digits;
}();

template <class Unit>
int hex_digit(Unit unit) {
  return static_cast<std::size_t>(unit) < kHexDigits.size() ? kHexDigits[unit] : -1;
}

// A number of 1 to 8 hex digits, as a dword's data and a hex(N) type are
// written; `p` moves past every digit, so more than 8 fail rather than wrap.
template <class Unit>
bool hex_number(const Unit*& p, const Unit* end, std::uint32_t& number) {
  std::size_t digits = 0;
  for (number = 0; p != end && hex_digit(*p) >= 0; ++p, ++digits)
    number = number << 4 | static_cast<std::uint32_t>(hex_digit(*p));
  return digits >= 1 && digits <= 8;
}

template <class Unit>
void append_view(const Unit* begin, const Unit* end, std::string& out) {
  if constexpr (sizeof(Unit) == 1)
    out.append(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
  else
    append_utf8(begin, static_cast<std::size_t>(end - begin), out);
}
template <class Unit>
void append_view(const std::vector<Unit>& units, std::string& out) {
  append_view(units.data(), units.data() + units.size(), out);
}

}  // namespace morvex::regfile
