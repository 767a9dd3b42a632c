// What mends a finding of --check: one registry change, then perhaps an
// uninstall. Said in the terms of the place it is printed for: reg commands
// on Windows, an edit of the registry file on other hosts.
#pragma once

#include <cstdint>
#include <string>

#include "registry/registry.h"

namespace morvex {

struct Mend {
  enum class Change { none, set_text, set_number, delete_value };
  Change change = Change::none;
  RootKey root = RootKey::current_user;
  std::string key;
  std::string name;
  std::string text;          // set_text
  std::int32_t number = 0;   // set_number
  std::string uninstall;     // a release to uninstall afterwards; empty for none

  bool empty() const { return change == Change::none && uninstall.empty(); }
};

// reg commands for cmd.exe; HKEY_LOCAL_MACHINE through the 32-bit view the
// product's own keys live in.
std::string mend_as_reg_command(const Mend& mend);
// What to change in registry.reg, the change's line as the file spells it.
std::string mend_as_file_edit(const Mend& mend);
// The one of the two this build prints.
std::string mend_text(const Mend& mend);

}  // namespace morvex
