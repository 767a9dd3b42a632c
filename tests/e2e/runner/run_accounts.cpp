#include "run_accounts.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "drive_files.h"

namespace morvex::e2e {
namespace {

using nlohmann::json;

std::string bytes_of_hex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// The report's changes made on a registry, as an installer would read them.
bool apply_changes(const json& changes, RegistryView& view, std::string& error) {
  for (const json& change : changes) {
    const std::string path =
        change.value("root", "") + "\\" + change.value("key", "");
    const std::string action = change.value("action", "");
    if (action == "delete key") {
      if (view.erase(folded(path)) == 0) error = "deletes a key that is not there: " + path;
    } else if (action == "set value" || action == "delete value") {
      ComparedKey& key = view[folded(path)];
      if (key.path.empty()) key.path = path;
      const json& value = change[action == "set value" ? "after" : "before"];
      const std::string name = value.value("name", "");
      if (action == "set value")
        key.values[folded(name)] = {name, value.value("type", 0u), bytes_of_hex(value.value("hex", ""))};
      else if (key.values.erase(folded(name)) == 0)
        error = "deletes a value that is not there: " + path + " " + name;
    } else {
      error = "an action of no known kind: " + action;
    }
    if (!error.empty()) return false;
  }
  return true;
}

bool parse_report(const std::string& what, const AccountedRun& run, json& parsed, CaseReport& report) {
  parsed = json::parse(run.report, nullptr, false);
  if (!parsed.is_discarded() && parsed.is_object()) return true;
  report.problems.push_back(what + ": the report is " +
                            (run.report.empty() ? "missing" : "not a JSON document"));
  return false;
}

}  // namespace

namespace {

// A run whose words after the version key hold an option is refused
// whatever options stand before it; every option starts with "--" but "-h".
bool option_after_the_key(const Case& c) {
  for (std::size_t at = 1; at < c.arguments.size(); ++at)
    if (c.arguments[at].starts_with("--") || c.arguments[at] == "-h") return true;
  return false;
}

}  // namespace

bool accounts_apply(const Case& c) {
  return !c.arguments.empty() && !c.arguments.front().starts_with("-") && c.answer != Answer::no &&
         !option_after_the_key(c);
}

std::vector<std::string> dry_run_options() { return {"--dry-run", "--report", "{report}"}; }
std::vector<std::string> report_options() { return {"--report", "{report}"}; }
std::vector<std::string> undo_options() { return {"--undo", "{undo}"}; }
std::vector<std::string> restore_options() { return {"--restore", "{undo}"}; }

bool undo_applies(const Case& c) {
  return !c.arguments.empty() && !c.arguments.front().empty() && !c.arguments.front().starts_with("-");
}

Case undo_case(const Case& c) {
  Case undone = c;
  undone.arguments = {c.arguments.front()};
  undone.answer = Answer::none;
  // A follow-on started without the case's other words writes what the
  // case does not expect; nothing waits for it.
  undone.files_after.reset();
  return undone;
}

void check_restored(const Case& c, const RunResult& run, const std::string& prefix,
                    const std::string& recorder, CaseReport& report) {
  if (!run.ended) report.problems.push_back("--restore did not end");
  if (run.ended && run.exit_status != 0)
    report.problems.push_back("--restore ended with status " + std::to_string(run.exit_status));
  if (!run.error_stream.empty()) report.problems.push_back("--restore said: " + run.error_stream);
  RegistryView before, after;
  std::string error;
  add_reg_text(reg_file_text(c.registry), before, error, touched_subtrees());
  for (const std::string& text : run.registry_texts)
    if (!add_reg_text(text, after, error, touched_subtrees()))
      report.problems.push_back("the registry after --restore is unreadable: " + error);
  for (const std::string& difference : compare_registries(before, after))
    report.problems.push_back(difference);
  for (const std::string& difference : compare_files(prefix, c.files, c.files, recorder))
    report.problems.push_back("file " + difference);
}

Case unchanged_case(const Case& c) {
  Case unchanged = c;
  unchanged.registry_after.reset();
  unchanged.files_after.reset();
  // Asked nothing, whatever the real run is asked.
  if (unchanged.answer == Answer::yes) unchanged.answer = Answer::never;
  return unchanged;
}

bool check_changes_lead_to(const Case& c, const AccountedRun& run, const RegistryView& after,
                           const std::string& what, CaseReport& report) {
  json parsed;
  if (!parse_report(what, run, parsed, report)) return false;
  RegistryView before;
  std::string error;
  add_reg_text(reg_file_text(c.registry), before, error, touched_subtrees());
  if (!apply_changes(parsed["changes"], before, error)) {
    report.problems.push_back(what + ": " + error);
    return false;
  }
  for (const std::string& difference : compare_registries(after, before))
    report.problems.push_back(what + "'s changes applied to the registry before: " + difference);
  return true;
}

void check_accounts(const Case& c, const AccountedRun& dry, const AccountedRun& real,
                    CaseReport& report) {
  json dry_report, real_report;
  if (!parse_report("dry run", dry, dry_report, report) ||
      !parse_report("run with --report", real, real_report, report))
    return;
  for (const char* part : {"changes", "files", "errors"})
    if (dry_report[part] != real_report[part])
      report.problems.push_back(std::string("the dry run's ") + part + " differ from the run's:\n" +
                                "  dry run: " + dry_report[part].dump() + "\n  run:     " +
                                real_report[part].dump());
  RegistryView after;
  std::string error;
  for (const std::string& text : real.run.registry_texts)
    add_reg_text(text, after, error, touched_subtrees());
  check_changes_lead_to(c, real, after, "the report", report);
}

}  // namespace morvex::e2e
