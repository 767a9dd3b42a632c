// Host folders looked up the way Windows and Wine look up a name: whatever
// the letter case of A to Z.
#pragma once

#include <string>
#include <vector>

namespace morvex {

// The entry of `folder` named `name` in any letter case: `name` itself when
// it exists so, else the first other spelling found; empty when none does.
std::string existing_spelling(const std::string& folder, const std::string& name);

// `folder` and each of `names` below it, as the disk spells them; empty
// when one of them is not there in any spelling.
std::string existing_path(const std::string& folder, const std::vector<std::string>& names);

}  // namespace morvex
