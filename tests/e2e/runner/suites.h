// The two ways of running a case: the native build in a fresh prefix folder,
// and the Windows build under Wine in one throwaway Wine prefix per suite run.
#pragma once

#include <string>

#include "case_file.h"
#include "outcome.h"

namespace morvex::e2e {

struct WineSuite;

struct NativeSuite {
  std::string program;    // the native morvex-uninstall
  std::string recorder;   // the native recorder
  std::string artifacts;  // where terminal transcripts go
  // Only the case's own command line: no dry run, report or undo runs beside
  // it (for runs under memcheck, where each run is slow).
  bool as_given_only = false;
  // When set, each case's registry is put into this suite's Wine prefix with
  // reg import, the program runs on a copy of that prefix's own files with
  // Wine stopped, and the files it leaves are read back with reg export.
  const WineSuite* wine_files = nullptr;
  // When set, each case's registry goes into the hives of a Windows disk
  // (drive_c), which the program is given with --windows-disk.
  bool hives = false;
};

// Runs one case and prints its report; true when it passed.
bool run_native_case(const Case& c, const NativeSuite& suite);

struct WineSuite {
  std::string state;          // folder of the suite run: the Wine prefix and its helpers
  std::string windows_build;  // holds morvex-uninstall.exe and recorder.exe
  std::string artifacts;      // where screenshots of the box go
};

// Makes the Wine prefix (wineboot), keeps its wineserver running and starts
// a virtual display; false with a line on stderr when that fails.
bool start_wine_suite(const WineSuite& suite);
bool wine_suite_running(const WineSuite& suite);
// False, saying why, for a 32-bit build on a Wine that cannot run 32-bit programs.
bool wine_can_run_build(const WineSuite& suite, std::string& reason);
bool run_wine_case(const Case& c, const WineSuite& suite);
void stop_wine_suite(const WineSuite& suite);

// A Wine prefix made by wineboot alone, Wine stopped, for runs of the native
// program on its files; false when there is no Wine or wineboot failed.
bool start_wine_files_suite(const WineSuite& suite);
std::string prefix_of(const WineSuite& suite);
bool run_wineserver(const WineSuite& suite, const std::string& option);
// The case's registry into the prefix, as the product's 32-bit installer
// writes it; and back out, through the 32-bit view, into `run`, the 64-bit
// view's own counts checked.
bool set_up_registry(const Case& c, const WineSuite& suite);
// The shared-file counts a 64-bit Windows holds in its own view for the
// case: .reg lines that the program must leave alone.
std::string expected_64bit_counts(const Case& c);
void read_back_registry(const Case& c, const WineSuite& suite, RunResult& run, CaseReport& report);

}  // namespace morvex::e2e
