#include "registry/reg_file/reg_scanner.h"

namespace morvex::regfile {
namespace {

// Windows 95 and 98 exports may also hold HKEY_DYN_DATA.
constexpr std::string_view kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE",
    "HKEY_USERS",        "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

template <class Unit>
std::size_t find_root_in(const Unit* units, std::size_t size) {
  for (std::size_t root = 0; root < kRootCount; ++root) {
    const std::string_view name = kRootNames[root];
    if (name.size() != size) continue;
    std::size_t i = 0;
    while (i < size && fold_ascii(units[i]) == Unit(fold_ascii(name[i]))) ++i;
    if (i == size) return root;
  }
  return kRootCount;
}

}  // namespace

std::string_view root_name(std::size_t root) { return kRootNames[root]; }

ByteOrderMark sniff_byte_order_mark(std::string_view first_bytes) {
  if (first_bytes.starts_with("\xFF\xFE")) return {true, 2};
  if (first_bytes.starts_with("\xEF\xBB\xBF")) return {false, 3};
  return {};
}

std::size_t find_root(const unsigned char* units, std::size_t size) {
  return find_root_in(units, size);
}

std::size_t find_root(const char16_t* units, std::size_t size) {
  return find_root_in(units, size);
}

}  // namespace morvex::regfile
