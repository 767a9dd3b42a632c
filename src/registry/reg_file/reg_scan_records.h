// What the scanner hands its sink: the file's header, the roots a section
// may name, a section's key path and a value as the program reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_file/reg_lines.h"

namespace morvex::regfile {

enum class FileHeader { regedit4, version5 };

// The roots a section may name; the program uses only the second and third.
inline constexpr std::size_t kRootCount = 6;
inline constexpr std::size_t kRootCurrentUser = 1;
inline constexpr std::size_t kRootLocalMachine = 2;
std::string_view root_name(std::size_t root);
// The root spelled by units (any letter case), or kRootCount.
std::size_t find_root(const unsigned char* units, std::size_t size);
std::size_t find_root(const char16_t* units, std::size_t size);

// What a file's first bytes say: a UTF-16LE or UTF-8 byte-order mark, or
// none (8-bit text; the header line then tells REGEDIT4 from UTF-8).
struct ByteOrderMark {
  bool utf16le = false;
  std::size_t size = 0;
};
ByteOrderMark sniff_byte_order_mark(std::string_view first_bytes);

struct ScanError {
  std::size_t line = 0;
  std::string what;
};

// A component of a section's key path: units [start, start + size) of its line.
struct NameSpan {
  std::size_t start;
  std::size_t size;
};

template <class Unit>
struct SectionHeader {
  const TextLine<Unit>& line;
  // Where the section starts: its key line.
  std::uint64_t begin;
  std::size_t root;
  const std::vector<NameSpan>& names;  // the components below the root
  // How many leading components, with the root, are spelled exactly as in
  // the section before.
  std::size_t repeated;
};

struct ValueRecord {
  std::string name;  // as the program sees it: "" for the default value
  std::uint32_t type = 0;
  std::string data;  // as the program reads it
  std::uint64_t begin = 0;  // byte range of the value's lines, line ends included
  std::uint64_t end = 0;
  // Only in an undo record: "name"=- (the value is not there), and a line
  // behind ";>", which says what the run left rather than what it found.
  bool deletion = false;
  bool left_by_run = false;
};

// How a value's data is written, told by what follows its "=".
enum class ValueKind { text, dword, hex, typed_hex, deletion };
struct TypeTag {
  std::string_view text;
  ValueKind kind;
};
inline constexpr TypeTag kTypeTags[] = {{"\"", ValueKind::text},
                                        {"dword:", ValueKind::dword},
                                        {"hex:", ValueKind::hex},
                                        {"hex(", ValueKind::typed_hex},
                                        {"-", ValueKind::deletion}};
inline constexpr std::string_view kUnknownHeader =
    "unknown header (the first line must be \"REGEDIT4\" or \"Windows Registry Editor "
    "Version 5.00\")";

// Whether a scanner's sink reads an undo record (see ValueRecord).
template <class Sink>
constexpr bool reads_undo_record() {
  if constexpr (requires { Sink::kReadsUndoRecord; })
    return Sink::kReadsUndoRecord;
  else
    return false;
}

// Stops a scan at a line, saying why.
inline bool fail(ScanError& error, std::size_t line, std::string_view what) {
  error = {line, std::string(what)};
  return false;
}
template <class Unit>
bool fail(ScanError& error, const TextLine<Unit>& line, std::string_view what) {
  return fail(error, line.number, what);
}

}  // namespace morvex::regfile
