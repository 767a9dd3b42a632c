// The one parser of registry files: a state machine over the lines of a
// file that checks every line and hands sections (and, when asked, values)
// to a sink. A line it does not fully understand stops the scan with the
// line's number, so a file is either understood whole or not used at all.
//
// A sink provides:
//   static constexpr bool kWantsValues;  // false: check values, skip decoding
//   void header(FileHeader);
//   bool section(const SectionHeader<Unit>&, ScanError&);
//   void value(const ValueRecord&);      // only when kWantsValues
// and, to read an undo record (see ValueRecord), also:
//   static constexpr bool kReadsUndoRecord = true;
//   void note(const std::string&);       // a comment line after its ';'
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_file/reg_lines.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/reg_file/reg_scan_units.h"
#include "registry/reg_file/reg_text.h"
#include "text/dword_bytes.h"

namespace morvex::regfile {

template <class Unit, class Sink>
class Scanner {
 public:
  // A whole file; `has_bom` tells whether a byte-order mark preceded the lines.
  Scanner(Sink& sink, bool has_bom) : sink_(sink), has_bom_(has_bom) {}
  // Sections of a file already checked, whose header was `header`.
  Scanner(Sink& sink, FileHeader header)
      : sink_(sink), state_(State::before_sections), wide_(header == FileHeader::version5) {}

  bool run(LineReader<Unit>& reader, ScanError& error) {
    TextLine<Unit> line;
    for (;;) {
      const auto status = reader.next(line);
      if (status == LineReader<Unit>::Status::end) break;
      if (status == LineReader<Unit>::Status::error) {
        error = {reader.error_line(), reader.error()};
        return false;
      }
      const bool line_ended = line.line_end_size != 0;
      if (!feed(line, error)) return false;
      if (text_end_ == kNoEndOfFileByte) ends_with_line_end_ = line_ended;
    }
    switch (state_) {
      case State::before_header:
        return fail(error, 1, kUnknownHeader);
      case State::continuing_value:
        return fail(error, continued_line_, "value continues past the end of the file");
      case State::before_sections:
      case State::in_section:
        return true;
    }
    return true;
  }

  // One more line: for readers that pick the lines themselves.
  bool feed(const TextLine<Unit>& line, ScanError& error) {
    return state_ == State::before_header ? header(line, error) : body(line, error);
  }

  // The header line's line end, which new lines copy.
  std::string_view line_end() const { return line_end_; }
  // Of the last line before an end-of-file byte, if the file has one.
  bool ends_with_line_end() const { return ends_with_line_end_; }
  // Where a DOS end-of-file byte (0x1A alone on the last line of a REGEDIT4
  // file, as old Windows tools wrote it) starts: the registry text ends
  // there, and the byte stays after whatever is added.
  static constexpr std::uint64_t kNoEndOfFileByte = UINT64_MAX;
  std::uint64_t text_end() const { return text_end_; }

 private:
  // Where the scan stands between two lines, which decides how the next
  // line is read.
  enum class State {
    before_header,     // the first line must be the header
    before_sections,   // a value line would have no key
    in_section,        // values of the last section, or the next section
    continuing_value,  // a hex list ended in a backslash: the next line goes on with it
  };
  using Kind = ValueKind;
  static constexpr bool kWantsValues = Sink::kWantsValues;
  static constexpr bool kUndoRecord = reads_undo_record<Sink>();

  bool header(const TextLine<Unit>& line, ScanError& error) {
    const Unit* end = line.text + line.size;
    FileHeader which;
    if (line.size == 8 && starts_with(line.text, end, "REGEDIT4")) {
      which = FileHeader::regedit4;
    } else if (line.size == 36 &&
               starts_with(line.text, end, "Windows Registry Editor Version 5.00")) {
      which = FileHeader::version5;
    } else {
      return fail(error, line, kUnknownHeader);
    }
    if (which == FileHeader::regedit4 && (has_bom_ || sizeof(Unit) != 1))
      return fail(error, line, "a REGEDIT4 file must be 8-bit text without a byte-order mark");
    state_ = State::before_sections;
    wide_ = which == FileHeader::version5;
    check_utf8_ = wide_ && sizeof(Unit) == 1;
    if (line.line_end_size == 1) line_end_ = *end == Unit('\n') ? "\n" : "\r";
    sink_.header(which);
    return true;
  }

