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

  // Vectors go by reference, never as a value passed or returned: the 32-bit
  // Windows build has no SSE, and there GCC warns (-Wpsabi) that such a value
  // takes an ABI other compilers do not share.
  static void load(Lanes& lanes, const Unit* units) { std::memcpy(&lanes, units, sizeof lanes); }
  // Whether any unit of the block has one of `bits` set.
  static bool any_set(const Unit* units, Lane bits) {
    Lanes lanes;
    load(lanes, units);
    return any(lanes & bits);
  }
  // A comparison's result: every lane all ones or all zeros.
  template <class Mask>
  static bool any(const Mask& mask) {
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    return (halves[0] | halves[1]) != 0;
  }
  // The first lane set in a mask that has one (lane 0 is the lowest in memory).
  template <class Mask>
  static std::size_t first(const Mask& mask) {
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    const int bit = halves[0] != 0 ? std::countr_zero(halves[0]) : 64 + std::countr_zero(halves[1]);
    return static_cast<std::size_t>(bit) / (8 * sizeof(Lane));
  }
  template <class Mask>
  static bool all(const Mask& mask) {
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
    typename B::Lanes lanes;
    B::load(lanes, units + i);
    const auto control = lanes < 14;
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
    typename B::Lanes lanes;
    B::load(lanes, units + i);
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
    typename B::Lanes lanes;
    B::load(lanes, units + i);
    const auto found = lanes == static_cast<typename B::Lane>(unit);
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
    typename B::Lanes from_a, from_b;
    B::load(from_a, a + i);
    B::load(from_b, b + i);
    const auto differ = from_a != from_b;
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
  constexpr std::size_t kStep = B::kUnits / 3 * 3;
  // Lanes where a comma belongs, for each of three blocks in a row, then the
  // lanes past the last whole triple of a block, which one block alone leaves
  // unchecked.
  static const std::array<Lanes, 4> masks = [] {
    std::array<Lanes, 4> made{};
    for (std::size_t block = 0; block < 3; ++block)
      for (std::size_t lane = 0; lane < B::kUnits; ++lane)
        made[block][lane] = (block * B::kUnits + lane) % 3 == 2 ? kSet : 0;
    for (std::size_t lane = kStep; lane < B::kUnits; ++lane) made[3][lane] = kSet;
    return made;
  }();
  const Lanes* const commas = masks.data();
  const Lanes& beyond = masks[3];
  // Clears the lanes of `valid` that break the pattern.
  const auto keep_valid = [](Lanes& valid, const Unit* at, const Lanes& comma_lanes) {
    Lanes lanes;
    B::load(lanes, at);
    const Lanes lower = lanes | 0x20;
    const Lanes digit = (Lanes)((Lanes)(lanes - '0') < 10) | (Lanes)((Lanes)(lower - 'a') < 6);
    const Lanes comma = (Lanes)(lanes == ',');
    valid &= (comma & comma_lanes) | (digit & ~comma_lanes);
  };
  std::size_t i = 0;
  for (; i + 3 * B::kUnits <= size; i += 3 * B::kUnits) {
    Lanes valid = ~Lanes{};
    for (std::size_t block = 0; block < 3; ++block) keep_valid(valid, units + i + block * B::kUnits, commas[block]);
    if (!B::all(valid)) break;
  }
  for (; i + B::kUnits <= size; i += kStep) {
    Lanes valid = ~Lanes{};
    keep_valid(valid, units + i, commas[0]);
    if (!B::all(valid | beyond)) break;
  }
  return i;
}

}  // namespace morvex::regfile
