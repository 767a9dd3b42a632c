// The first block of a registry hive file, read before libhivex sees the
// file: whether Windows closed it cleanly, and which format it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex::hivefile {

inline constexpr std::size_t kHeaderSize = 512;  // what the checksum covers, and the checksum

struct HiveHeader {
  std::uint32_t sequence1 = 0;
  std::uint32_t sequence2 = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};

// The checksum a header of these bytes must carry: the XOR of its first 127
// double words, with 0 and ~0 moved aside as Windows does.
std::uint32_t header_checksum(std::string_view bytes);

// Reads the header from a file's first bytes. False with the reason when
// the run must not use the hive: a Windows 95/98/ME registry file, no hive
// at all, a hive Windows did not close cleanly (its latest changes still
// wait in its .LOG files), or a damaged header.
bool read_hive_header(std::string_view first_bytes, HiveHeader& header, std::string& reason);

}  // namespace morvex::hivefile