  bool body(const TextLine<Unit>& line, ScanError& error) {
    if (text_end_ != kNoEndOfFileByte) return fail(error, line, "line after the end-of-file byte (1A)");
    if constexpr (sizeof(Unit) == 1)
      if (check_utf8_ && !is_utf8(line.text, line.size))
        return fail(error, line, "not UTF-8 (a \"Version 5.00\" file in 8-bit text must be UTF-8)");
    const Unit* p = line.text;
    const Unit* end = p + line.size;
    skip_blanks(p, end);
    if constexpr (kUndoRecord) {
      line_left_by_run_ = end - p >= 2 && p[0] == Unit(';') && p[1] == Unit('>');
      if (line_left_by_run_) {
        p += 2;
        skip_blanks(p, end);
      } else if (p != end && *p == Unit(';')) {
        std::string note;
        append_view(p + 1, end, note);
        sink_.note(note);
        return true;
      }
    }
    // Blank and comment lines are skipped, inside a continuation too. A
    // section starts at its key line: the comments above it are not its own.
    if (p == end || *p == Unit(';')) return true;
    const std::uint64_t section_begin = line.offset;
    const bool starts_value = *p == Unit('"') || *p == Unit('@');
    switch (state_) {
      case State::continuing_value:
        return hex_list(p, end, line, error);
      case State::before_header:
      case State::before_sections:
        if (starts_value) return fail(error, line, "value outside any key");
        break;
      case State::in_section:
        if (starts_value) return value(p, end, line, error);
        break;
    }
    if (*p == Unit('[')) return section(p + 1, end, line, section_begin, error);
    if (line.size == 1 && *p == Unit(0x1A) && !wide_) {
      text_end_ = line.offset;
      return true;
    }
    return fail(error, line, "line not understood");
  }

  bool section(const Unit* p, const Unit* end, const TextLine<Unit>& line, std::uint64_t begin,
               ScanError& error) {
    if (p != end && *p == Unit('-'))
      return fail(error, line, "key deletion ([-...]) has no meaning in a registry file");
    // Key names may hold "]": the name ends at the last one.
    const Unit* close = end;
    while (close != p && *(close - 1) != Unit(']')) --close;
    if (close == p) return fail(error, line, "missing ] after the key name");
    --close;
    if (!at_line_end(close + 1, end)) return fail(error, line, "text after the key name");
    const auto next_backslash = [close](const Unit* from) {
      return from + unit_run(from, static_cast<std::size_t>(close - from), Unit('\\'));
    };
    // Sections come depth first, so most of a path is spelled as in the
    // section before: its root, and each component a backslash ends within
    // that part, are that section's again and need no second look.
    const auto size = static_cast<std::size_t>(close - p);
    const std::size_t alike = alike_run(p, last_path_.data(), std::min(size, last_path_.size()));
    const auto ends_alike = [&](std::size_t stop) {
      return stop < alike || (stop == alike && stop < size && p[stop] == Unit('\\'));
    };
    std::size_t repeated = 0;
    const Unit* q = p;
    if (root_ != kRootCount && ends_alike(last_root_size_)) {
      while (repeated < last_names_.size() &&
             ends_alike(last_names_[repeated].start + last_names_[repeated].size))
        ++repeated;
      last_names_.resize(repeated);
      q += repeated == 0 ? last_root_size_ : last_names_.back().start + last_names_.back().size;
    } else {
      q = next_backslash(p);
      last_root_size_ = static_cast<std::size_t>(q - p);
      root_ = find_root(p, last_root_size_);
      if (root_ == kRootCount) return fail(error, line, "unknown root key");
      last_names_.clear();
    }
    while (q != close) {
      const Unit* name = ++q;
      q = next_backslash(q);
      if (q == name) return fail(error, line, "empty key name component");
      last_names_.push_back({static_cast<std::size_t>(name - p), static_cast<std::size_t>(q - name)});
    }
    last_path_.assign(p, close);
    const auto base = static_cast<std::size_t>(p - line.text);
    names_.clear();
    for (const NameSpan& name : last_names_) names_.push_back({base + name.start, name.size});
    state_ = State::in_section;
    return sink_.section(SectionHeader<Unit>{line, begin, root_, names_, repeated}, error);
  }

  // A quoted text from its opening quote; `p` ends after the closing one.
  bool quoted(const Unit*& p, const Unit* end, std::vector<Unit>& out,
              const TextLine<Unit>& line, ScanError& error) {
    ++p;
    for (;;) {
      const Unit* q = p + text_run(p, static_cast<std::size_t>(end - p));
      if constexpr (kWantsValues) out.insert(out.end(), p, q);
      if (q == end) return fail(error, line, "unterminated string");
      if (*q == Unit('"')) {
        p = q + 1;
        return true;
      }
      if (q + 1 == end) return fail(error, line, "unterminated string");
      if (q[1] != Unit('\\') && q[1] != Unit('"'))
        return fail(error, line, "bad escape in a string (only \\\\ and \\\" are allowed)");
      if constexpr (kWantsValues) out.push_back(q[1]);
      p = q + 2;
    }
  }

