#include "uninstall/run_options.h"

#include "diag/diagnostics.h"
#include "uninstall/usage.h"

namespace morvex {
namespace {

// The options that take a word (a file, a folder, a name), and where each keeps it.
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
    {"--dry-run", &RunOptions::dry_run},
    {"--yes", &RunOptions::assume_yes},
    {"--exit-status", &RunOptions::exit_status},
    {"--list", &RunOptions::list},
    {"--check", &RunOptions::check},
};

constexpr FileOption kFileOptions[] = {
    {"--report", &RunOptions::report_path},
    {"--undo", &RunOptions::undo_path},
    {"--restore", &RunOptions::restore_path},
    {"--windows-disk", &RunOptions::windows_disk},
    {"--user", &RunOptions::user},
};

template <typename Option, std::size_t count>
const Option* find_option(const Option (&table)[count], const std::string& word) {
  for (const Option& option : table)
    if (word == option.name) return &option;
  return nullptr;
}

// One of these after the version key was meant as an option, not as a
// program to start.
bool is_option_name(const std::string& word) {
  return find_option(kSwitchOptions, word) != nullptr || find_option(kFileOptions, word) != nullptr ||
         word == "--help" || word == "-h" || word == "--version";
}

bool refuse(const char* format, const std::string& option) {
  report_error(format, option.c_str(), kUsageLine);
  return false;
}

// Known before the options are read, so that a wrong one already gets the
// status that --exit-status or --check asks for.
bool asks_for(const std::vector<std::string>& words, const std::string& name) {
  for (std::size_t next = 1; next < words.size() && words[next].starts_with("--"); ++next) {
    if (words[next] == name) return true;
    // A file's name is no option, whatever it looks like.
    if (find_option(kFileOptions, words[next]) != nullptr) ++next;
  }
  return false;
}

}  // namespace

bool read_run_options(const std::vector<std::string>& words, RunOptions& options) {
  options = RunOptions{};
  options.exit_status = asks_for(words, "--exit-status");
  options.check = asks_for(words, "--check");
  std::size_t next = 1;
  // No release key starts with "--" or is "-h", so an installer's words
  // never stop here.
  for (; next < words.size() && (words[next].starts_with("--") || words[next] == "-h"); ++next) {
    const std::string& word = words[next];
    if (answer_information_request(word)) return false;
    if (const SwitchOption* flag = find_option(kSwitchOptions, word)) {
      options.*(flag->flag) = true;
      continue;
    }
    const FileOption* option = find_option(kFileOptions, word);
    if (option == nullptr) return refuse("unknown option %s; usage: %s", word);
    if (next + 1 >= words.size() || words[next + 1].empty())
      return refuse(word == "--user" ? "%s needs a name; usage: %s"
                    : word == "--windows-disk" ? "%s needs a folder; usage: %s"
                                               : "%s needs a file; usage: %s",
                    word);
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
  if (!options.user.empty() && options.windows_disk.empty())
    return refuse("%s names a profile of --windows-disk; usage: %s", "--user");
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
