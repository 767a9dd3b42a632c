#include "report/change_listing.h"

#include <algorithm>
#include <map>

#include "registry/reg_file/reg_text.h"

namespace morvex {
namespace {

std::string key_title(const RegistryChange& change) {
  return std::string(root_key_name(change.root)) + "\\" + change.key;
}

void append_value(std::string& out, const char* mark, const RegistryValue& value) {
  std::string notation = value_notation(value);
  // Continued hex lines keep the indentation of their first line.
  for (std::size_t at = 0; (at = notation.find('\n', at)) != std::string::npos; at += 5)
    notation.insert(at + 1, "    ");
  out += "  " + std::string(mark) + " " + notation + "\n";
}

std::string file_line(const FileOutcome& file) {
  std::string count;
  if (!file.count_after)
    count = "the shared counts could not be read";
  else if (*file.count_after > 0)
    count = "shared count left: " + std::to_string(*file.count_after);
  else
    count = "no longer counted";
  const char* action = file.action == FileOutcome::Action::removed ? "remove"
                       : file.action == FileOutcome::Action::kept  ? "keep  "
                                                                   : "cannot remove";
  return "  " + std::string(action) + " " + file.path + " (" + count + ")\n";
}

std::string follow_on_lines(const FollowOnAccount& follow_on) {
  switch (follow_on.state) {
    case FollowOnAccount::State::not_named: return "";
    case FollowOnAccount::State::would_start:
      return "\nFollow-on program:\n  start " + follow_on.path + "\n";
    default: return "\nFollow-on program:\n  not started: " + follow_on.failure + "\n";
  }
}

// One key's changes, each value shown once: as it was before the run and as
// the run left it.
struct KeyGroup {
  std::string title;
  struct Net {
    std::string name;  // folded
    std::optional<RegistryValue> before;
    std::optional<RegistryValue> after;
  };
  std::vector<Net> values;

  void change(const std::optional<RegistryValue>& before, const std::optional<RegistryValue>& after,
              const std::string& name) {
    const std::string folded = folded_name(name);
    for (Net& net : values)
      if (net.name == folded) {
        net.after = after;
        return;
      }
    values.push_back({folded, before, after});
  }

  std::string lines() const {
    std::string out;
    for (const Net& net : values) {
      const bool same = net.before && net.after && net.before->type == net.after->type &&
                        net.before->data == net.after->data;
      if (same) continue;
      if (net.before) append_value(out, "-", *net.before);
      if (net.after) append_value(out, "+", *net.after);
    }
    return out;
  }
};

}  // namespace

std::string value_notation(const RegistryValue& value) {
  std::string out;
  if (!regfile::format_value(value.name, value.type, value.data, regfile::Encoding::ansi, "\n", out))
    out = "(a value whose name a .reg file cannot hold)\n";
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string change_listing(const ChangeJournal& journal, const RunAccount& account) {
  // Keys in the order the run first changed them; a deleted key is its own
  // group, as "[-KEY]" stands for a deletion in a .reg file.
  std::vector<KeyGroup> groups;
  for (const RegistryChange& change : journal.changes()) {
    const bool deleted = change.kind == RegistryChange::Kind::key_deleted;
    const std::string title = (deleted ? "[-" : "[") + key_title(change) + "]";
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const KeyGroup& candidate) { return candidate.title == title; });
    if (group == groups.end()) group = groups.insert(groups.end(), KeyGroup{title, {}});
    switch (change.kind) {
      case RegistryChange::Kind::value_set:
        group->change(change.before, change.after, change.after->name);
        break;
      case RegistryChange::Kind::value_deleted:
        group->change(change.before, std::nullopt, change.before->name);
        break;
      case RegistryChange::Kind::key_deleted:
        for (const RegistryValue& value : change.values)
          group->change(value, std::nullopt, value.name);
        break;
      case RegistryChange::Kind::key_created: break;
    }
  }

  std::string out = "Dry run of " + (account.words.empty() ? std::string() : account.words[0]) +
                    " " + account.version_key + ": nothing was changed.\n";
  if (account.saved == RunAccount::Saved::not_saved)
    out += "The registry could not be saved: a real run would make none of these changes.\n";
  out += groups.empty() ? "\nNo registry changes.\n" : "\nRegistry changes:\n";
  for (const KeyGroup& group : groups) out += group.title + "\n" + group.lines();
  if (!journal.files().empty()) {
    out += "\nFiles:\n";
    for (const FileOutcome& file : journal.files()) out += file_line(file);
  }
  return out + follow_on_lines(account.follow_on);
}

}  // namespace morvex
