// A case on a Windows build under Wine, set up as on 64-bit Windows where the
// product's 32-bit installer ran. One throwaway 64-bit Wine prefix serves a
// whole suite run, for both builds; per case one reg import deletes the
// compared subtrees and imports the case's keys through the 32-bit registry
// view (one more sets the 64-bit view's own shared-file counts when they are
// not already there), the files are laid into drive_c, the program runs, and
// three reg exports read the keys back through the 32-bit view and the 64-bit
// view's counts.
//
// Wine's helper processes (wineserver, services) keep whatever streams they
// inherit open, so nothing here ever hands them a pipe: every stream goes to
// a file or /dev/null.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "drive_files.h"
#include "outcome.h"
#include "run_accounts.h"
#include "process.h"
#include "suites.h"

namespace morvex::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kBootLimitMs = 300000;
constexpr int kHelperLimitMs = 60000;
constexpr int kRunLimitMs = 60000;
constexpr int kBoxLimitMs = 20000;

// Setting for the whole suite run: no PATH from the machine (a case's PATH is
// all the program sees), and the X11 driver drawing its own caption, which
// also spares the 2 s wait for a window manager when a window goes away.
constexpr const char* kPrefixSettings =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager\\Environment]\r\n"
    "\"PATH\"=-\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"
    "\"Managed\"=\"N\"\r\n";

// What every 64-bit Windows holds in its own view: counts of 64-bit files
// that have nothing to do with the product.
constexpr const char* kOwn64BitCounts =
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls]\n"
    "\"C:\\\\Windows\\\\System32\\\\codec64.dll\"=dword:00000002\n"
    "\"C:\\\\Program Files\\\\Common Files\\\\Shared\\\\viewer64.dll\"=dword:00000005\n";

std::string scratch_of(const WineSuite& suite) { return suite.state + "/case"; }
std::string state_file(const WineSuite& suite) { return suite.state + "/suite.txt"; }

// The DOS name Wine gives a host path: drive Z: is the host's root.
std::string dos_path(const std::string& host) {
  std::string path = "Z:" + fs::absolute(host).lexically_normal().string();
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::map<std::string, std::string> read_settings(const std::string& file) {
  std::map<std::string, std::string> settings;
  std::stringstream lines(read_file(file));
  std::string line;
  while (std::getline(lines, line))
    if (const auto equals = line.find('='); equals != std::string::npos)
      settings[line.substr(0, equals)] = line.substr(equals + 1);
  return settings;
}

// The 64-bit loader starts every program, 32-bit ones included: it hands
// those to the 32-bit loader itself. Debian's `wine` script instead always
// starts the 32-bit loader once wine32 is installed, which fails outright on
// a kernel that runs no 32-bit programs, even for a 64-bit one.
std::string wine_loader() {
  for (const std::string& loader : {find_on_path("wine64"), std::string("/usr/lib/wine/wine64")})
    if (!loader.empty() && access(loader.c_str(), X_OK) == 0) return loader;
  return find_on_path("wine");
}

// Why the prefix's 32-bit cmd did not run: the two causes call for different
// mends, so a skipped case names the one that holds here.
std::string why_no_32_bit() {
  const std::string loader32 = "/usr/lib/wine/wine";
  if (access(loader32.c_str(), X_OK) != 0) return "no 32-bit loader (" + loader32 + "; Debian's wine32:i386)";
  Launch probe;
  probe.program = loader32;
  probe.words = {loader32, "--version"};
  probe.stdout_file = probe.stderr_file = "/dev/null";
  const pid_t pid = start(probe);
  if (pid == 0 && errno == ENOEXEC) return "this kernel runs no 32-bit programs";
  int ignored = 0;
  if (pid != 0 && !wait_for_exit(pid, kHelperLimitMs, ignored)) kill_session(pid);
  return "the prefix's 32-bit cmd.exe did not run";
}

// Every wine call runs with the suite's display except a case's program that
// must not have one: a desktop process started without a display would keep
// every later window from showing.
std::vector<EnvironmentChange> wine_environment(const WineSuite& suite) {
  const auto settings = read_settings(state_file(suite));
  const auto display = settings.find("display");
  const std::string loader = wine_loader();
  return {{"WINEPREFIX", prefix_of(suite)},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"WINEPATH", std::nullopt},
          // Where the 64-bit loader looks for its 32-bit sibling (its name without "64").
          {"WINELOADER", loader.ends_with("64") ? std::optional(loader) : std::nullopt},
          {"DISPLAY", display == settings.end() ? std::nullopt : std::optional(display->second)}};
}

