// Wine's own registry files (user.reg, system.reg), as its server saves
// them: a header line, the root the keys are relative to, #arch=, then each
// key as "[Path\\With\\Doubled\\Backslashes] SECONDS" with its #time=,
// #class= and #link lines and its values. Read whole, never in part: a line
// the reader does not know makes the file unusable, named by its line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "registry/host_store.h"

namespace morvex::winefile {

// Bytes [begin, end) of the file: whole lines, their line ends included.
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// One key line and what follows it up to the next: a key the file names
// twice has two.
struct WineKey {
  std::string path;  // UTF-8, single backslashes, as spelled
  std::vector<StoredValue> values;
  std::vector<Span> value_lines;  // each value's line(s), beside `values`
  Span block;                     // from the key line to the next key line or the end
  Span key_line;
  Span time_line;  // empty when the key has no #time= line
  std::size_t append_at = 0;  // after its last value, option or key line
};

struct WineFile {
  std::string relative_to;  // from ";; All keys relative to ..."
  std::string arch;         // "win32", "win64", or empty when not said
  std::vector<WineKey> keys;
};

struct WineReadError {
  std::size_t line = 0;  // 1-based; 0 for the file as a whole
  std::string reason;
};

// Values as the program reads them: texts (str, str(2), str(7) and the hex
// forms of types 1, 2 and 7) as UTF-8 with their terminating zero, a dword
// as its four bytes, anything else as its bytes.
bool read_wine_file(std::string_view text, WineFile& file, WineReadError& error);

}  // namespace morvex::winefile
