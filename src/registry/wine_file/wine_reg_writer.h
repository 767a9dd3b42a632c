// Lines of Wine's registry files as its server writes them, for the keys
// and values a run adds or changes; every other line keeps its bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "registry/host_store.h"

namespace morvex::winefile {

// A moment as Windows counts it: 100 ns ticks since 1601.
std::uint64_t filetime_now();

// "[Path\\Of\\Key] SECONDS" and "#time=HEX", each with its line end; `path`
// is UTF-8 with single backslashes. False when it is not UTF-8.
bool key_lines(std::string_view path, std::uint64_t modified, std::string& out);

// The value's line(s): a text that ends in its zero as str/str(N), a
// four-byte dword as dword:, anything else as hex:/hex(N): folded at 76
// characters as Wine folds it. False when a name or text is not UTF-8.
bool value_lines(const StoredValue& value, std::string& out);

}  // namespace morvex::winefile