// A Windows program of the prefix (`reg`, `cmd`, ...) with its arguments.
Launch wine_helper(const WineSuite& suite, const std::vector<std::string>& words,
                   const std::string& log = "/dev/null") {
  Launch launch;
  launch.program = wine_loader();
  launch.words = {launch.program};
  launch.words.insert(launch.words.end(), words.begin(), words.end());
  launch.environment = environment_with(wine_environment(suite));
  launch.stdout_file = log;
  launch.stderr_file = log;
  return launch;
}

bool run_wine_helper(const WineSuite& suite, const std::vector<std::string>& words,
                     const std::string& log = "/dev/null", int limit = kHelperLimitMs,
                     int* status = nullptr) {
  return run_helper(wine_helper(suite, words, log), limit, status);
}

}  // namespace

std::string prefix_of(const WineSuite& suite) { return suite.state + "/prefix"; }

bool run_wineserver(const WineSuite& suite, const std::string& option) {
  Launch launch = wine_helper(suite, {option});
  launch.program = find_on_path("wineserver");
  launch.words = {"wineserver", option};
  return run_helper(launch, kHelperLimitMs);
}

namespace {

// The 64-bit reg, each call a wine start of its own: here that costs a
// third of what one more program started by a cmd batch does.
bool run_reg(const WineSuite& suite, const std::vector<std::string>& words) {
  std::vector<std::string> call = {"C:\\windows\\system32\\reg.exe"};
  call.insert(call.end(), words.begin(), words.end());
  return run_wine_helper(suite, call, scratch_of(suite) + "/reg.log");
}

// One subtree through one view into `file`. A key that does not exist is not
// exported at all; a failure of any other kind must not pass for a missing
// key, so it is tried once more and then reported with what reg said.
bool export_reg(const WineSuite& suite, const std::string& key, const std::string& file,
                const std::string& view, CaseReport& report) {
  const std::string log = scratch_of(suite) + "/reg.log";
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (run_reg(suite, {"export", key, dos_path(file), "/y", view})) return true;
    if (read_file(log).find("Unable to find the specified registry key") != std::string::npos)
      return true;
  }
  report.problems.push_back("reg export " + key + " " + view + " failed: " + read_file(log));
  return false;
}

// Tried once more, as an export is: under load a reg start has now and then
// failed at once without a word. The text clears what it sets, so a second
// import gives the same registry.
bool import_reg(const WineSuite& suite, const std::string& name, const std::string& text,
                const std::string& view) {
  const std::string file = scratch_of(suite) + "/" + name;
  if (!write_file(file, text)) return false;
  for (int attempt = 0; attempt < 2; ++attempt)
    if (run_reg(suite, {"import", dos_path(file), view})) return true;
  return false;
}

// The X display a new Xvfb may take: one with neither lock nor socket.
int free_display() {
  for (int display = 70; display < 200; ++display) {
    std::error_code ignored;
    const std::string number = std::to_string(display);
    if (!fs::exists("/tmp/.X" + number + "-lock", ignored) &&
        !fs::exists("/tmp/.X11-unix/X" + number, ignored))
      return display;
  }
  return -1;
}

