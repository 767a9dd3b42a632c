// The installation and the check's findings as a person reads them and as
// JSON.
#pragma once

#include <string>
#include <vector>

#include "inventory/installation.h"
#include "inventory/installation_findings.h"

namespace morvex {

std::string installation_text(const Installation& installation);
std::string installation_json(const Installation& installation);
std::string findings_text(const std::vector<Finding>& findings);
std::string findings_json(const std::vector<Finding>& findings);

}  // namespace morvex
