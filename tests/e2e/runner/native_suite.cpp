// A case on the native build: a fresh prefix folder (registry.reg and
// drive_c) and a fresh HOME, the program run with word 0 "morvex-uninstall",
// without a terminal unless the case answers the confirmation.
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "confirmation.h"
#include "hive_files.h"
#include "drive_files.h"
#include "outcome.h"
#include "run_accounts.h"
#include "process.h"
#include "suites.h"

namespace morvex::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kRunLimitMs = 30000;
constexpr const char* kProgramWord = "morvex-uninstall";

// C:\a;C:\b -> <prefix>/drive_c/a:<prefix>/drive_c/b; an entry ending in a
// separator keeps one.
std::string host_search_path(const std::string& prefix, const std::string& windows_value) {
  std::string result;
  std::stringstream entries(windows_value);
  std::string entry;
  bool first = true;
  while (std::getline(entries, entry, ';')) {
    std::string host = entry;
    char drive = 0;
    std::string rest;
    if (split_drive_path(entry, drive, rest)) {
      host = host_path(prefix, entry);
      if (entry.back() == '\\' || entry.back() == '/') host += '/';
    } else {
      for (char& c : host) c = c == '\\' ? '/' : c;
    }
    result += (first ? "" : ":") + host;
    first = false;
  }
  if (!windows_value.empty() && windows_value.back() == ';') result += ":";
  return result;
}

std::string without_returns(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// Wine's own registry files, which a Wine prefix holds in place of registry.reg.
const char* const kWineFiles[] = {"user.reg", "system.reg", "userdef.reg"};

// What holds the sandbox's registry, byte for byte.
std::string registry_bytes(const NativeSuite& suite, const std::string& prefix) {
  std::error_code ignored;
  if (suite.hives)
    return read_file(software_hive(prefix + "/drive_c")) + '\0' + read_file(user_hive(prefix + "/drive_c"));
  if (suite.wine_files == nullptr)
    return fs::exists(prefix + "/registry.reg", ignored) ? read_file(prefix + "/registry.reg") : reg_file_text("");
  std::string bytes;
  for (const char* file : kWineFiles) bytes += read_file(prefix + "/" + file) + '\0';
  return bytes;
}

// The case's registry into the sandbox prefix: registry.reg, or Wine's own
// files as reg import left them in the Wine suite's prefix, with the link
// through which Wine finds drive C:.
bool lay_registry(const Case& c, const NativeSuite& suite, const std::string& prefix, CaseReport& report) {
  if (suite.hives) {
    std::string error;
    if (lay_windows_disk(prefix + "/drive_c", reg_file_text(c.registry), reg_file_text(expected_64bit_counts(c)), error))
      return true;
    report.problems.push_back("cannot lay the hives: " + error);
    return false;
  }
  if (suite.wine_files == nullptr) return write_file(prefix + "/registry.reg", reg_file_text(c.registry));
  const WineSuite& wine = *suite.wine_files;
  if (!set_up_registry(c, wine) || !run_wineserver(wine, "-k")) return false;
  std::error_code error;
  for (const char* file : kWineFiles)
    if (!error) fs::copy_file(prefix_of(wine) + "/" + file, prefix + "/" + file, error);
  fs::create_directories(prefix + "/dosdevices", error);
  if (!error) fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:", error);
  return !error;
}

// The registry the run left, as .reg texts into `run`: registry.reg itself,
// or Wine's files put back into the Wine suite's prefix and read by reg export.
void read_back(const Case& c, const NativeSuite& suite, const std::string& prefix, RunResult& run,
               CaseReport& report) {
  if (suite.hives) {
    std::string text, own_64bit, error;
    if (!read_windows_disk(prefix + "/drive_c", text, own_64bit, error)) {
      report.problems.push_back(error);
      return;
    }
    run.registry_texts.push_back(text);
    // The 64-bit view's own counts must be as they were.
    RegistryView expected, actual;
    const std::vector<std::string> counts = {shared_counts_subtree()};
    if (!add_reg_text(reg_file_text(expected_64bit_counts(c)), expected, error, counts) ||
        !add_reg_text(own_64bit, actual, error, counts))
      report.problems.push_back("64-bit view unreadable: " + error);
    for (const std::string& difference : compare_registries(expected, actual))
      report.problems.push_back("64-bit view: " + difference);
    return;
  }
  if (suite.wine_files == nullptr) {
    run.registry_texts.push_back(registry_bytes(suite, prefix));
    return;
  }
  const WineSuite& wine = *suite.wine_files;
  std::error_code error;
  for (const char* file : kWineFiles)
    if (!error) fs::copy_file(prefix + "/" + file, prefix_of(wine) + "/" + file,
                              fs::copy_options::overwrite_existing, error);
  if (error)
    report.problems.push_back("cannot put Wine's files back: " + error.message());
  else
    read_back_registry(c, wine, run, report);
}

// Reads the terminal until the program ends, answering the confirmation the
// moment its question is on the screen.
void converse(const Case& c, pid_t pid, int terminal, RunResult& run, std::string& transcript,
              CaseReport& report) {
  const long long deadline = now_ms() + kRunLimitMs;
  bool answered = false;
  for (;;) {
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, 20) > 0) {
      char buffer[4096];
      const ssize_t got = read(terminal, buffer, sizeof buffer);
      if (got > 0) transcript.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string screen = without_returns(transcript);
    const bool asked = screen.find(kCaption) != std::string::npos &&
                       screen.find(kQuestion) != std::string::npos;
    if (!answered && (asked || (c.answer == Answer::never && screen.find(kCaption) != std::string::npos))) {
      if (c.answer == Answer::never) report.problems.push_back("the confirmation was asked");
      const std::string key = c.answer == Answer::yes ? "y\n" : "n\n";
      if (write(terminal, key.data(), key.size()) < 0) report.problems.push_back("cannot answer");
      answered = true;
    }
    if (wait_for_exit(pid, 0, run.exit_status)) {
      run.ended = true;
      break;
    }
    if (now_ms() >= deadline) {
      kill_session(pid);
      break;
    }
  }
  // What the program wrote just before it ended.
  for (pollfd ready{terminal, POLLIN, 0}; poll(&ready, 1, 20) > 0;) {
    char buffer[4096];
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;
    transcript.append(buffer, static_cast<std::size_t>(got));
  }
  if ((c.answer == Answer::yes || c.answer == Answer::no) && !answered)
    report.problems.push_back("the confirmation was not asked on the terminal");
}