pid_t start_display(const WineSuite& suite, int& display) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    display = free_display();
    if (display < 0) return 0;
    Launch launch;
    launch.program = find_on_path("Xvfb");
    launch.words = {"Xvfb", ":" + std::to_string(display), "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
    launch.environment = environment_with({});
    launch.stdout_file = launch.stderr_file = suite.state + "/xvfb.log";
    const pid_t pid = start(launch);
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
    for (long long deadline = now_ms() + 10000; pid != 0 && now_ms() < deadline; sleep_ms(20)) {
      int status = 0;
      if (wait_for_exit(pid, 0, status)) break;  // another run took the number first
      std::error_code ignored;
      if (fs::exists(socket, ignored)) return pid;
    }
    if (pid != 0) kill_session(pid);
  }
  return 0;
}

// Removes what the previous case laid into drive_c.
void clear_previous_case(const WineSuite& suite) {
  std::stringstream made(read_file(suite.state + "/made.txt"));
  std::vector<std::string> paths;
  for (std::string path; std::getline(made, path);)
    if (!path.empty()) paths.push_back(path);
  for (const std::string& path : paths) {
    std::error_code ignored;
    if (path.starts_with(prefix_of(suite) + "/drive_")) fs::remove_all(path, ignored);
  }
  fs::remove(suite.state + "/made.txt");
}

// "i686" or "x86_64", from the machine field of the program's PE header.
std::string build_name(const std::string& program) {
  std::ifstream in(program, std::ios::binary);
  unsigned char header[0x40] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  const std::uint32_t pe = header[0x3c] | header[0x3d] << 8 | header[0x3e] << 16 | header[0x3f] << 24;
  unsigned char machine[2] = {};
  in.seekg(pe + 4);
  in.read(reinterpret_cast<char*>(machine), sizeof machine);
  const unsigned kind = machine[0] | machine[1] << 8;
  return kind == 0x14c ? "i686" : kind == 0x8664 ? "x86_64" : "unknown";
}

std::string xdotool_window(const WineSuite& suite, const std::string& display) {
  Launch launch;
  launch.program = find_on_path("xdotool");
  launch.words = {"xdotool", "search", "--onlyvisible", "--name", "^Warning$"};
  launch.environment = environment_with({{"DISPLAY", display}});
  launch.stdout_file = scratch_of(suite) + "/windows.txt";
  if (!run_helper(launch, 5000)) return "";
  std::stringstream found(read_file(launch.stdout_file));
  std::string window;
  std::getline(found, window);
  return window;
}

bool x_helper(const std::string& display, const std::vector<std::string>& words) {
  Launch launch;
  launch.program = find_on_path(words[0]);
  launch.words = words;
  launch.environment = environment_with({{"DISPLAY", display}});
  return run_helper(launch, 10000);
}

// Waits for the program while watching for the box: answers it (after a
// screenshot) or, for a case where it must not appear, records that it did.
// Should the box stay all the same, the answer is repeated.
void watch_box(const Case& c, const WineSuite& suite, const std::string& display, pid_t pid,
               RunResult& run, CaseReport& report) {
  const long long started = now_ms();
  long long answered_at = 0;
  int answers = 0;
  for (;;) {
    if (wait_for_exit(pid, 0, run.exit_status)) {
      run.ended = true;
      break;
    }
    if (now_ms() - started > kRunLimitMs) {
      kill_session(pid);
      break;
    }
    const bool looking = answers == 0 && now_ms() - started < kBoxLimitMs;
    const bool repeating = answers > 0 && answers < 3 && now_ms() - answered_at > 2000;
    if (!looking && !repeating) {
      sleep_ms(10);
      continue;
    }
    const std::string window = xdotool_window(suite, display);
    if (window.empty()) {
      sleep_ms(30);
      continue;
    }
    if (answers == 0) {
      sleep_ms(200);  // let it paint before the screenshot
      const std::string build = build_name(suite.windows_build + "/morvex-uninstall.exe");
      const std::string shot = suite.artifacts + "/wine-" + build + "/" + c.name + ".png";
      fs::create_directories(fs::path(shot).parent_path());
      if (x_helper(display, {"import", "-window", "root", shot}))
        report.notes.push_back("screenshot of the box: " + shot);
      if (c.answer == Answer::never) report.problems.push_back("the confirmation box was shown");
    }
    // A real key press on the focused box: Wine drops or queues keys sent
    // to a window by XSendEvent, and a queued one answers the next box.
    x_helper(display, {"xdotool", "windowfocus", "--sync", window, "key",
                       c.answer == Answer::yes ? "y" : "n"});
    answered_at = now_ms();
    ++answers;
  }
  if ((c.answer == Answer::yes || c.answer == Answer::no) && answers == 0)
    report.problems.push_back("the confirmation box was not shown");
}

