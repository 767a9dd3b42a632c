#include <exception>
#include <string>
#include <vector>

#include "diag/diagnostics.h"
#include "uninstall/uninstall_run.h"

int main(int argc, char** argv) {
  // Nothing is meant to throw; should something all the same (memory running
  // out), the run ends as every failure does: one line, and status 0. The
  // registry file and any undo record are whole at every moment.
  try {
    return morvex::run_uninstall(std::vector<std::string>(argv, argv + argc));
  } catch (const std::exception& failure) {
    morvex::report_error("unexpected failure: %s; the run stopped here", failure.what());
  } catch (...) {
    morvex::report_error("unexpected failure; the run stopped here");
  }
  return 0;
}
