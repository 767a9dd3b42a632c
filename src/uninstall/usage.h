// What the program says about itself when asked, or when called wrongly.
#pragma once

#include <string>

namespace morvex {

// The one usage line: --help starts with it (and so the manual page), and
// every refused command line ends with it.
inline constexpr const char* kUsageLine =
    "morvex-uninstall [OPTION]... VERSION_KEY [FOLLOW_ON_PROGRAM [ARGUMENT]], "
    "or --restore FILE, or --list|--check [--report FILE]";

// Answers "--help" and "--version" on standard output. True when the word
// was one of them: the run then changes nothing. No release key starts with
// "--", so an installer never reaches this.
bool answer_information_request(const std::string& word);

}  // namespace morvex
