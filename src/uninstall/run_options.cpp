#include "uninstall/run_options.h"

#include "diag/diagnostics.h"
#include "uninstall/usage.h"

namespace morvex {
namespace {

// The options that take a file, and where each keeps it.
struct FileOption {
  const char* name;
  std::string RunOptions::*path;
};

constexpr FileOption kFileOptions[] = {
    {"--report", &RunOptions::report_path},
    {"--undo", &RunOptions::undo_path},
    {"--restore", &RunOptions::restore_path},
};

// Every word the program takes as an option. One of them after the version
// key was meant as an option, not as a program to start.
constexpr const char* kOptionNames[] = {"--dry-run", "--report", "--undo", "--restore",
                                        "--help",    "-h",       "--version"};

bool is_option_name(const std::string& word) {
  for (const char* name : kOptionNames)
    if (word == name) return true;
  return false;
}

bool refuse(const char* format, const std::string& option) {
  report_error(format, option.c_str(), kOptionsUsageLine);
  return false;
}

}  // namespace

bool read_run_options(const std::vector<std::string>& words, RunOptions& options) {
  options = RunOptions{};
  std::size_t next = 1;
  // No release key starts with "--" or is "-h", so an installer's words
  // never stop here.
  for (; next < words.size() && (words[next].starts_with("--") || words[next] == "-h"); ++next) {
    const std::string& word = words[next];
    if (answer_information_request(word)) return false;
    if (word == "--dry-run") {
      options.dry_run = true;
      continue;
    }
    const FileOption* option = nullptr;
    for (const FileOption& candidate : kFileOptions)
      if (word == candidate.name) option = &candidate;
    if (option == nullptr) return refuse("unknown option %s; usage: %s", word);
    if (next + 1 >= words.size() || words[next + 1].empty())
      return refuse("%s needs a file; usage: %s", word);
    options.*(option->path) = words[++next];
  }
  if (!options.restore_path.empty() &&
      (options.dry_run || !options.report_path.empty() || !options.undo_path.empty() ||
       next < words.size()))
    return refuse("%s stands alone; usage: %s", "--restore");
  if (options.dry_run && !options.undo_path.empty())
    return refuse("%s changes nothing to undo; usage: %s", "--dry-run");
  for (std::size_t after_key = next + 1; after_key < words.size(); ++after_key)
    if (is_option_name(words[after_key]))
      return refuse("%s stands before the version key; usage: %s", words[after_key]);
  options.words.push_back(words.empty() ? std::string() : words[0]);
  if (next < words.size())
    options.words.insert(options.words.end(), words.begin() + static_cast<std::ptrdiff_t>(next),
                         words.end());
  return true;
}

}  // namespace morvex
