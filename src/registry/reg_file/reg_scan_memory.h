// A whole registry text held in memory, scanned into a sink: for the readers
// that take a file at once (undo records, the tree of tests and tools), as
// the store scans its file a chunk at a time.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "registry/reg_file/reg_lines.h"
#include "registry/reg_file/reg_scanner.h"

namespace morvex::regfile {

// `text` is what follows the byte-order mark `mark`; the sink is a
// Sink<Unit> made from `target`. False with "LINE: what" in `error`.
template <template <class> class Sink, class Target>
bool scan_in_memory(const ByteOrderMark& mark, std::string_view text, Target& target,
                    std::string& error) {
  const auto scan = [&](const auto* units, std::size_t count, bool odd_byte) {
    using Unit = std::remove_cv_t<std::remove_pointer_t<decltype(units)>>;
    LineReader<Unit> reader(units, count, mark.size, odd_byte);
    Sink<Unit> sink(target);
    Scanner<Unit, Sink<Unit>> scanner(sink, mark.size != 0);
    ScanError failure;
    if (scanner.run(reader, failure)) return true;
    error = std::to_string(failure.line) + ": " + failure.what;
    return false;
  };
  if (!mark.utf16le)
    return scan(reinterpret_cast<const unsigned char*>(text.data()), text.size(), false);
  std::u16string units(text.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[2 * i]) |
                                     static_cast<unsigned char>(text[2 * i + 1]) << 8);
  return scan(units.data(), units.size(), text.size() % 2 != 0);
}

}  // namespace morvex::regfile
