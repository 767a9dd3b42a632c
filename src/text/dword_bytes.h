// A registry dword as its four data bytes, least significant first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

inline std::string dword_bytes(std::uint32_t number) {
  return {static_cast<char>(number), static_cast<char>(number >> 8),
          static_cast<char>(number >> 16), static_cast<char>(number >> 24)};
}

// The number in the first four bytes; missing bytes count as zero.
inline std::uint32_t dword_from_bytes(std::string_view bytes) {
  std::uint32_t number = 0;
  for (std::size_t i = bytes.size() < 4 ? bytes.size() : 4; i-- > 0;)
    number = number << 8 | static_cast<unsigned char>(bytes[i]);
  return number;
}

}  // namespace morvex
