#include <io.h>

#include <climits>

#include "registry/reg_file/reg_lines.h"

namespace morvex::regfile {

std::int64_t read_file_at(int fd, void* bytes, std::size_t size, std::uint64_t offset) {
  if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
  return _read(fd, bytes, static_cast<unsigned>(size > INT_MAX ? INT_MAX : size));
}

}  // namespace morvex::regfile
