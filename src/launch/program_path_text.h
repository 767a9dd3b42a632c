// Reading program names and PATH entries character by character in the
// active code page, so that the second byte of a double-byte character is
// never taken for a separator, colon or dot.
#pragma once

#include <string>
#include <vector>

namespace morvex {

class LaunchHost;

// Contains "\" or "/" or, when `colon_counts`, ":".
bool has_separator(const LaunchHost& host, const std::string& text, bool colon_counts);
// The second character is ":".
bool has_drive_prefix(const LaunchHost& host, const std::string& text);
// The last component contains a ".".
bool has_extension(const LaunchHost& host, const std::string& path);
bool ends_with_separator(const LaunchHost& host, const std::string& text);
// A network path naming a server: "\\server", "//server" and the mixed forms.
bool begins_with_two_separators(const std::string& text);
// Every entry between separators, empty ones included.
std::vector<std::string> split_search_path(const LaunchHost& host, const std::string& text);

}  // namespace morvex
