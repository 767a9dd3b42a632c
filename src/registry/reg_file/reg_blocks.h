// The scanner's inner loops, 16 bytes of text at a time: the compiler's
// portable vector types give SSE2 or NEON code without intrinsics. Each
// function returns how many leading units it passed over.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace morvex::regfile {

template <class Unit>
struct Block {
  using Lane = std::conditional_t<sizeof(Unit) == 1, std::uint8_t, std::uint16_t>;
  using Lanes [[gnu::vector_size(16)]] = Lane;
  static constexpr std::size_t kUnits = 16 / sizeof(Unit);

  static Lanes load(const Unit* units) {
    Lanes lanes;
    std::memcpy(&lanes, units, sizeof lanes);
    return lanes;
  }
  // A comparison's result: every lane all ones or all zeros.
  template <class Mask>
  static bool any(Mask mask) {
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    return (halves[0] | halves[1]) != 0;
  }
  // The first lane set in a mask that has one (lane 0 is the lowest in memory).
  template <class Mask>
  static std::size_t first(Mask mask) {
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    const int bit = halves[0] != 0 ? std::countr_zero(halves[0]) : 64 + std::countr_zero(halves[1]);
    return static_cast<std::size_t>(bit) / (8 * sizeof(Lane));
  }
  template <class Mask>
  static bool all(Mask mask) {
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    return (halves[0] & halves[1]) == ~std::uint64_t{0};
  }
};

// Units before the first one below 14 (a line end, a NUL, a tab...).
template <class Unit>
std::size_t plain_run(const Unit* units, std::size_t size) {
  using B = Block<Unit>;
  std::size_t i = 0;
  for (; i + B::kUnits <= size; i += B::kUnits) {
    const auto control = B::load(units + i) < 14;
    if (B::any(control)) return i + B::first(control);
  }
  while (i < size && units[i] >= 14) ++i;
  return i;
}

// Units before the first quote or backslash.
template <class Unit>
std::size_t text_run(const Unit* units, std::size_t size) {
  using B = Block<Unit>;
  std::size_t i = 0;
  for (; i + B::kUnits <= size; i += B::kUnits) {
    const typename B::Lanes lanes = B::load(units + i);
    const auto special = (lanes == '"') | (lanes == '\\');
    if (B::any(special)) return i + B::first(special);
  }
  while (i < size && units[i] != Unit('"') && units[i] != Unit('\\')) ++i;
  return i;
}

// Units before the first one equal to `unit`.
template <class Unit>
std::size_t unit_run(const Unit* units, std::size_t size, Unit unit) {
  using B = Block<Unit>;
  std::size_t i = 0;
  for (; i + B::kUnits <= size; i += B::kUnits) {
    const auto found = B::load(units + i) == static_cast<typename B::Lane>(unit);
    if (B::any(found)) return i + B::first(found);
  }
  while (i < size && units[i] != unit) ++i;
  return i;
}

// Units alike at the start of two texts of `size` units or more.
template <class Unit>
std::size_t alike_run(const Unit* a, const Unit* b, std::size_t size) {
  using B = Block<Unit>;
  std::size_t i = 0;
  for (; i + B::kUnits <= size; i += B::kUnits) {
    const auto differ = B::load(a + i) != B::load(b + i);
    if (B::any(differ)) return i + B::first(differ);
  }
  while (i < size && a[i] == b[i]) ++i;
  return i;
}

// Units of "xx," triples (x a hex digit of either case) as regedit writes
// a value's bytes: three blocks at a time, which hold whole triples, then
// the whole triples of one block at a time (15 bytes or 6 UTF-16 units).
template <class Unit>
std::size_t hex_triples_run(const Unit* units, std::size_t size) {
  using B = Block<Unit>;
  using Lanes = typename B::Lanes;
  constexpr typename B::Lane kSet = ~typename B::Lane{0};
  // Lanes where a comma belongs, for each of three blocks in a row.
  static const std::array<Lanes, 3> commas = [] {
    std::array<Lanes, 3> masks{};
    for (std::size_t block = 0; block < 3; ++block)
      for (std::size_t lane = 0; lane < B::kUnits; ++lane)
        masks[block][lane] = (block * B::kUnits + lane) % 3 == 2 ? kSet : 0;
    return masks;
  }();
  // Lanes past the last whole triple of a block, which one block alone leaves unchecked.
  constexpr std::size_t kStep = B::kUnits / 3 * 3;
  static const Lanes beyond = [] {
    Lanes mask{};
    for (std::size_t lane = kStep; lane < B::kUnits; ++lane) mask[lane] = kSet;
    return mask;
  }();
  const auto valid = [](const Unit* at, const Lanes& comma_lanes) {
    const Lanes lanes = B::load(at);
    const Lanes lower = lanes | 0x20;
    const Lanes digit = (Lanes)((Lanes)(lanes - '0') < 10) | (Lanes)((Lanes)(lower - 'a') < 6);
    const Lanes comma = (Lanes)(lanes == ',');
    return (comma & comma_lanes) | (digit & ~comma_lanes);
  };
  std::size_t i = 0;
  for (; i + 3 * B::kUnits <= size; i += 3 * B::kUnits)
    if (!B::all(valid(units + i, commas[0]) & valid(units + i + B::kUnits, commas[1]) &
                valid(units + i + 2 * B::kUnits, commas[2])))
      break;
  for (; i + B::kUnits <= size; i += kStep)
    if (!B::all(valid(units + i, commas[0]) | beyond)) break;
  return i;
}

}  // namespace morvex::regfile
