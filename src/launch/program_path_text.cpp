#include "launch/program_path_text.h"

#include "launch/launch_host.h"
#include "text/path_separator.h"

namespace morvex {
namespace {

// Where the character after the one at `at` begins. Stepping so, `at`
// only ever meets a single byte or a lead byte, and a lead byte is never a
// separator, colon or dot itself.
std::size_t next_char(const LaunchHost& host, const std::string& text, std::size_t at) {
  const bool pair = host.is_lead_byte(static_cast<unsigned char>(text[at])) && at + 1 < text.size();
  return at + (pair ? 2 : 1);
}

}  // namespace

bool has_separator(const LaunchHost& host, const std::string& text, bool colon_counts) {
  for (std::size_t at = 0; at < text.size(); at = next_char(host, text, at))
    if (is_path_separator(text[at]) || (colon_counts && text[at] == ':')) return true;
  return false;
}

bool has_drive_prefix(const LaunchHost& host, const std::string& text) {
  if (text.empty()) return false;
  const std::size_t second = next_char(host, text, 0);
  return second < text.size() && text[second] == ':';
}

bool has_extension(const LaunchHost& host, const std::string& path) {
  std::size_t last_separator = std::string::npos;
  std::size_t first_colon = std::string::npos;
  for (std::size_t at = 0; at < path.size(); at = next_char(host, path, at)) {
    if (is_path_separator(path[at])) last_separator = at;
    if (path[at] == ':' && first_colon == std::string::npos) first_colon = at;
  }
  std::size_t component = 0;
  if (last_separator != std::string::npos)
    component = last_separator + 1;
  else if (first_colon != std::string::npos)
    component = first_colon + 1;
  for (std::size_t at = component; at < path.size(); at = next_char(host, path, at))
    if (path[at] == '.') return true;
  return false;
}

bool ends_with_separator(const LaunchHost& host, const std::string& text) {
  bool last_was_separator = false;
  for (std::size_t at = 0; at < text.size(); at = next_char(host, text, at))
    last_was_separator = is_path_separator(text[at]);
  return last_was_separator;
}

bool begins_with_two_separators(const std::string& text) {
  return text.size() >= 2 && is_path_separator(text[0]) && is_path_separator(text[1]);
}

std::vector<std::string> split_search_path(const LaunchHost& host, const std::string& text) {
  const char separator = host.search_path_separator();
  std::vector<std::string> entries;
  std::size_t begin = 0;
  for (std::size_t at = 0; at < text.size(); at = next_char(host, text, at)) {
    if (text[at] == separator) {
      entries.push_back(text.substr(begin, at - begin));
      begin = at + 1;
    }
  }
  entries.push_back(text.substr(begin));
  return entries;
}

}  // namespace morvex
