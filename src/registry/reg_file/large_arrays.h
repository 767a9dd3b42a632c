// Memory for the key index's large arrays. A million-key index is read at
// random, and with 4 KB pages nearly every probe misses the TLB as well as
// the cache; an array of 2 MB or more is therefore given its own mapping,
// aligned to 2 MB and offered to the kernel for transparent huge pages
// (a quarter off indexing such a file; where huge pages are not offered,
// nothing changes). Smaller arrays come from the ordinary heap.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace morvex::regfile {

// Never null: it fails as operator new does.
void* allocate_large(std::size_t bytes);
void free_large(void* memory, std::size_t bytes);

template <class T>
struct LargeArrayAllocator {
  using value_type = T;
  LargeArrayAllocator() = default;
  template <class U>
  LargeArrayAllocator(const LargeArrayAllocator<U>&) {}
  T* allocate(std::size_t count) { return static_cast<T*>(allocate_large(count * sizeof(T))); }
  void deallocate(T* memory, std::size_t count) { free_large(memory, count * sizeof(T)); }
  template <class U>
  bool operator==(const LargeArrayAllocator<U>&) const { return true; }
};

template <class T>
using LargeArray = std::vector<T, LargeArrayAllocator<T>>;

}  // namespace morvex::regfile
