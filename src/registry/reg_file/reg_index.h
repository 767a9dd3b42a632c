// Every key of a registry file without the file's text: a key is found by
// the hash of its parent and folded name and confirmed against the name's
// bytes in the file, so a hash collision never opens the wrong key. About
// 50 bytes a key and 8 a section, whatever the size of the values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "registry/reg_file/reg_text.h"

namespace morvex::regfile {

inline constexpr std::uint32_t kNoKey = UINT32_MAX;
inline constexpr std::uint32_t kNoSection = UINT32_MAX;

struct IndexedKey {
  std::uint64_t hash = 0;
  std::uint64_t name_offset = 0;  // where its name first appears in the file, in bytes
  std::uint32_t name_size = 0;    // in bytes
  std::uint32_t parent = kNoKey;
  std::uint32_t first_section = kNoSection;  // its own first section
  // The first section that named it, its own or a subkey's: a section
  // written for it there comes before every section of its subkeys.
  std::uint32_t first_seen = kNoSection;
  std::uint32_t subkeys = 0;  // live ones
  bool several_sections = false;
  bool deleted = false;
};

template <class Unit>
std::uint64_t name_hash(std::uint32_t parent, const Unit* name, std::size_t size) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ull * (std::uint64_t{parent} + 1);
  for (std::size_t i = 0; i < size; ++i)
    hash = (hash ^ static_cast<std::uint64_t>(fold_ascii(name[i]))) * 0x100000001B3ull;
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDull;
  hash ^= hash >> 33;
  return hash;
}

class KeyIndex {
 public:
  // Empty but for the roots, keys 0 to root_count - 1. `expected_keys` only
  // reserves room (untouched room costs no memory).
  void reset(std::size_t root_count, std::size_t expected_keys);

  std::size_t size() const { return keys_.size(); }
  IndexedKey& operator[](std::uint32_t key) { return keys_[key]; }
  const IndexedKey& operator[](std::uint32_t key) const { return keys_[key]; }

  // Sections in file order; a section runs to the start of the next one.
  std::uint32_t add_section(std::uint64_t begin);
  std::uint64_t section_begin(std::uint32_t section) const { return section_begins_[section]; }
  std::uint64_t section_end(std::uint32_t section, std::uint64_t file_size) const {
    return section + 1 < section_begins_.size() ? section_begins_[section + 1] : file_size;
  }
  void add_own_section(std::uint32_t key, std::uint32_t section);
  std::vector<std::uint32_t> sections_of(std::uint32_t key) const;

  // The child of `parent` with this hash for which same(key) holds.
  template <class Same>
  std::uint32_t find(std::uint32_t parent, std::uint64_t hash, Same&& same) const {
    for (std::size_t slot = hash & mask_; slots_[slot] != 0; slot = (slot + 1) & mask_) {
      const std::uint32_t key = slots_[slot] - 1;
      if (keys_[key].hash == hash && keys_[key].parent == parent && same(key)) return key;
    }
    return kNoKey;
  }

  std::uint32_t add(std::uint32_t parent, std::uint64_t hash, std::uint64_t name_offset,
                    std::uint32_t name_size, std::uint32_t first_seen);

 private:
  void insert_slot(std::uint32_t key);

  std::vector<IndexedKey> keys_;
  std::vector<std::uint32_t> slots_;  // key + 1; 0 is empty
  std::size_t mask_ = 0;
  std::vector<std::uint64_t> section_begins_;
  struct ExtraSection {
    std::uint32_t key;
    std::uint32_t section;
  };
  std::vector<ExtraSection> extra_sections_;  // second and later sections of a key
};

}  // namespace morvex::regfile
