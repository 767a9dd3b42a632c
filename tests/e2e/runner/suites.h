// The two ways of running a case: the native build in a fresh prefix folder,
// and the Windows build under Wine in one throwaway Wine prefix per suite run.
#pragma once

#include <string>

#include "case_file.h"

namespace morvex::e2e {

struct NativeSuite {
  std::string program;    // the native morvex-uninstall
  std::string recorder;   // the native recorder
  std::string artifacts;  // where terminal transcripts go
  // Only the case's own command line: no dry run, report or undo runs beside
  // it (for runs under memcheck, where each run is slow).
  bool as_given_only = false;
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

}  // namespace morvex::e2e
