#include <unistd.h>

#include "registry/reg_file/reg_lines.h"

namespace morvex::regfile {

std::int64_t read_file_at(int fd, void* bytes, std::size_t size, std::uint64_t offset) {
  return pread(fd, bytes, size, static_cast<off_t>(offset));
}

}  // namespace morvex::regfile
