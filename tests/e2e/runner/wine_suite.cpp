// A case on the Windows build under Wine. One throwaway Wine prefix serves a
// whole suite run; per case the four compared subtrees are deleted and the
// case's keys imported in one regedit call, the files laid into drive_c, the
// program run, and the subtrees exported in one more call.
//
// Wine's helper processes (wineserver, services) keep whatever streams they
// inherit open, so nothing here ever hands them a pipe: every stream goes to
// a file or /dev/null.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "drive_files.h"
#include "outcome.h"
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

std::string prefix_of(const WineSuite& suite) { return suite.state + "/prefix"; }
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

// Every wine call runs with the suite's display except a case's program that
// must not have one: a desktop process started without a display would keep
// every later window from showing.
std::vector<EnvironmentChange> wine_environment(const WineSuite& suite) {
  const auto settings = read_settings(state_file(suite));
  const auto display = settings.find("display");
  return {{"WINEPREFIX", prefix_of(suite)},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"WINEPATH", std::nullopt},
          {"DISPLAY", display == settings.end() ? std::nullopt : std::optional(display->second)}};
}

Launch wine_helper(const WineSuite& suite, const std::vector<std::string>& words,
                   const std::string& log = "/dev/null") {
  Launch launch;
  launch.program = find_on_path(words[0]);
  launch.words = words;
  launch.environment = environment_with(wine_environment(suite));
  launch.stdout_file = log;
  launch.stderr_file = log;
  return launch;
}

bool run_wine_helper(const WineSuite& suite, const std::vector<std::string>& words,
                     const std::string& log = "/dev/null", int limit = kHelperLimitMs) {
  return run_helper(wine_helper(suite, words, log), limit);
}

bool import_reg(const WineSuite& suite, const std::string& name, const std::string& text) {
  const std::string file = scratch_of(suite) + "/" + name;
  return write_file(file, text) && run_wine_helper(suite, {"wine", "regedit", "/S", dos_path(file)});
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
      const std::string shot = suite.artifacts + "/wine/" + c.name + ".png";
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

}  // namespace

bool wine_suite_running(const WineSuite& suite) {
  std::error_code ignored;
  return fs::exists(state_file(suite), ignored);
}

namespace {

bool boot_wine_suite(const WineSuite& suite) {
  const long long started = now_ms();
  fs::create_directories(prefix_of(suite));
  fs::create_directories(scratch_of(suite));
  for (const char* tool : {"wine", "wineboot", "wineserver", "Xvfb", "xdotool", "import"}) {
    if (find_on_path(tool).empty()) {
      std::fprintf(stderr, "e2e: %s not found; install wine64, xvfb, xdotool and imagemagick\n", tool);
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
  if (!run_wine_helper(suite, {"wineserver", "-p"})) {
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
  Launch keeper = wine_helper(suite, {"wine", "cmd", "/c", "pause"});
  keeper.stdin_file = fifo;
  if (mkfifo(fifo.c_str(), 0600) != 0 || start(keeper) == 0) {
    std::fprintf(stderr, "e2e: cannot start the program that keeps Wine's desktop\n");
    return false;
  }
  const long long booted = now_ms();
  if (!import_reg(suite, "settings.reg", kPrefixSettings)) {
    std::fprintf(stderr, "e2e: cannot set up the Wine prefix\n");
    return false;
  }
  std::printf("wine suite ready in %lld ms (wineboot %lld ms), display :%d\n", now_ms() - started,
              booted - boot_started, display);
  std::fflush(stdout);
  return true;
}

}  // namespace

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
  if (fs::exists(prefix_of(suite), ignored)) run_wine_helper(suite, {"wineserver", "-k"});
  fs::remove_all(prefix_of(suite), ignored);
  fs::remove_all(scratch_of(suite), ignored);
  fs::remove(suite.state + "/made.txt", ignored);
  fs::remove(suite.state + "/keeper", ignored);
  fs::remove(state_file(suite), ignored);
}

bool run_wine_case(const Case& c, const WineSuite& suite) {
  const long long started = now_ms();
  CaseReport report;
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

  std::string import = "REGEDIT4\r\n\r\n";
  for (const std::string& subtree : touched_subtrees()) import += "[-" + subtree + "]\r\n";
  import += reg_file_text(c.registry).substr(std::string("REGEDIT4\r\n").size());
  if (!import_reg(suite, "before.reg", import)) report.problems.push_back("regedit /S failed");

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
  launch.program = find_on_path("wine");
  launch.words = {"wine", program};
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

  RunResult run;
  if (report.problems.empty()) {
    const pid_t pid = start(launch);
    if (pid == 0) {
      report.problems.push_back("cannot start wine");
    } else if (c.answer == Answer::none) {
      run.ended = wait_for_exit(pid, kRunLimitMs, run.exit_status);
      if (!run.ended) kill_session(pid);
    } else {
      watch_box(c, suite, display, pid, run, report);
    }
    wait_for_follow_on(c, prefix, recorder, 20);
    run.error_stream = read_file(launch.stderr_file);

    std::string exports = "@echo off\r\n";
    for (std::size_t i = 0; i < touched_subtrees().size(); ++i)
      exports += "C:\\windows\\regedit.exe /E " + dos_path(scratch + "/after" + std::to_string(i) + ".reg") +
                 " \"" + touched_subtrees()[i] + "\"\r\n";
    write_file(scratch + "/export.bat", exports);
    if (!run_wine_helper(suite, {"wine", "cmd", "/c", dos_path(scratch + "/export.bat")}))
      report.problems.push_back("regedit /E failed");
    for (std::size_t i = 0; i < touched_subtrees().size(); ++i) {
      // A subtree that does not exist is not exported at all.
      const std::string file = scratch + "/after" + std::to_string(i) + ".reg";
      if (fs::exists(file, ignored)) run.registry_texts.push_back(read_file(file));
    }
    check_run(c, run, dos_path(program), "\r\n", report);
    for (const std::string& difference :
         compare_files(prefix, c.files, c.files_after.value_or(c.files), recorder))
      report.problems.push_back("file " + difference);
  }
  return print_report(c, "wine", report, now_ms() - started);
}

}  // namespace morvex::e2e
