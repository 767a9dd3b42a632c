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

// The options that take no word.
struct SwitchOption {
  const char* name;
  bool RunOptions::*flag;
};

constexpr SwitchOption kSwitchOptions[] = {
    {"--yes", &RunOptions::assume_yes},
    {"--exit-status", &RunOptions::exit_status},
    {"--list", &RunOptions::list},
    {"--check", &RunOptions::check},
};

constexpr FileOption kFileOptions[] = {
    {"--report", &RunOptions::report_path},
    {"--undo", &RunOptions::undo_path},
    {"--restore", &RunOptions::restore_path},
};

bool refuse(const char* format, const std::string& option) {
  report_error(format, option.c_str(), kOptionsUsageLine);
  return false;
}

// Known before the options are read, so that a wrong one already gets the
// status of a usage error.
bool asks_for_exit_status(const std::vector<std::string>& words) {
  for (std::size_t next = 1; next < words.size() && words[next].starts_with("--"); ++next) {
    if (words[next] == "--exit-status") return true;
    // A file's name is no option, whatever it looks like.
    for (const FileOption& option : kFileOptions)
      if (words[next] == option.name) {
        ++next;
        break;
      }
  }
  return false;
}

}  // namespace

bool read_run_options(const std::vector<std::string>& words, RunOptions& options) {
  options = RunOptions{};
  options.exit_status = asks_for_exit_status(words);
  std::size_t next = 1;
  // No release key starts with "--", so an installer's words never stop here.
  for (; next < words.size() && words[next].starts_with("--"); ++next) {
    const std::string& word = words[next];
    if (answer_information_request(word)) return false;
    if (word == "--dry-run") {
      options.dry_run = true;
      continue;
    }
    const SwitchOption* flag = nullptr;
    for (const SwitchOption& candidate : kSwitchOptions)
      if (word == candidate.name) flag = &candidate;
    if (flag != nullptr) {
      options.*(flag->flag) = true;
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
  // A look at the installation takes only where its JSON goes.
  if ((options.list || options.check) &&
      (options.list == options.check || options.dry_run || options.assume_yes ||
       !options.undo_path.empty() || !options.restore_path.empty() || next < words.size()))
    return refuse("%s stands alone; usage: %s", options.list ? "--list" : "--check");
  if (options.dry_run && !options.undo_path.empty())
    return refuse("%s changes nothing to undo; usage: %s", "--dry-run");
  options.words.push_back(words.empty() ? std::string() : words[0]);
  if (next < words.size())
    options.words.insert(options.words.end(), words.begin() + static_cast<std::ptrdiff_t>(next),
                         words.end());
  return true;
}

}  // namespace morvex