std::string view64_state(const WineSuite& suite) { return suite.state + "/view64.reg"; }

}  // namespace

std::string expected_64bit_counts(const Case& c) { return c.registry_64bit.value_or(kOwn64BitCounts); }

// The keys go in as the product's 32-bit installer writes them: reg import
// through the 32-bit view. It applies [-KEY] lines in its own, 64-bit, view
// whatever /reg: says, which is the same for HKEY_CURRENT_USER\Software, shared
// by both views; the 32-bit view's counts are deleted by their name in the
// 64-bit view, below Wow6432Node. The 64-bit view's own counts are set anew
// only when the last case left other ones.
bool set_up_registry(const Case& c, const WineSuite& suite) {
  const std::string view64 = expected_64bit_counts(c);
  const bool view64_as_needed = fs::exists(view64_state(suite)) && read_file(view64_state(suite)) == view64;
  if (!view64_as_needed) {
    fs::remove(view64_state(suite));
    const std::string text = "REGEDIT4\r\n\r\n[-" + shared_counts_subtree() + "]\r\n" +
                             reg_file_text(view64).substr(std::string("REGEDIT4\r\n").size());
    if (!import_reg(suite, "view64.reg", text, "/reg:64") || !write_file(view64_state(suite), view64))
      return false;
  }
  const std::string machine_software = "HKEY_LOCAL_MACHINE\\Software";
  std::string text = "REGEDIT4\r\n\r\n";
  for (std::string subtree : touched_subtrees()) {
    if (subtree.starts_with(machine_software + "\\"))
      subtree.insert(machine_software.size(), "\\Wow6432Node");
    text += "[-" + subtree + "]\r\n";
  }
  text += reg_file_text(c.registry).substr(std::string("REGEDIT4\r\n").size());
  return import_reg(suite, "before.reg", text, "/reg:32");
}

// The registry as the program saw it, through the 32-bit view, into `run`;
// the 64-bit view's counts must be as they were.
void read_back_registry(const Case& c, const WineSuite& suite, RunResult& run, CaseReport& report) {
  const std::string scratch = scratch_of(suite);
  const std::string user = scratch + "/after_user.reg";
  const std::string counts32 = scratch + "/after_counts32.reg";
  const std::string counts64 = scratch + "/after_counts64.reg";
  // A key that is not there writes no file: an earlier case's must not stand in.
  for (const std::string& file : {user, counts32, counts64}) fs::remove(file);
  // One export for the three subtrees below HKEY_CURRENT_USER\Software.
  if (!export_reg(suite, "HKEY_CURRENT_USER\\Software", user, "/reg:32", report) ||
      !export_reg(suite, shared_counts_subtree(), counts32, "/reg:32", report) ||
      !export_reg(suite, shared_counts_subtree(), counts64, "/reg:64", report))
    return;
  std::error_code ignored;
  for (const std::string& file : {user, counts32})
    if (fs::exists(file, ignored)) run.registry_texts.push_back(read_file(file));

  RegistryView expected;
  RegistryView actual;
  std::string error;
  if (!add_reg_text(reg_file_text(expected_64bit_counts(c)), expected, error) ||
      (fs::exists(counts64, ignored) && !add_reg_text(read_file(counts64), actual, error))) {
    report.problems.push_back("64-bit view unreadable: " + error);
    return;
  }
  const auto differences = compare_registries(expected, actual);
  for (const std::string& difference : differences) report.problems.push_back("64-bit view: " + difference);
  if (!differences.empty()) fs::remove(view64_state(suite), ignored);
}

