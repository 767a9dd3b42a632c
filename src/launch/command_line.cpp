#include "launch/launch.h"

namespace morvex {

// No quotes and no escapes: the child splits the line at its blanks, so an
// argument "a b" arrives as two words, as it always has.
std::string build_command_line(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return {};
  std::string line = arguments.front();
  // An empty argument adds nothing, not even its blank.
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].empty()) continue;
    line += ' ';
    line += arguments[i];
  }
  return line;
}

}  // namespace morvex
