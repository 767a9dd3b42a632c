// A value's type as libhivex passes it: a hive may hold any 32-bit type, far
// beyond the enum's names, so it never travels as that C++ enum.
#pragma once

#include <hivex.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace morvex::hivefile {

// The value's type and bytes; false when libhivex cannot read them.
inline bool read_hive_value(hive_h* hive, hive_value_h value, std::uint32_t& type, std::string& data) {
  alignas(hive_type) unsigned char raw_type[sizeof(hive_type)] = {};
  std::size_t size = 0;
  char* bytes = hivex_value_value(hive, value, reinterpret_cast<hive_type*>(raw_type), &size);
  if (bytes == nullptr) return false;
  std::memcpy(&type, raw_type, sizeof type);
  data.assign(bytes, size);
  std::free(bytes);
  return true;
}

// A value to set, its type copied in as it is.
inline hive_set_value hive_value_to_set(std::string& name, std::uint32_t type, std::string& data) {
  hive_set_value value{};
  value.key = name.data();
  std::memcpy(&value.t, &type, sizeof type);
  value.len = data.size();
  value.value = data.data();
  return value;
}

}  // namespace morvex::hivefile
