#include "registrations/generation_languages.h"

#include <array>
#include <optional>
#include <span>

#include "diag/diagnostics.h"
#include "diag/shared_errors.h"

namespace morvex {
namespace {

struct LanguageAction {
  const char* value_name;
  std::optional<std::int32_t> number;  // nothing: delete the value
};

struct LanguageRow {
  bool fortran_remains;
  bool cxx_remains;
  std::optional<std::int32_t> generation_mask;  // nothing: any mask not matched above
  std::span<const LanguageAction> actions;
};

constexpr char kLanguages[] = "Languages";
constexpr char kUseCxx[] = "Use_Morvex_Cxx";
constexpr char kUseFortran[] = "Use_Morvex_Fortran";

constexpr std::array<LanguageAction, 1> kBothFromCxx{{{kUseFortran, 0}}};
constexpr std::array<LanguageAction, 1> kBothFromFortran{{{kUseCxx, 0}}};
constexpr std::array<LanguageAction, 2> kFortranFromBoth{{{kLanguages, 2}, {kUseCxx, {}}}};
constexpr std::array<LanguageAction, 3> kFortranFromCxx{
    {{kLanguages, 2}, {kUseFortran, 0}, {kUseCxx, {}}}};
constexpr std::array<LanguageAction, 1> kFortranOnly{{{kLanguages, 2}}};
constexpr std::array<LanguageAction, 2> kCxxFromBoth{{{kLanguages, 1}, {kUseFortran, {}}}};
constexpr std::array<LanguageAction, 3> kCxxFromFortran{
    {{kLanguages, 1}, {kUseCxx, 0}, {kUseFortran, {}}}};
constexpr std::array<LanguageAction, 1> kCxxOnly{{{kLanguages, 1}}};

// Searched top down; the first row that matches is carried out in order.
// When both languages remain the generation's "Languages" is left as it is.
const std::array<LanguageRow, 10> kLanguageTable{{
    {true, true, 1, kBothFromCxx},
    {true, true, 2, kBothFromFortran},
    {true, true, {}, {}},
    {true, false, 3, kFortranFromBoth},
    {true, false, 1, kFortranFromCxx},
    {true, false, {}, kFortranOnly},
    {false, true, 3, kCxxFromBoth},
    {false, true, 2, kCxxFromFortran},
    {false, true, {}, kCxxOnly},
    {false, false, {}, {}},
}};

}  // namespace

void align_generation_languages(const RegistryKey& generation_key, bool fortran_remains,
                                bool cxx_remains, std::int32_t generation_mask) {
  for (const LanguageRow& row : kLanguageTable) {
    if (row.fortran_remains != fortran_remains || row.cxx_remains != cxx_remains) continue;
    if (row.generation_mask && *row.generation_mask != generation_mask) continue;
    for (const LanguageAction& action : row.actions) {
      if (action.number) {
        if (!reg_write_dword(generation_key, action.value_name, *action.number))
          report_error("could not set Compiler language component");
      } else if (!reg_delete_value(generation_key, action.value_name)) {
        report_value_not_deleted();
      }
    }
    return;
  }
}

}  // namespace morvex
