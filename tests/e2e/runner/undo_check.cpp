#include "undo_check.h"

#include <filesystem>

#include "drive_files.h"
#include "test_files.h"

namespace morvex::e2e {
namespace {

constexpr int kRunLimitMs = 30000;

// Runs the program in the prefix without a terminal (the confirmation is
// taken as Yes); its error stream, or why it did not end.
std::string run_in(const std::string& sandbox, const std::string& prefix, const Case& c,
                   const NativeSuite& suite, const std::vector<std::string>& words) {
  Launch launch;
  launch.program = suite.program;
  launch.words = {"morvex-uninstall"};
  launch.words.insert(launch.words.end(), words.begin(), words.end());
  launch.cwd = prefix + "/drive_c";
  launch.stdout_file = sandbox + "/undo-stdout.txt";
  launch.stderr_file = sandbox + "/undo-stderr.txt";
  std::vector<EnvironmentChange> changes = {
      {"MORVEX_PREFIX", prefix}, {"HOME", sandbox + "/home"}, {"PATH", std::nullopt}};
  for (const EnvironmentSetting& setting : c.environment)
    if (setting.name != "PATH" && setting.name != "MORVEX_PREFIX")
      changes.push_back({setting.name, setting.value});
  launch.environment = environment_with(changes);
  const pid_t pid = start(launch);
  int status = 0;
  if (pid == 0) return "cannot start the program";
  if (!wait_for_exit(pid, kRunLimitMs, status)) {
    kill_session(pid);
    return "the program did not end";
  }
  return read_file(launch.stderr_file);
}

}  // namespace

void check_undo_and_restore(const Case& c, const NativeSuite& suite, CaseReport& report) {
  if (c.arguments.empty() || c.arguments[0].empty() || c.arguments[0].starts_with("--")) return;
  const std::string sandbox = make_temporary_folder("e2e-undo");
  if (sandbox.empty()) {
    report.problems.push_back("undo: cannot make a sandbox folder");
    return;
  }
  const std::string prefix = sandbox + "/prefix";
  std::filesystem::create_directories(prefix + "/drive_c");
  std::filesystem::create_directories(sandbox + "/home");
  const std::string before = reg_file_text(c.registry);
  write_file(prefix + "/registry.reg", before);
  std::vector<std::string> made;
  std::string error;
  const std::size_t problems = report.problems.size();
  if (!lay_files(prefix, c.files, suite.recorder, made, error)) report.problems.push_back(error);

  // The version key alone: a follow-on program's doings are no change of the run's.
  const std::string record = sandbox + "/undo.reg";
  run_in(sandbox, prefix, c, suite, {"--undo", record, c.arguments[0]});
  const std::string restore_errors = run_in(sandbox, prefix, c, suite, {"--restore", record});
  if (!restore_errors.empty()) report.problems.push_back("undo: --restore said: " + restore_errors);

  RegistryView expected, actual;
  if (!add_reg_text(before, expected, error, touched_subtrees()) ||
      !add_reg_text(read_file(prefix + "/registry.reg"), actual, error, touched_subtrees()))
    report.problems.push_back("undo: " + error);
  for (const std::string& difference : compare_registries(expected, actual))
    report.problems.push_back("undo, then restore: " + difference);
  for (const std::string& difference : compare_files(prefix, c.files, c.files, suite.recorder))
    report.problems.push_back("undo, then restore: file " + difference);

  if (report.problems.size() == problems)
    remove_folder(sandbox);
  else
    report.notes.push_back("undo sandbox kept: " + sandbox);
}

}  // namespace morvex::e2e
