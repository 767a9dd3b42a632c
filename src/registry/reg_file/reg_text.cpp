#include "registry/reg_file/reg_text.h"

#include <cstdio>
#include <cstring>

namespace morvex::regfile {
namespace {

// Regedit ends a hex line after the "xx," that brings it to this many columns.
constexpr std::size_t kHexLineColumns = 77;

void append_code_point(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Columns as regedit counts them: UTF-16 units, or bytes in an 8-bit file.
std::size_t columns(std::string_view text, Encoding encoding) {
  if (encoding == Encoding::ansi) return text.size();
  std::size_t count = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) count += byte >= 0xF0 ? 2 : 1;
  }
  return count;
}

bool quotable(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void append_quoted(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

void append_hex(std::string_view bytes, std::size_t column, std::string_view line_end,
                std::string& out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
    if (i + 1 == bytes.size()) break;
    out += ',';
    column += 3;
    if (column >= kHexLineColumns) {
      out += '\\';
      out += line_end;
      out += "  ";
      column = 2;
    }
  }
}

std::string utf16le_bytes(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// The code point of the sequence of two to four bytes at text[i], and its
// length; 0 for bytes that are not UTF-8 (a stray or missing continuation
// byte, an overlong form, or beyond U+10FFFF). Surrogates pass, as
// append_utf8 writes a lone one so.
std::size_t decode_utf8(const unsigned char* text, std::size_t size, std::size_t i, char32_t& c) {
  const unsigned char lead = text[i];
  std::size_t length = 0;
  char32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (length > size - i) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = text[i + k];
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  return c < least || c > 0x10FFFF ? 0 : length;
}

}  // namespace

std::string folded(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = fold_ascii(c);
  return result;
}

void append_utf8(const char16_t* units, std::size_t count, std::string& out) {
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    append_code_point(c, out);
  }
}

bool utf16_from_utf8(std::string_view text, std::u16string& out) {
  out.clear();
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    if (bytes[i] < 0x80) {
      out += static_cast<char16_t>(bytes[i]);
      ++i;
      continue;
    }
    char32_t c = 0;
    const std::size_t length = decode_utf8(bytes, text.size(), i, c);
    if (length == 0) return false;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return true;
}

bool is_utf8_from(const unsigned char* text, std::size_t size, std::size_t i) {
  while (i < size) {
    // Most text is ASCII: eight bytes at a time up to the first that is not.
    for (std::uint64_t word; i + 8 <= size; i += 8) {
      std::memcpy(&word, text + i, 8);
      if ((word & 0x8080808080808080ull) != 0) break;
    }
    while (i < size && text[i] < 0x80) ++i;
    if (i == size) break;
    char32_t ignored = 0;
    const std::size_t length = decode_utf8(text, size, i, ignored);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string utf8_of_utf16le(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  std::string text;
  append_utf8(units.data(), units.size(), text);
  return text;
}

bool storable_text(std::string_view text, Encoding encoding) {
  std::u16string ignored;
  return encoding == Encoding::ansi || utf16_from_utf8(text, ignored);
}

bool format_value(std::string_view name, std::uint32_t type, std::string_view data,
                  Encoding encoding, std::string_view line_end, std::string& out) {
  if (!quotable(name)) return false;
  std::string line;
  if (name.empty()) {
    line = "@=";
  } else {
    append_quoted(name, line);
    line += '=';
  }
  if (type == kTypeDword && data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(data[i]);
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(number));
    line += digits;
  } else if (type == kTypeSz && !data.empty() && data.back() == '\0' &&
             quotable(data.substr(0, data.size() - 1))) {
    append_quoted(data.substr(0, data.size() - 1), line);
  } else {
    std::string bytes(data);
    if (holds_wide_text(encoding) && is_text_type(type)) {
      std::u16string units;
      if (!utf16_from_utf8(data, units)) return false;
      bytes = utf16le_bytes(units);
    }
    if (type == kTypeBinary) {
      line += "hex:";
    } else {
      char tag[24];
      std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(type));
      line += tag;
    }
    append_hex(bytes, columns(line, encoding), line_end, line);
  }
  line += line_end;
  out += encode_for_file(line, encoding);
  return true;
}

std::string encode_for_file(std::string_view text, Encoding encoding) {
  if (encoding != Encoding::utf16le) return std::string(text);
  std::u16string units;
  utf16_from_utf8(text, units);  // callers check storable_text first
  return utf16le_bytes(units);
}

}  // namespace morvex::regfile