// One run of the case's command line, `options` before it ("{report}" and
// "{undo}" stand for files in the sandbox), in a fresh sandbox, then, when
// `then` names options, one more run of the program with just those;
// problems go to `report`, and the sandbox stays when there are any.
AccountedRun run_in_sandbox(const Case& c, const NativeSuite& suite,
                            const std::vector<std::string>& options, CaseReport& report,
                            const std::vector<std::string>& then = {},
                            Expect expect = Expect::as_case) {
  AccountedRun result;
  RunResult& run = result.run;
  const std::string sandbox = make_temporary_folder("e2e");
  if (sandbox.empty()) {
    report.problems.push_back("cannot make a sandbox folder");
    return result;
  }
  const std::size_t problems_before = report.problems.size();
  const std::string prefix = sandbox + "/prefix";
  const std::string home = sandbox + "/home";
  const std::string report_file = sandbox + "/report.json";
  fs::create_directories(prefix + "/drive_c");
  fs::create_directories(home);
  if (!lay_registry(c, suite, prefix, report)) report.problems.push_back("cannot lay the case's registry");
  const std::string registry_before = registry_bytes(suite, prefix);
  std::vector<std::string> made;
  std::string error;
  if (!lay_files(prefix, c.files, suite.recorder, made, error)) report.problems.push_back(error);
  const std::string cwd = host_path(prefix, c.cwd);
  fs::create_directories(cwd);

  Launch launch;
  launch.program = suite.program;
  const auto words_with = [&](const std::vector<std::string>& words) {
    std::vector<std::string> placed = {kProgramWord};
    if (suite.hives) placed.insert(placed.end(), {"--windows-disk", prefix + "/drive_c"});
    for (const std::string& word : words)
      placed.push_back(word == "{report}" ? report_file : word == "{undo}" ? sandbox + "/undo.reg" : word);
    return placed;
  };
  launch.words = words_with(options);
  launch.words.insert(launch.words.end(), c.arguments.begin(), c.arguments.end());
  launch.cwd = cwd;
  launch.stdout_file = sandbox + "/stdout.txt";
  launch.stderr_file = sandbox + "/stderr.txt";
  std::vector<EnvironmentChange> changes = {
      {"MORVEX_PREFIX", prefix}, {"HOME", home}, {"PATH", std::nullopt}};
  for (const EnvironmentSetting& setting : c.environment) {
    if (setting.name == "PATH" && setting.value)
      changes.push_back({"PATH", host_search_path(prefix, *setting.value)});
    else
      changes.push_back({setting.name, setting.value});
  }
  launch.environment = environment_with(changes);
  const auto run_without_terminal = [&] {
    const pid_t pid = start(launch);
    run.ended = pid != 0 && wait_for_exit(pid, kRunLimitMs, run.exit_status);
    if (pid != 0 && !run.ended) kill_session(pid);
  };

  if (report.problems.size() == problems_before) {
    if (c.answer == Answer::none) {
      run_without_terminal();
    } else {
      int terminal = -1;
      const pid_t pid = start_with_terminal(launch, terminal);
      if (pid == 0) {
        report.problems.push_back("cannot open a pseudo-terminal");
      } else {
        std::string transcript;
        converse(c, pid, terminal, run, transcript, report);
        close(terminal);
        const std::string artifact = suite.artifacts + "/native/" + c.name + ".txt";
        fs::create_directories(fs::path(artifact).parent_path());
        write_file(artifact, transcript);
        report.notes.push_back("terminal transcript: " + artifact);
      }
    }
    wait_for_follow_on(c, prefix, suite.recorder, 10);
    if (!then.empty()) {
      launch.words = words_with(then);
      run_without_terminal();
    }
    run.error_stream = read_file(launch.stderr_file);
    run.output = read_file(launch.stdout_file);
    std::error_code ignored;
    const std::string registry_after = registry_bytes(suite, prefix);
    read_back(c, suite, prefix, run, report);
    if (fs::exists(report_file, ignored)) result.report = read_file(report_file);
    if (expect == Expect::as_before) {
      check_restored(c, run, prefix, suite.recorder, report);
      // Nothing else touched it since the run, so it comes back as it was.
      if (registry_after != registry_before)
        report.problems.push_back("the registry's files are not given back byte for byte");
    } else {
      check_run(c, run, kProgramWord, "\n", report);
      for (const std::string& difference :
           compare_files(prefix, c.files, c.files_after.value_or(c.files), suite.recorder))
        report.problems.push_back("file " + difference);
      // A run that must change nothing leaves the file's bytes as they were.
      if (!c.registry_after && registry_after != registry_before)
        report.problems.push_back("the registry's files were rewritten by a run that changed nothing");
    }
  }

  if (report.problems.size() == problems_before)
    remove_folder(sandbox);
  else
    report.notes.push_back("sandbox kept: " + sandbox);
  return result;
}

}  // namespace

bool run_native_case(const Case& c, const NativeSuite& suite) {
  const long long started = now_ms();
  const char* platform = suite.hives                    ? "native on hives"
                         : suite.wine_files != nullptr ? "native on Wine's files"
                                                       : "native";
  CaseReport report;
  run_in_sandbox(c, suite, {}, report);
  if (suite.as_given_only) return print_report(c, platform, report, now_ms() - started);
  if (report.problems.empty() && undo_applies(c)) {
    CaseReport undo_report;
    run_in_sandbox(undo_case(c), suite, undo_options(), undo_report, restore_options(), Expect::as_before);
    add_report(report, "undo, then restore", undo_report);
  }
  if (report.problems.empty() && accounts_apply(c)) {
    CaseReport dry_report, real_report;
    const AccountedRun dry = run_in_sandbox(unchanged_case(c), suite, dry_run_options(), dry_report);
    const AccountedRun real = run_in_sandbox(c, suite, report_options(), real_report);
    add_report(report, "dry run", dry_report);
    add_report(report, "run with --report", real_report);
    if (report.problems.empty()) check_accounts(c, dry, real, report);
  }
  return print_report(c, platform, report, now_ms() - started);
}

}  // namespace morvex::e2e
