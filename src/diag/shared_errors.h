// Error lines that several steps of the run report in the same words.
#pragma once

#include <string>

#include "diag/diagnostics.h"

namespace morvex {

inline void report_key_open_failed(const std::string& path) {
  report_error("Error opening %s.", path.c_str());
}

inline void report_key_not_deleted(const std::string& path) {
  report_error("Error deleting the %s key", path.c_str());
}

inline void report_value_not_deleted() {
  report_error("%s.", "failed to delete the value in the registry key");
}

}  // namespace morvex
