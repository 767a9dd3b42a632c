// Text of a registry file: its encodings, name matching, and the way new
// value lines are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "registry/reg_file/reg_blocks.h"
#include "text/ascii_case.h"

namespace morvex::regfile {

// How a file's text is stored. REGEDIT4 files are 8-bit text used as it is;
// "Version 5.00" files are UTF-8 or UTF-16LE, and the program sees UTF-8.
enum class Encoding { ansi, utf8, utf16le };

// In Version 5 files the text types given as hex(1), hex(2) and hex(7) hold
// UTF-16LE data.
inline bool holds_wide_text(Encoding encoding) { return encoding != Encoding::ansi; }

inline constexpr std::uint32_t kTypeSz = 1;
inline constexpr std::uint32_t kTypeExpandSz = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeMultiSz = 7;

inline bool is_text_type(std::uint32_t type) {
  return type == kTypeSz || type == kTypeExpandSz || type == kTypeMultiSz;
}

// Names match without regard to case; ASCII letters are the only ones folded.
using morvex::equal_folded;
using morvex::fold_ascii;
// The name with its ASCII capitals made small: a key for looking names up.
std::string folded(std::string_view text);

// UTF-16 to UTF-8; a lone surrogate becomes its own three-byte form, so any
// unit sequence comes back unchanged through utf16_from_utf8.
void append_utf8(const char16_t* units, std::size_t count, std::string& out);
// False on bytes that are not UTF-8.
bool utf16_from_utf8(std::string_view text, std::u16string& out);
// Whether utf16_from_utf8 takes the bytes from text[i] on.
bool is_utf8_from(const unsigned char* text, std::size_t size, std::size_t i);
// The same for the whole text: all of a Version 5 file's 8-bit text must
// be, or values copied from it could not be written back. Inline, as the
// scanner asks it of every line, which is ASCII most of the time.
inline bool is_utf8(const unsigned char* text, std::size_t size) {
  using B = Block<unsigned char>;
  std::size_t i = 0;
  for (; i + B::kUnits <= size; i += B::kUnits)
    if (B::any_set(text + i, 0x80)) return is_utf8_from(text, size, i);
  // The rest as the last block of the line, which overlaps the blocks before.
  if (i < size && size >= B::kUnits) {
    if (B::any_set(text + size - B::kUnits, 0x80)) return is_utf8_from(text, size, i);
    return true;
  }
  for (; i < size; ++i)
    if (text[i] >= 0x80) return is_utf8_from(text, size, i);
  return true;
}

// UTF-16LE bytes (an odd last byte is dropped) as UTF-8: how a Version 5
// file's hex(1/2/7) data reaches the program.
std::string utf8_of_utf16le(std::string_view bytes);

// Whether a name or text from the program can be stored in a file of this
// encoding (Version 5 files need UTF-8).
bool storable_text(std::string_view text, Encoding encoding);

// One value as regedit writes it, line ends included, in the file's own
// bytes. `data` is the program's view (UTF-8 texts in Version 5 files). A
// text that quotes cannot hold (a line break or a zero byte inside) is written
// as hex(1), so that it reads back the same. False when the name cannot be
// written at all (a line break or a zero byte in it).
bool format_value(std::string_view name, std::uint32_t type, std::string_view data,
                  Encoding encoding, std::string_view line_end, std::string& out);

// Text in the program's view as the file's bytes (UTF-16LE for such files).
std::string encode_for_file(std::string_view text, Encoding encoding);

}  // namespace morvex::regfile
