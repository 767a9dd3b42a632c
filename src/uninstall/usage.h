// What the program says about itself when asked, or when called wrongly.
#pragma once

#include <string>

namespace morvex {

inline constexpr const char* kUsageLine = "morvex-uninstall VERSION_KEY [FOLLOW_ON_PROGRAM [ARGUMENT]]";
inline constexpr const char* kOptionsUsageLine =
    "morvex-uninstall [--dry-run] [--yes] [--exit-status] [--report FILE] [--undo FILE] VERSION_KEY "
    "[FOLLOW_ON_PROGRAM [ARGUMENT]], or morvex-uninstall --restore FILE, "
    "or morvex-uninstall --list|--check [--report FILE]";

// Answers "--help" and "--version" on standard output. True when the word
// was one of them: the run then changes nothing. No release key starts with
// "--", so an installer never reaches this.
bool answer_information_request(const std::string& word);

}  // namespace morvex
