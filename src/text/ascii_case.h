// Names match without regard to case; ASCII letters are the only ones folded,
// as the registry and the file system of the original machine fold them.
#pragma once

#include <cstddef>
#include <string_view>

namespace morvex {

template <class Unit>
constexpr Unit fold_ascii(Unit unit) {
  return unit >= Unit('A') && unit <= Unit('Z') ? Unit(unit + ('a' - 'A')) : unit;
}

inline bool equal_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  return true;
}

}  // namespace morvex
