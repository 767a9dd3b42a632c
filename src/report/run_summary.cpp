#include "report/run_summary.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "diag/standard_output.h"
#include "text/formatted.h"

namespace morvex {
namespace {

std::string counted(std::size_t count, const char* one, const char* many) {
  return formatted("%zu %s", count, count == 1 ? one : many);
}

std::string errors_above(std::size_t error_lines) {
  return error_lines == 0 ? "" : ", " + counted(error_lines, "error line", "error lines") + " above";
}

}  // namespace

std::string run_summary(const RunAccount& account, const ChangeJournal& journal,
                        const std::string& undo_path, std::size_t error_lines) {
  const std::size_t changes = journal.changes().size();
  const auto files = static_cast<std::size_t>(
      std::count_if(journal.files().begin(), journal.files().end(),
                    [](const FileOutcome& file) { return file.action == FileOutcome::Action::removed; }));
  std::string line = "Release " + account.version_key;
  if (account.saved == RunAccount::Saved::not_saved)
    line += ": nothing changed, the registry could not be saved";
  else if (changes == 0 && files == 0)
    line += ": nothing changed";
  else
    line += " removed: " + counted(changes, "registry change", "registry changes") + ", " +
            counted(files, "file", "files") + " removed";
  line += errors_above(error_lines);
  if (!undo_path.empty() && changes + files > 0)
    line += "; morvex-uninstall --restore " + undo_path + " takes it back";
  return line + ".\n";
}

std::string restore_summary(const std::string& record_path, bool whole_registry,
                            std::size_t registry_changes, std::size_t files_put_back,
                            std::size_t error_lines) {
  return "Put back from " + record_path + ": " +
         (whole_registry ? std::string("the registry file as it was")
                         : counted(registry_changes, "registry change", "registry changes")) +
         ", " +
         counted(files_put_back, "file", "files") + errors_above(error_lines) + ".\n";
}

void say_at_terminal(const std::string& line) {
  if (isatty(fileno(stdout))) write_standard_output(line);
}

}  // namespace morvex
