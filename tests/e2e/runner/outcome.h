// What a run left behind, checked against the case's expectations, and the
// report of a case: one line when it passed, the first differences when not.
#pragma once

#include <string>
#include <vector>

#include "case_file.h"
#include "process.h"
#include "registry_view.h"

namespace morvex::e2e {

// The runner starts programs and compares registries with the shared test pieces.
using namespace morvex::support;

struct RunResult {
  bool ended = false;
  int exit_status = 0;  // -N: ended by signal N
  std::string error_stream;
  std::string output;  // standard output
  std::vector<std::string> registry_texts;  // the .reg files that hold the registry after
};

struct CaseReport {
  std::vector<std::string> problems;  // empty: passed
  std::vector<std::string> notes;     // shown with a failure: where to look
};

// `program_word` replaces {program}; `line_end` is what the program's error
// stream ends its lines with.
void check_run(const Case& c, const RunResult& run, const std::string& program_word,
               const std::string& line_end, CaseReport& report);

// The registry the case expects afterwards.
bool expected_registry(const Case& c, RegistryView& view, std::string& error);

// The problems and notes of a run beside the case's own, each problem
// headed by what that run was.
void add_report(CaseReport& report, const std::string& what, const CaseReport& run_report);

// Prints "PASS <case>" or "FAIL <case> ..." with the differences; returns
// whether it passed.
bool print_report(const Case& c, const std::string& platform, const CaseReport& report, long long ms);

}  // namespace morvex::e2e
