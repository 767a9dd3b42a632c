// The program's entry: the command line and the fixed uninstall sequence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

// Runs one uninstall for the command-line words (word 0 first) and returns
// the exit status: 0 on every path unless --exit-status, --list or --check
// says otherwise (run_status.h).
int run_uninstall(const std::vector<std::string>& words);

// The install key's "IDE" value as a number; 0 when it cannot be read.
std::int32_t read_ide_selector(const std::string& version_key);

std::string install_key_path(const std::string& version_key);

}  // namespace morvex
