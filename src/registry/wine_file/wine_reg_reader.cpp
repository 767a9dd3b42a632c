#include "registry/wine_file/wine_reg_reader.h"

#include <cstdint>

#include "registry/reg_file/reg_scan_units.h"
#include "registry/reg_file/reg_text.h"

namespace morvex::winefile {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRelativeTo = ";; All keys relative to ";

using regfile::hex_digit;

// Up to `most` hex digits from line[at]; false when there is none.
bool read_hex_number(std::string_view line, std::size_t& at, std::size_t most,
                     std::uint32_t& number) {
  const std::size_t begin = at;
  number = 0;
  while (at < line.size() && at - begin < most && hex_digit(line[at]) >= 0)
    number = number * 16 + static_cast<std::uint32_t>(hex_digit(line[at++]));
  return at > begin;
}

// A quoted text after its opening quote, in Wine's escapes (C's letters,
// \xHHHH, octal, a backslash before any other character standing for it),
// up to the unescaped `end`; `at` moves past it. Bytes outside ASCII must be
// UTF-8. False when the line ends first or the bytes are not UTF-8.
bool read_escaped(std::string_view line, std::size_t& at, char end, std::u16string& out) {
  while (at < line.size()) {
    const char c = line[at++];
    if (c == end) return true;
    if (static_cast<unsigned char>(c) >= 0x80) {
      std::size_t stop = at;
      while (stop < line.size() && static_cast<unsigned char>(line[stop]) >= 0x80) ++stop;
      std::u16string units;
      if (!regfile::utf16_from_utf8(line.substr(at - 1, stop - at + 1), units)) return false;
      out += units;
      at = stop;
      continue;
    }
    if (c != '\\') {
      out.push_back(static_cast<char16_t>(c));
      continue;
    }
    if (at == line.size()) return false;
    const char escape = line[at++];
    std::uint32_t number = 0;
    switch (escape) {
      case 'a': out.push_back(7); break;
      case 'b': out.push_back(8); break;
      case 'e': out.push_back(27); break;
      case 'f': out.push_back(12); break;
      case 'n': out.push_back(10); break;
      case 'r': out.push_back(13); break;
      case 't': out.push_back(9); break;
      case 'v': out.push_back(11); break;
      case 'x':
        if (read_hex_number(line, at, 4, number))
          out.push_back(static_cast<char16_t>(number));
        else
          out.push_back(u'x');
        break;
      default:
        if (escape >= '0' && escape <= '7') {
          number = static_cast<std::uint32_t>(escape - '0');
          for (int digits = 1; digits < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7';
               ++digits)
            number = number * 8 + static_cast<std::uint32_t>(line[at++] - '0');
          out.push_back(static_cast<char16_t>(number));
        } else {
          out.push_back(static_cast<char16_t>(static_cast<unsigned char>(escape)));
        }
    }
  }
  return false;
}

std::string utf8_of(const std::u16string& units) {
  std::string text;
  regfile::append_utf8(units.data(), units.size(), text);
  return text;
}

class Reader {
 public:
  Reader(std::string_view text, WineFile& file, WineReadError& error)
      : text_(text), file_(file), error_(error) {}

  bool read() {
    if (!text_.empty() && text_.back() != '\n')
      return fail_at(0, "the file ends inside a line (cut short?)");
    std::string_view line;
    if (!next_line(line) || line != kHeader)
      return fail("not a Wine registry file (its first line is not \"WINE REGISTRY Version 2\")");
    while (next_line(line)) {
      const std::size_t line_begin = line_begin_;
      std::size_t at = line.find_first_not_of(" \t");
      if (at == std::string_view::npos) continue;
      line.remove_prefix(at);
      bool read_well = true;
      switch (line[0]) {
        case ';': read_well = comment(line); break;
        case '#': read_well = option(line); break;
        case '[': read_well = key_line(line); break;
        case '@':
        case '"': read_well = value_line(line); break;
        default: read_well = fail("a line that is no key, value, option or comment");
      }
      if (!read_well) return false;
      if (state_ == State::in_key) {
        WineKey& key = file_.keys.back();
        if (line[0] == '#' && line.starts_with("#time=")) key.time_line = {line_begin, at_};
        if (line[0] == '@' || line[0] == '"') key.value_lines.push_back({line_begin, at_});
        if (line[0] != ';') key.append_at = at_;
      }
    }
    if (!file_.keys.empty()) file_.keys.back().block.end = text_.size();
    return true;
  }

 private:
  enum class State { before_keys, in_key };

  bool next_line(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    line_begin_ = at_;
    const std::size_t end = text_.find('\n', at_);
    line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = end + 1;
    ++line_number_;
    return true;
  }

  bool fail(std::string reason) { return fail_at(line_number_, std::move(reason)); }
  bool fail_at(std::size_t line, std::string reason) {
    error_.line = line;
    error_.reason = std::move(reason);
    return false;
  }

  bool comment(std::string_view line) {
    if (state_ == State::before_keys && line.starts_with(kRelativeTo))
      file_.relative_to = std::string(line.substr(kRelativeTo.size()));
    return true;
  }

