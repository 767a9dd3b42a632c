// Runs every example that README.md, docs/ and the manual page show with its
// output, as a person would type it at a terminal, and compares what the
// terminal shows with what the page says, so that no shown output can go
// stale.
//
// An example is a ```console block in Markdown, or an .nf/.fi block in the
// manual page's EXAMPLES. "$ " starts a command (run by sh); the lines after
// it, up to the next command, are its output, standard error included. A
// line "…" stands for any lines, none included; a line ending in "…" for any
// line that starts as it does. Each block runs in a fresh folder holding a
// copy of examples/, with the program first on PATH and no MORVEX_PREFIX.
//
// Usage: morvex_doc_examples PROGRAM_FOLDER EXAMPLES_FOLDER FILE...
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "test_files.h"

namespace fs = std::filesystem;
using namespace morvex::support;

namespace {

constexpr const char* kAnyLines = "…";
constexpr int kCommandLimitMs = 20000;

struct Command {
  std::string text;
  std::vector<std::string> output;
};

struct Example {
  std::size_t line = 0;  // where the block starts in its file
  std::vector<Command> commands;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The manual page's text as the reader sees it.
std::string unroff(std::string line) {
  for (const auto& [from, to] : {std::pair{"\\-", "-"}, {"\\e", "\\"}, {"\\(aq", "'"}, {"\\(dq", "\""},
                                 {"\\&", ""}})
    line = replace_all(line, from, to);
  return line;
}

std::vector<Example> examples_in(const std::string& path) {
  const bool manual = path.ends_with(".h2m");
  std::vector<Example> examples;
  bool in_block = false;
  bool in_examples = !manual;
  const std::vector<std::string> lines = lines_of(read_file(path));
  for (std::size_t number = 1; number <= lines.size(); ++number) {
    std::string line = lines[number - 1];
    if (manual && line.starts_with("[")) in_examples = line == "[EXAMPLES]";
    if (!in_examples) continue;
    if (!in_block) {
      in_block = manual ? line == ".nf" : line == "```console";
      if (in_block) examples.push_back({number, {}});
      continue;
    }
    if (line == (manual ? ".fi" : "```")) {
      in_block = false;
      continue;
    }
    if (manual) line = unroff(line);
    Example& example = examples.back();
    if (line.starts_with("$ "))
      example.commands.push_back({line.substr(2), {}});
    else if (!example.commands.empty())
      example.commands.back().output.push_back(line);
  }
  return examples;
}

bool line_matches(const std::string& expected, const std::string& actual) {
  if (expected.ends_with(kAnyLines))
    return actual.starts_with(expected.substr(0, expected.size() - std::string(kAnyLines).size()));
  return expected == actual;
}

// Whether the lines from `e` and `a` on match, "…" taking any run of lines.
bool output_matches(const std::vector<std::string>& expected, std::size_t e,
                    const std::vector<std::string>& actual, std::size_t a) {
  if (e == expected.size()) return a == actual.size();
  if (expected[e] == kAnyLines) {
    for (std::size_t skip = a; skip <= actual.size(); ++skip)
      if (output_matches(expected, e + 1, actual, skip)) return true;
    return false;
  }
  return a < actual.size() && line_matches(expected[e], actual[a]) &&
         output_matches(expected, e + 1, actual, a + 1);
}

// What the terminal shows while the command runs, line ends as typed.
bool run_at_terminal(const std::string& command, const std::string& folder,
                     const std::vector<std::string>& environment, std::string& shown) {
  Launch launch;
  launch.program = "/bin/sh";
  launch.words = {"sh", "-c", command};
  launch.cwd = folder;
  launch.environment = environment;
  launch.stdin_file = launch.stdout_file = launch.stderr_file = "";
  int terminal = -1;
  const pid_t pid = start_with_terminal(launch, terminal);
  if (pid == 0) return false;
  int status = 0;
  bool ended = false;
  for (int waited = 0; waited < kCommandLimitMs;) {
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, 50) > 0) {
      char buffer[4096];
      const ssize_t got = read(terminal, buffer, sizeof buffer);
      if (got > 0) {
        shown.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
    } else {
      waited += 50;
    }
    if (ended) break;  // and nothing more to read
    ended = wait_for_exit(pid, 0, status);
  }
  close(terminal);
  if (!ended) kill_session(pid);
  shown = replace_all(shown, "\r\n", "\n");
  return ended;
}

bool check_example(const std::string& file, const Example& example, const std::string& program_folder,
                   const std::string& examples_folder) {
  const std::string folder = make_temporary_folder("doc");
  fs::copy(examples_folder, folder + "/examples", fs::copy_options::recursive);
  fs::create_directories(folder + "/home");
  const std::vector<std::string> environment = environment_with(
      {{"PATH", program_folder + ":/usr/local/bin:/usr/bin:/bin"}, {"HOME", folder + "/home"},
       {"MORVEX_PREFIX", std::nullopt}, {"TERM", "dumb"}, {"LC_ALL", "C.UTF-8"}});
  bool passed = true;
  for (const Command& command : example.commands) {
    std::string shown;
    const bool ended = run_at_terminal(command.text, folder, environment, shown);
    const std::vector<std::string> actual = lines_of(shown);
    if (ended && output_matches(command.output, 0, actual, 0)) continue;
    std::printf("FAIL %s:%zu: $ %s\n", file.c_str(), example.line, command.text.c_str());
    if (!ended) std::printf("  it did not end within %d s\n", kCommandLimitMs / 1000);
    std::printf("  the page shows:\n");
    for (const std::string& line : command.output) std::printf("    |%s\n", line.c_str());
    std::printf("  the terminal showed:\n");
    for (const std::string& line : actual) std::printf("    |%s\n", line.c_str());
    passed = false;
    break;
  }
  if (passed) remove_folder(folder);
  else std::printf("  folder kept: %s\n", folder.c_str());
  return passed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: morvex_doc_examples PROGRAM_FOLDER EXAMPLES_FOLDER FILE...\n");
    return 2;
  }
  std::size_t passed = 0, failed = 0;
  for (int i = 3; i < argc; ++i) {
    const std::vector<Example> examples = examples_in(argv[i]);
    for (const Example& example : examples)
      (check_example(argv[i], example, fs::absolute(argv[1]), fs::absolute(argv[2])) ? passed : failed)++;
    if (examples.empty()) std::printf("note: %s shows no example\n", argv[i]);
  }
  std::printf("%zu passed, %zu failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
