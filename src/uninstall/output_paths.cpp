#include "uninstall/output_paths.h"

#include <string>

#include "diag/diagnostics.h"
#include "files/file_identity.h"
#include "registry/registry.h"

namespace morvex {
namespace {

struct Output {
  const char* option;
  std::string path;
};

bool names_registry_file(const Output& output) {
  for (const RegistryOwnFile& own : reg_own_files()) {
    if (!same_file_place(output.path, own.path)) continue;
    report_error("%s %s is %s; nothing was changed", output.option, output.path.c_str(), own.what);
    return true;
  }
  return false;
}

}  // namespace

bool outputs_allowed(const RunOptions& options) {
  const bool report_to_file =
      !options.report_path.empty() && options.report_path != kStandardOutputName;
  const Output report{"--report", options.report_path};
  const Output undo{"--undo", options.undo_path};
  if (report_to_file && names_registry_file(report)) return false;
  if (!options.undo_path.empty() && names_registry_file(undo)) return false;
  if (report_to_file && !options.undo_path.empty() &&
      (same_file_place(report.path, undo.path) || same_file_place(report.path, undo.path + ".files"))) {
    report_error("--report and --undo both name %s; nothing was changed", report.path.c_str());
    return false;
  }
  // Replacing a device or a link to one would put a plain file in its place.
  if (report_to_file && names_something_else_than_a_file(report.path)) {
    report_error("--report %s is not a regular file (--report - writes to standard output); "
                 "nothing was changed",
                 report.path.c_str());
    return false;
  }
  return true;
}

}  // namespace morvex