  bool option(std::string_view line) {
    if (state_ == State::before_keys) {
      if (!line.starts_with("#arch=")) return fail("an option Wine does not write before the keys");
      file_.arch = std::string(line.substr(6));
      return true;
    }
    if (line == "#link") return true;
    std::size_t at = 0;
    if (line.starts_with("#time=")) {
      at = 6;
      while (at < line.size() && hex_digit(line[at]) >= 0) ++at;
      return at > 6 && at == line.size() ? true : fail("a key's #time= that is not a hex number");
    }
    if (line.starts_with("#class=\"")) {
      std::u16string name;
      at = 8;
      return read_escaped(line, at, '"', name) && at == line.size()
                 ? true
                 : fail("a key's #class= that is not one quoted text");
    }
    return fail("an option Wine does not write in a key");
  }

  bool key_line(std::string_view line) {
    std::size_t at = 1;
    std::u16string path;
    if (!read_escaped(line, at, ']', path)) return fail("a key line without its closing ]");
    const std::size_t time = line.find_first_not_of(' ', at);
    if (time != std::string_view::npos &&
        line.find_first_not_of("0123456789", time) != std::string_view::npos)
      return fail("a key line whose time is not a number");
    if (!file_.keys.empty()) file_.keys.back().block.end = line_begin_;
    WineKey& key = file_.keys.emplace_back();
    key.path = utf8_of(path);
    key.block = key.key_line = {line_begin_, at_};
    key.append_at = at_;
    state_ = State::in_key;
    return true;
  }

  bool value_line(std::string_view line) {
    if (state_ != State::in_key) return fail("a value before the first key");
    StoredValue value;
    std::size_t at = 1;
    if (line[0] == '"') {
      std::u16string name;
      if (!read_escaped(line, at, '"', name)) return fail("a value name without its closing quote");
      value.name = utf8_of(name);
    }
    if (at >= line.size() || line[at] != '=') return fail("a value name not followed by =");
    if (!value_data(line.substr(at + 1), value)) return false;
    file_.keys.back().values.push_back(std::move(value));
    return true;
  }

  bool value_data(std::string_view data, StoredValue& value) {
    std::size_t at = 0;
    std::uint32_t type = regfile::kTypeSz;
    if (data.starts_with("str(")) {
      at = 4;
      if (!read_hex_number(data, at, 8, type) || data.substr(at, 3) != "):\"")
        return fail("a str( value whose type is not (N):\"");
      at += 2;
    }
    if (at < data.size() && data[at] == '"') {
      std::u16string text;
      ++at;
      if (!read_escaped(data, at, '"', text) || at != data.size())
        return fail("a text value that is not one quoted text");
      value.type = type;
      value.data = utf8_of(text);
      value.data.push_back('\0');
      return true;
    }
    if (data.starts_with("dword:")) {
      at = 6;
      std::uint32_t number = 0;
      if (!read_hex_number(data, at, 8, number) || at != data.size())
        return fail("a dword that is not up to 8 hex digits");
      value.type = regfile::kTypeDword;
      for (int byte = 0; byte < 4; ++byte) value.data.push_back(static_cast<char>(number >> (8 * byte)));
      return true;
    }
    type = regfile::kTypeBinary;
    if (data.starts_with("hex(")) {
      at = 4;
      if (!read_hex_number(data, at, 8, type) || data.substr(at, 2) != "):")
        return fail("a hex( value whose type is not (N):");
      at += 2;
    } else if (data.starts_with("hex:")) {
      at = 4;
    } else {
      return fail("a value of a form Wine does not write");
    }
    std::string bytes;
    if (!hex_bytes(data.substr(at), bytes)) return false;
    value.type = type;
    value.data = regfile::is_text_type(type) ? regfile::utf8_of_utf16le(bytes) : std::move(bytes);
    return true;
  }

  // Comma-separated bytes; a line that ends in "\" goes on on the next one.
  bool hex_bytes(std::string_view data, std::string& bytes) {
    for (;;) {
      std::size_t at = 0;
      while (at < data.size()) {
        if (data[at] == '\\' && at + 1 == data.size()) break;
        const int high = hex_digit(data[at]);
        const int low = at + 1 < data.size() ? hex_digit(data[at + 1]) : -1;
        if (high < 0 || low < 0) return fail("hex data that is not two-digit bytes and commas");
        bytes.push_back(static_cast<char>(high * 16 + low));
        at += 2;
        if (at < data.size() && data[at] == ',')
          ++at;
        else if (at < data.size() && data[at] != '\\')
          return fail("hex data that is not two-digit bytes and commas");
      }
      if (at == data.size()) return true;
      std::string_view next;
      if (!next_line(next)) return fail_at(line_number_, "hex data cut short at the end of the file");
      const std::size_t begin = next.find_first_not_of(" \t");
      data = begin == std::string_view::npos ? std::string_view() : next.substr(begin);
    }
  }

  std::string_view text_;
  WineFile& file_;
  WineReadError& error_;
  std::size_t at_ = 0;          // where the next line begins
  std::size_t line_begin_ = 0;  // where the line last read began
  std::size_t line_number_ = 0;
  State state_ = State::before_keys;
};

}  // namespace

bool read_wine_file(std::string_view text, WineFile& file, WineReadError& error) {
  file = WineFile{};
  return Reader(text, file, error).read();
}

}  // namespace morvex::winefile
