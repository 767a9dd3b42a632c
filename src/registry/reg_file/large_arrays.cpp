#include "registry/reg_file/large_arrays.h"

#include <sys/mman.h>

#include <cstdint>

namespace morvex::regfile {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t mapped_size(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* allocate_large(std::size_t bytes) {
  if (bytes < kHugePage) return ::operator new(bytes);
  const std::size_t size = mapped_size(bytes);
  // Mapped a page more than needed, then trimmed to a 2 MB boundary.
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + size), kHugePage - (aligned - start));
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void free_large(void* memory, std::size_t bytes) {
  if (bytes < kHugePage)
    ::operator delete(memory);
  else
    munmap(memory, mapped_size(bytes));
}

}  // namespace morvex::regfile
