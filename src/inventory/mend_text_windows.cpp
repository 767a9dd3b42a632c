#include "inventory/mend.h"

namespace morvex {

std::string mend_text(const Mend& mend) { return mend_as_reg_command(mend); }

}  // namespace morvex