  bool value(const Unit* p, const Unit* end, const TextLine<Unit>& line, ScanError& error) {
    value_begin_ = line.offset;
    value_left_by_run_ = line_left_by_run_;
    name_.clear();
    text_.clear();
    bytes_.clear();
    if (*p == Unit('@')) {
      ++p;
    } else if (!quoted(p, end, name_, line, error)) {
      return false;
    }
    skip_blanks(p, end);
    if (p == end || *p != Unit('=')) return fail(error, line, "missing = after the value name");
    ++p;
    skip_blanks(p, end);
    const TypeTag* tag = nullptr;
    for (const TypeTag& candidate : kTypeTags)
      if (starts_with(p, end, candidate.text)) {
        tag = &candidate;
        break;
      }
    if (tag == nullptr) return fail(error, line, "unknown value type");
    kind_ = tag->kind;
    switch (kind_) {
      case Kind::text:
        if (!quoted(p, end, text_, line, error)) return false;
        if (!at_line_end(p, end)) return fail(error, line, "text after the value");
        type_ = kTypeSz;
        finish_value(line);
        return true;
      case Kind::dword: {
        p += tag->text.size();
        std::uint32_t number = 0;
        if (!hex_number(p, end, number) || !at_line_end(p, end))
          return fail(error, line, "bad dword (1 to 8 hex digits)");
        type_ = kTypeDword;
        if constexpr (kWantsValues) bytes_ += dword_bytes(number);
        finish_value(line);
        return true;
      }
      case Kind::hex:
        type_ = kTypeBinary;
        p += tag->text.size();
        break;
      case Kind::typed_hex: {
        p += tag->text.size();
        std::uint32_t type = 0;
        if (!hex_number(p, end, type) || !starts_with(p, end, "):"))
          return fail(error, line, "bad hex(N) value type");
        p += 2;
        type_ = type;
        break;
      }
      case Kind::deletion:
        if constexpr (kUndoRecord) {
          if (!at_line_end(p + 1, end)) return fail(error, line, "text after the value");
          type_ = 0;
          finish_value(line);
          return true;
        }
        return fail(error, line, "value deletion (=-) has no meaning in a registry file");
    }
    return hex_list(p, end, line, error);
  }

  // Comma-separated bytes; a backslash where a byte could start continues
  // the list on the next line.
  bool hex_list(const Unit* p, const Unit* end, const TextLine<Unit>& line, ScanError& error) {
    state_ = State::in_section;
    // A list always continues where a byte may start.
    bool expect_byte = true;
    // Most of a large file is "xx," runs as regedit writes them.
    if constexpr (!kWantsValues)
      if (expect_byte) p += hex_triples_run(p, static_cast<std::size_t>(end - p));
    while (expect_byte && end - p >= 3 && p[2] == Unit(',')) {
      const int high = hex_digit(p[0]);
      const int low = hex_digit(p[1]);
      if ((high | low) < 0) break;
      if constexpr (kWantsValues) bytes_ += static_cast<char>(high << 4 | low);
      p += 3;
    }
    for (;;) {
      skip_blanks(p, end);
      if (p == end || *p == Unit(';')) break;
      if (!expect_byte) {
        if (*p != Unit(',')) return fail(error, line, "bad hex byte");
        ++p;
        expect_byte = true;
        continue;
      }
      if (*p == Unit('\\')) {
        if (!at_line_end(p + 1, end)) return fail(error, line, "bad hex byte");
        state_ = State::continuing_value;
        continued_line_ = line.number;
        return true;
      }
      int byte = hex_digit(*p);
      if (byte < 0) return fail(error, line, "bad hex byte");
      ++p;
      if (p != end && hex_digit(*p) >= 0) byte = byte << 4 | hex_digit(*p++);
      if constexpr (kWantsValues) bytes_ += static_cast<char>(byte);
      expect_byte = false;
    }
    finish_value(line);
    return true;
  }

  void finish_value(const TextLine<Unit>& line) {
    if constexpr (kWantsValues) {
      record_.name.clear();
      append_view(name_, record_.name);
      record_.type = type_;
      record_.data.clear();
      if (kind_ == Kind::text) {
        append_view(text_, record_.data);
        record_.data += '\0';
      } else if (wide_ && is_text_type(type_)) {
        record_.data = utf8_of_utf16le(bytes_);
      } else {
        record_.data = bytes_;
      }
      record_.begin = value_begin_;
      record_.end = line.end_offset();
      record_.deletion = kind_ == Kind::deletion;
      record_.left_by_run = value_left_by_run_;
      sink_.value(record_);
    } else {
      (void)line;
    }
  }

  Sink& sink_;
  State state_ = State::before_header;
  bool has_bom_ = false;
  bool wide_ = false;
  std::string_view line_end_ = "\r\n";
  bool ends_with_line_end_ = true;
  std::uint64_t text_end_ = kNoEndOfFileByte;
  bool check_utf8_ = false;  // set by the header line, so only for a whole file
  // The last section's path (from its root to its last "]"), the size of
  // its root, the root it names and its components within the path.
  std::vector<Unit> last_path_;
  std::size_t last_root_size_ = 0;
  std::size_t root_ = kRootCount;
  std::vector<NameSpan> last_names_;
  std::vector<NameSpan> names_;  // the same within the line
  bool line_left_by_run_ = false;  // undo records: the line began ";>"
  // The value being read; a hex list may continue over several lines.
  std::size_t continued_line_ = 0;
  Kind kind_ = Kind::text;
  std::uint32_t type_ = 0;
  std::uint64_t value_begin_ = 0;
  bool value_left_by_run_ = false;
  std::vector<Unit> name_;
  std::vector<Unit> text_;
  std::string bytes_;
  ValueRecord record_;
};

}  // namespace morvex::regfile
