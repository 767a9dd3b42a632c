// What a whole installation or a whole removal would not leave behind.
#pragma once

#include <string>
#include <vector>

#include "inventory/installation.h"

namespace morvex {

struct Finding {
  std::string what;
  std::string mend;  // the command that mends it; empty when none does
};

std::vector<Finding> find_leftovers(const Installation& installation);

}  // namespace morvex
