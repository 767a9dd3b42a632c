// The end-to-end runner: runs .case files against the native build, or
// against the Windows build under Wine, and says for each case what differs.
//
//   morvex_e2e check CASE...
//   morvex_e2e native --program P --recorder R [--artifacts DIR] CASE...
//   morvex_e2e wine --state DIR --windows-build DIR [--artifacts DIR] CASE...
//   morvex_e2e wine-up --state DIR        (then any number of wine runs)
//   morvex_e2e wine-down --state DIR
//   morvex_e2e wine-files --state DIR --program P --recorder R CASE...
//   morvex_e2e wine-files-up --state DIR  (then any number of wine-files runs)
//   morvex_e2e hives --program P --recorder R CASE...
//
// wine-files runs the native program as given on Wine's own registry files:
// each case's registry goes into a Wine prefix by reg import, and comes back
// out by reg export; without Wine it exits 77 (skipped).
//
// A CASE is a .case file or a folder of them. A wine run without wine-up
// before it starts and stops its own Wine prefix; one of a 32-bit build on a
// Wine that cannot run 32-bit programs runs nothing and exits 77 (skipped).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "case_file.h"
#include "suites.h"

namespace {

using namespace morvex::e2e;

// What CTest takes for a test that could not run here.
constexpr int kSkipped = 77;

int usage() {
  std::fprintf(stderr,
               "usage: morvex_e2e check CASE...\n"
               "       morvex_e2e native --program P --recorder R [--artifacts DIR]\n"
               "                         [--runs all|as-given] CASE...\n"
               "       morvex_e2e wine --state DIR --windows-build DIR [--artifacts DIR] CASE...\n"
               "       morvex_e2e wine-files --state DIR --program P --recorder R CASE...\n"
               "       morvex_e2e hives --program P --recorder R CASE...\n"
               "       morvex_e2e wine-up|wine-files-up|wine-down --state DIR\n");
  return 2;
}

struct Command {
  std::string mode;
  std::map<std::string, std::string> options;
  std::vector<std::string> cases;
};

bool parse_command(int argc, char** argv, Command& command) {
  if (argc < 2) return false;
  command.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.starts_with("--")) {
      if (i + 1 >= argc) return false;
      command.options[word.substr(2)] = argv[++i];
    } else {
      for (const std::string& file : find_case_files(word)) command.cases.push_back(file);
    }
  }
  return true;
}

std::string option(const Command& command, const std::string& name, const std::string& fallback = "") {
  const auto found = command.options.find(name);
  return found == command.options.end() ? fallback : found->second;
}

}  // namespace

int main(int argc, char** argv) {
  Command command;
  if (!parse_command(argc, argv, command)) return usage();
  const std::string artifacts =
      std::filesystem::absolute(option(command, "artifacts", "e2e-artifacts")).string();
  // The program runs in the case's own folder: its path must not depend on ours.
  const auto absolute = [&](const std::string& name) {
    const std::string path = option(command, name);
    return path.empty() ? path : std::filesystem::absolute(path).string();
  };
  const WineSuite wine{std::filesystem::absolute(option(command, "state", "e2e-wine")).string(),
                       absolute("windows-build"), artifacts};
  NativeSuite native{absolute("program"), absolute("recorder"), artifacts,
                     option(command, "runs", "all") == "as-given"};
  native.hives = command.mode == "hives";
  if (command.mode == "wine-files") {
    native.as_given_only = true;
    native.wine_files = &wine;
  }

  if (command.mode == "wine-up") return start_wine_suite(wine) ? 0 : 2;
  // Without Wine the cases skip one by one; the prefix is no failure of its own.
  if (command.mode == "wine-files-up") {
    if (!start_wine_files_suite(wine)) std::printf("no Wine prefix: the cases on Wine's files skip\n");
    return 0;
  }
  if (command.mode == "wine-down") {
    stop_wine_suite(wine);
    return 0;
  }
  const bool on_native = command.mode == "native" || command.mode == "wine-files" || command.mode == "hives";
  if (command.mode != "check" && !on_native && command.mode != "wine") return usage();
  if (on_native && (native.program.empty() || native.recorder.empty())) return usage();
  if (command.mode == "wine" && wine.windows_build.empty()) return usage();
  std::vector<std::string> needed;
  if (on_native) needed = {native.program, native.recorder};
  if (command.mode == "wine")
    needed = {wine.windows_build + "/morvex-uninstall.exe", wine.windows_build + "/recorder.exe"};
  for (const std::string& file : needed) {
    if (!std::filesystem::is_regular_file(file)) {
      std::fprintf(stderr, "e2e: %s is missing\n", file.c_str());
      return 2;
    }
  }
  if (command.cases.empty()) {
    std::fprintf(stderr, "e2e: no cases given\n");
    return 2;
  }

  const bool own_wine_suite = (command.mode == "wine" || command.mode == "wine-files") &&
                              !wine_suite_running(wine);
  if (own_wine_suite && command.mode == "wine-files" && !start_wine_files_suite(wine)) {
    std::printf("SKIP: no Wine here, or wineboot failed\n");
    return kSkipped;
  }
  if (own_wine_suite && command.mode == "wine" && !start_wine_suite(wine)) return 2;
  if (std::string reason; command.mode == "wine" && !wine_can_run_build(wine, reason)) {
    std::printf("SKIP %s: %s\n", wine.windows_build.c_str(), reason.c_str());
    if (own_wine_suite) stop_wine_suite(wine);
    return kSkipped;
  }
  int passed = 0, failed = 0, skipped = 0;
  for (const std::string& file : command.cases) {
    Case c;
    std::string error;
    if (!load_case(file, c, error)) {
      std::printf("FAIL %s: %s\n", case_name_of(file).c_str(), error.c_str());
      ++failed;
      continue;
    }
    bool ok = true;
    if (on_native) {
      const bool for_mode = command.mode == "native"  ? c.on_native
                            : command.mode == "hives" ? c.on_hives
                                                      : c.on_wine_files;
      if (!for_mode) {
        ++skipped;
        continue;
      }
      ok = run_native_case(c, native);
    } else if (command.mode == "wine") {
      if (!c.on_wine) {
        ++skipped;
        continue;
      }
      ok = run_wine_case(c, wine);
    }
    ++(ok ? passed : failed);
  }
  if (own_wine_suite) stop_wine_suite(wine);
  if (command.cases.size() > 1 || failed != 0)
    std::printf("%d passed, %d failed, %d not for this platform\n", passed, failed, skipped);
  return failed == 0 ? 0 : 1;
}
