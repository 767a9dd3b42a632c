#include "diag/diagnostics.h"
#include "diag/standard_output.h"
#include "files/durable_file.h"
#include "inventory/installation_listing.h"
#include "inventory/inventory.h"

namespace morvex {
namespace {

// The text on standard output, unless the JSON goes there.
void put_out(const std::string& report_path, const std::string& text, const std::string& json) {
  if (report_path == kStandardOutputName) {
    write_standard_output(json);
    return;
  }
  write_standard_output(text);
  if (report_path.empty()) return;
  std::string reason;
  if (!replace_file_durably(report_path, json, reason))
    report_error("cannot write the report %s: %s", report_path.c_str(), reason.c_str());
}

}  // namespace

void list_installation(const std::string& report_path) {
  keep_error_lines();
  const Installation installation = read_installation();
  put_out(report_path, installation_text(installation), installation_json(installation));
}

int check_installation(const std::string& report_path) {
  keep_error_lines();
  const std::vector<Finding> findings = find_leftovers(read_installation());
  put_out(report_path, findings_text(findings), findings_json(findings));
  // A check that could not read everything cannot vouch for the machine.
  return findings.empty() && !error_stream_written() ? 0 : 1;
}

int check_not_made(const std::string& report_path) {
  put_out(report_path, "", findings_json({}));
  return 1;
}

}  // namespace morvex
