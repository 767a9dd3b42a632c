#include "outcome.h"

#include <cstdio>

namespace morvex::e2e {
namespace {

constexpr std::size_t kShownDifferences = 12;

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string visible(const std::string& line) {
  std::string shown;
  for (char c : line) {
    if (c == '\r') shown += "\\r";
    else if (c == '\t') shown += "\\t";
    else shown += c;
  }
  return shown;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "  (no line break)");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void compare_streams(const char* stream, const std::string& expected, const std::string& actual,
                     CaseReport& report) {
  if (expected == actual) return;
  const std::vector<std::string> want = lines_of(expected);
  const std::vector<std::string> got = lines_of(actual);
  std::size_t first = 0;
  while (first < want.size() && first < got.size() && want[first] == got[first]) ++first;
  report.problems.push_back(std::string(stream) + " differs from line " + std::to_string(first + 1) + ":");
  for (const std::string& line : want) report.problems.push_back("  expected| " + visible(line));
  for (const std::string& line : got) report.problems.push_back("  found   | " + visible(line));
}

}  // namespace

bool expected_registry(const Case& c, RegistryView& view, std::string& error) {
  return add_reg_text(reg_file_text(c.registry_after.value_or(c.registry)), view, error, touched_subtrees());
}

void check_run(const Case& c, const RunResult& run, const std::string& program_word,
               const std::string& line_end, CaseReport& report) {
  if (!run.ended) {
    report.problems.push_back("the program did not end in time");
    return;
  }
  if (run.exit_status != c.expected_exit)
    report.problems.push_back(
        run.exit_status < 0
            ? "ended by signal " + std::to_string(-run.exit_status)
            : "exit status " + std::to_string(run.exit_status) + ", expected " +
                  std::to_string(c.expected_exit));

  std::string expected_stream = replace_all(c.expected_stderr, "{program}", program_word);
  if (line_end != "\n") expected_stream = replace_all(expected_stream, "\n", line_end);
  compare_streams("error stream", expected_stream, run.error_stream, report);
  if (c.expected_stdout)
    compare_streams("standard output",
                    line_end == "\n" ? *c.expected_stdout : replace_all(*c.expected_stdout, "\n", line_end),
                    run.output, report);

  RegistryView expected;
  RegistryView actual;
  std::string error;
  if (!expected_registry(c, expected, error)) {
    report.problems.push_back("expected registry unreadable: " + error);
    return;
  }
  for (const std::string& text : run.registry_texts) {
    if (!add_reg_text(text, actual, error, touched_subtrees())) {
      report.problems.push_back("registry after the run unreadable: " + error);
      return;
    }
  }
  const std::vector<std::string> differences = compare_registries(expected, actual);
  for (std::size_t i = 0; i < differences.size() && i < kShownDifferences; ++i)
    report.problems.push_back("registry: " + differences[i]);
  if (differences.size() > kShownDifferences)
    report.problems.push_back("registry: ... and " +
                              std::to_string(differences.size() - kShownDifferences) + " more");
}

void add_report(CaseReport& report, const std::string& what, const CaseReport& run_report) {
  for (const std::string& problem : run_report.problems) report.problems.push_back(what + ": " + problem);
  report.notes.insert(report.notes.end(), run_report.notes.begin(), run_report.notes.end());
}

bool print_report(const Case& c, const std::string& platform, const CaseReport& report, long long ms) {
  if (report.problems.empty()) {
    std::printf("PASS %s [%s] (%lld ms)\n", c.name.c_str(), platform.c_str(), ms);
    std::fflush(stdout);
    return true;
  }
  std::printf("FAIL %s [%s] (%lld ms)\n  case:  %s\n  about: %s\n", c.name.c_str(), platform.c_str(),
              ms, c.file.c_str(), c.about.c_str());
  for (const std::string& problem : report.problems) std::printf("  %s\n", problem.c_str());
  for (const std::string& note : report.notes) std::printf("  %s\n", note.c_str());
  std::fflush(stdout);
  return false;
}

}  // namespace morvex::e2e
