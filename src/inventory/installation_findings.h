// What a whole installation or a whole removal would not leave behind.
#pragma once

#include <string>
#include <vector>

#include "inventory/installation.h"
#include "inventory/mend.h"

namespace morvex {

struct Finding {
  std::string what;
  Mend mend;  // empty when no one change mends it
};

std::vector<Finding> find_leftovers(const Installation& installation);

}  // namespace morvex