bool wine_can_run_build(const WineSuite& suite, std::string& reason) {
  const std::string program = suite.windows_build + "/morvex-uninstall.exe";
  auto settings = read_settings(state_file(suite));
  if (build_name(program) != "i686" || settings["runs_32_bit"] == "yes") return true;
  reason = "this Wine cannot run 32-bit programs: " + settings["why_no_32_bit"];
  return false;
}

bool wine_suite_running(const WineSuite& suite) {
  std::error_code ignored;
  return fs::exists(state_file(suite), ignored);
}

namespace {

bool boot_wine_suite(const WineSuite& suite) {
  const long long started = now_ms();
  fs::create_directories(prefix_of(suite));
  fs::create_directories(scratch_of(suite));
  for (const char* tool : {"wine", "wineserver", "Xvfb", "xdotool", "import"}) {
    if (find_on_path(tool).empty()) {
      std::fprintf(stderr, "e2e: %s not found; install wine64, wine32:i386, xvfb, xdotool and imagemagick\n",
                   tool);
      return false;
    }
  }
  int display = -1;
  const pid_t xvfb = start_display(suite, display);
  if (xvfb == 0) {
    std::fprintf(stderr, "e2e: cannot start Xvfb; see %s/xvfb.log\n", suite.state.c_str());
    return false;
  }
  write_file(state_file(suite), "display=:" + std::to_string(display) + "\nxvfb=" + std::to_string(xvfb) + "\n");
  // The server started first is the one every later wine call uses.
  if (!run_wineserver(suite, "-p")) {
    std::fprintf(stderr, "e2e: wineserver -p failed\n");
    return false;
  }
  const long long boot_started = now_ms();
  if (!run_wine_helper(suite, {"wineboot", "-i"}, suite.state + "/wineboot.log", kBootLimitMs)) {
    std::fprintf(stderr, "e2e: wineboot failed; see %s/wineboot.log\n", suite.state.c_str());
    return false;
  }
  // Wine ends its desktop process whenever no program is left, and the next
  // program to start one decides whether it has a display. A program that
  // waits for ever on a FIFO keeps the first one, with its display, all run.
  const std::string fifo = suite.state + "/keeper";
  Launch keeper = wine_helper(suite, {"cmd", "/c", "pause"});
  keeper.stdin_file = fifo;
  if (mkfifo(fifo.c_str(), 0600) != 0 || start(keeper) == 0) {
    std::fprintf(stderr, "e2e: cannot start the program that keeps Wine's desktop\n");
    return false;
  }
  const long long booted = now_ms();
  if (!import_reg(suite, "settings.reg", kPrefixSettings, "/reg:64")) {
    std::fprintf(stderr, "e2e: cannot set up the Wine prefix\n");
    return false;
  }
  // A 32-bit program of the prefix tells whether 32-bit builds can run here.
  int status = -1;
  run_wine_helper(suite, {"C:\\windows\\syswow64\\cmd.exe", "/c", "exit 3"}, "/dev/null", kHelperLimitMs,
                  &status);
  const bool runs_32_bit = status == 3;
  std::ofstream(state_file(suite), std::ios::app)
      << "runs_32_bit=" << (runs_32_bit ? "yes" : "no") << "\n"
      << "why_no_32_bit=" << (runs_32_bit ? "" : why_no_32_bit()) << "\n";
  std::printf("wine suite ready in %lld ms (wineboot %lld ms), display :%d, 32-bit programs %s\n",
              now_ms() - started, booted - boot_started, display, runs_32_bit ? "run" : "cannot run");
  std::fflush(stdout);
  return true;
}

}  // namespace

