#include "registry/hive_file/hive_header.h"

#include "text/formatted.h"

namespace morvex::hivefile {
namespace {

std::uint32_t le32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

constexpr std::size_t kChecksumAt = 0x1fc;

}  // namespace

std::uint32_t header_checksum(std::string_view bytes) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < kChecksumAt; at += 4) sum ^= le32(bytes, at);
  if (sum == 0xffffffff) return 0xfffffffe;
  if (sum == 0) return 1;
  return sum;
}

bool read_hive_header(std::string_view first_bytes, HiveHeader& header, std::string& reason) {
  if (first_bytes.starts_with("CREG")) {
    reason = "a Windows 95, 98 or ME registry file, a format that no library writes";
    return false;
  }
  if (first_bytes.size() < kHeaderSize || !first_bytes.starts_with("regf")) {
    reason = "not a registry hive";
    return false;
  }
  header = {le32(first_bytes, 4), le32(first_bytes, 8), le32(first_bytes, 0x14), le32(first_bytes, 0x18)};
  if (header.sequence1 != header.sequence2) {
    reason = formatted("Windows did not close this hive cleanly (its sequence numbers %u and %u "
                       "differ): its latest changes still wait in its .LOG files, and a write would "
                       "lose them; start that Windows once and shut it down, then try again",
                       header.sequence1, header.sequence2);
    return false;
  }
  if (le32(first_bytes, kChecksumAt) != header_checksum(first_bytes)) {
    reason = "its header's checksum is wrong: Windows did not close it cleanly, or it is damaged";
    return false;
  }
  if (header.major != 1) {
    reason = formatted("a hive of format %u.%u, which this program does not know", header.major,
                       header.minor);
    return false;
  }
  return true;
}

}  // namespace morvex::hivefile