bool start_wine_files_suite(const WineSuite& suite) {
  stop_wine_suite(suite);  // what an interrupted run left behind
  const long long started = now_ms();
  fs::create_directories(prefix_of(suite));
  fs::create_directories(scratch_of(suite));
  if (find_on_path("wine").empty() || find_on_path("wineserver").empty()) return false;
  if (!run_wine_helper(suite, {"wineboot", "-i"}, suite.state + "/wineboot.log", kBootLimitMs) ||
      !run_wineserver(suite, "-k") || !write_file(state_file(suite), "files_only=yes\n")) {
    std::fprintf(stderr, "e2e: wineboot failed; see %s/wineboot.log\n", suite.state.c_str());
    stop_wine_suite(suite);
    return false;
  }
  std::printf("wine prefix for its files ready in %lld ms\n", now_ms() - started);
  std::fflush(stdout);
  return true;
}

bool start_wine_suite(const WineSuite& suite) {
  stop_wine_suite(suite);  // what an interrupted run left behind
  if (boot_wine_suite(suite)) return true;
  stop_wine_suite(suite);
  return false;
}

void stop_wine_suite(const WineSuite& suite) {
  const auto settings = read_settings(state_file(suite));
  if (const auto xvfb = settings.find("xvfb"); xvfb != settings.end()) {
    const pid_t pid = static_cast<pid_t>(std::atol(xvfb->second.c_str()));
    if (pid > 0) kill(pid, SIGTERM);
  }
  std::error_code ignored;
  if (fs::exists(prefix_of(suite), ignored)) run_wineserver(suite, "-k");
  fs::remove_all(prefix_of(suite), ignored);
  fs::remove_all(scratch_of(suite), ignored);
  fs::remove(suite.state + "/made.txt", ignored);
  fs::remove(suite.state + "/keeper", ignored);
  fs::remove(view64_state(suite), ignored);
  fs::remove(state_file(suite), ignored);
}

namespace {

// One run of the case's command line with `options` before it ("{report}"
// and "{undo}" stand for files in the case's scratch folder), then, when
// `then` names options, one more run of the program with just those; problems
// go to `report`.
AccountedRun run_in_wine(const Case& c, const WineSuite& suite,
                         const std::vector<std::string>& options, CaseReport& report,
                         const std::vector<std::string>& then = {},
                         Expect expect = Expect::as_case) {
  AccountedRun result;
  RunResult& run = result.run;
  const std::string prefix = prefix_of(suite);
  const std::string scratch = scratch_of(suite);
  const std::string program = fs::absolute(suite.windows_build + "/morvex-uninstall.exe").string();
  const std::string recorder = fs::absolute(suite.windows_build + "/recorder.exe").string();
  const auto settings = read_settings(state_file(suite));

  clear_previous_case(suite);
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  fs::create_directories(scratch);

  // Files of an earlier case with the same names must not pass for this one's.
  std::vector<DriveFile> named = c.files;
  if (c.files_after) named.insert(named.end(), c.files_after->begin(), c.files_after->end());
  std::string made_list;
  for (const DriveFile& file : named) {
    fs::remove(host_path(prefix, file.windows_path), ignored);
    made_list += host_path(prefix, file.windows_path) + "\n";
  }

  if (!set_up_registry(c, suite))
    report.problems.push_back("the registry could not be set up; reg said: " + read_file(scratch + "/reg.log"));

  std::vector<std::string> made;
  std::string error;
  if (!lay_files(prefix, c.files, recorder, made, error)) report.problems.push_back(error);
  const std::string cwd = host_path(prefix, c.cwd);
  for (fs::path folder = cwd; !fs::exists(folder, ignored); folder = folder.parent_path())
    made.insert(made.begin(), folder.string());
  fs::create_directories(cwd, ignored);
  for (const std::string& folder : made) made_list += folder + "\n";
  write_file(suite.state + "/made.txt", made_list);

  Launch launch;
  launch.program = wine_loader();
  launch.words = {launch.program, program};
  const std::string report_file = scratch + "/report.json";
  const auto placed = [&](const std::string& option) {
    if (option == "{report}") return dos_path(report_file);
    if (option == "{undo}") return dos_path(scratch + "/undo.reg");
    return option;
  };
  for (const std::string& option : options) launch.words.push_back(placed(option));
  launch.words.insert(launch.words.end(), c.arguments.begin(), c.arguments.end());
  launch.cwd = cwd;
  launch.stdout_file = scratch + "/stdout.txt";
  launch.stderr_file = scratch + "/stderr.txt";
  std::vector<EnvironmentChange> changes = wine_environment(suite);
  for (const EnvironmentSetting& setting : c.environment)
    changes.push_back({setting.name == "PATH" ? "WINEPATH" : setting.name, setting.value});
  const std::string display = settings.count("display") != 0 ? settings.at("display") : "";
  if (c.answer == Answer::none) changes.push_back({"DISPLAY", std::nullopt});
  launch.environment = environment_with(changes);

  // Under load a wine start has now and then ended at once with status 1
  // and not a word, before the program ran: the program itself never ends
  // so without a line. Such a start is tried once more, as reg's are.
  const auto run_program = [&](bool with_box) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      run = RunResult{};
      const pid_t pid = start(launch);
      if (pid == 0) {
        report.problems.push_back("cannot start wine");
        return;
      }
      if (with_box) {
        watch_box(c, suite, display, pid, run, report);
      } else {
        run.ended = wait_for_exit(pid, kRunLimitMs, run.exit_status);
        if (!run.ended) kill_session(pid);
      }
      const bool said_nothing =
          read_file(launch.stderr_file).empty() && read_file(launch.stdout_file).empty();
      if (!run.ended || run.exit_status != 1 || !said_nothing) return;
    }
  };

  if (report.problems.empty()) {
    run_program(c.answer != Answer::none);
    wait_for_follow_on(c, prefix, recorder, 20);
    run.error_stream = read_file(launch.stderr_file);
    run.output = read_file(launch.stdout_file);
    if (!then.empty()) {
      launch.words = {launch.program, program};
      for (const std::string& option : then) launch.words.push_back(placed(option));
      launch.environment = environment_with(wine_environment(suite));
      run_program(false);
      run.error_stream = read_file(launch.stderr_file);
      run.output = read_file(launch.stdout_file);
    }

    read_back_registry(c, suite, run, report);
    if (expect == Expect::as_before) {
      check_restored(c, run, prefix, recorder, report);
    } else {
      check_run(c, run, dos_path(program), "\r\n", report);
      for (const std::string& difference :
           compare_files(prefix, c.files, c.files_after.value_or(c.files), recorder))
        report.problems.push_back("file " + difference);
    }
    if (fs::exists(report_file, ignored)) result.report = read_file(report_file);
  }
  return result;
}

}  // namespace

bool run_wine_case(const Case& c, const WineSuite& suite) {
  const long long started = now_ms();
  CaseReport report;
  run_in_wine(c, suite, {}, report);
  // The dry run must list what the run just did: its changes, applied to the
  // registry before, give the registry the case expects after.
  if (report.problems.empty() && accounts_apply(c)) {
    CaseReport dry_report;
    const AccountedRun dry = run_in_wine(unchanged_case(c), suite, dry_run_options(), dry_report);
    add_report(report, "dry run", dry_report);
    RegistryView expected;
    std::string error;
    if (dry_report.problems.empty() && expected_registry(c, expected, error))
      check_changes_lead_to(c, dry, expected, "the dry run", report);
    if (report.problems.empty()) {
      CaseReport undo_report;
      run_in_wine(undo_case(c), suite, undo_options(), undo_report, restore_options(), Expect::as_before);
      add_report(report, "undo, then restore", undo_report);
    }
  }
  const std::string program = fs::absolute(suite.windows_build + "/morvex-uninstall.exe").string();
  return print_report(c, "wine " + build_name(program), report, now_ms() - started);
}

}  // namespace morvex::e2e
