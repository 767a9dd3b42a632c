// Every key of a registry file without the rest of the file's text: a key
// is found by the hash of its parent and folded name and confirmed against
// its name, kept here as the file spells it, so a hash collision never opens
// the wrong key and a lookup never reads the file. About 24 bytes a key and
// its name, plus 11 to 23 of hash table, and 8 a section, whatever the size
// of the values.
//
// Keys are indexed when a run first asks for them, a bucket at a time: a
// bucket is every section below one path of two components under a root
// (HKEY_CURRENT_USER\Software\Vendor), which holds every section that names
// a key of that subtree. A run touches a few such subtrees, so a file's
// other keys, however many, are never indexed; a key above the buckets, or a
// run that makes keys, indexes them all.
//
// Keys enter the hash table at the next lookup rather than one by one: a
// sorted file needs no lookup while it is read, so its table is built in one
// go, sized once, with inserts in a row that overlap their cache misses.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "registry/reg_file/large_arrays.h"
#include "registry/reg_file/reg_text.h"

namespace morvex::regfile {

inline constexpr std::uint32_t kNoKey = UINT32_MAX;
inline constexpr std::uint32_t kNoSection = UINT32_MAX;
// A section's bucket until it is indexed; a path of fewer than two
// components below its root is in no bucket.
inline constexpr std::uint32_t kIndexedSection = 0;
inline constexpr std::uint32_t kShallowSection = 1;

struct IndexedKey {
  // Its name's bytes among the index's names.
  std::uint32_t name_at = 0;
  std::uint32_t name_size = 0;
  std::uint32_t parent = kNoKey;
  std::uint32_t first_section = kNoSection;  // its own first section
  // The first section that named it, its own or a subkey's: a section
  // written for it there comes before every section of its subkeys.
  std::uint32_t first_seen = kNoSection;
  std::uint32_t subkeys : 30 = 0;  // live ones
  std::uint32_t several_sections : 1 = 0;
  std::uint32_t deleted : 1 = 0;
};

// Folds and mixes the name eight bytes at a time: one multiply per word
// rather than per unit, which made hashing the most of indexing a section.
// Capitals A to Z are made small within the word, lane by lane, with no
// carry from one lane into the next.
template <class Unit>
std::uint32_t name_hash(std::uint32_t parent, const Unit* name, std::size_t size) {
  constexpr unsigned kLaneBits = 8 * sizeof(Unit);
  constexpr std::size_t kUnitsPerWord = 8 / sizeof(Unit);
  constexpr std::uint64_t kOnes = ~std::uint64_t{0} / ((std::uint64_t{1} << kLaneBits) - 1);
  constexpr std::uint64_t kTop = std::uint64_t{1} << (kLaneBits - 1);
  std::uint64_t hash = 0x9E3779B97F4A7C15ull * (std::uint64_t{parent} + 1) ^ size;
  const auto mix = [&hash](std::uint64_t word) {
    const std::uint64_t low = word & ~(kOnes * kTop);
    const std::uint64_t from_a = low + kOnes * (kTop - 'A');
    const std::uint64_t past_z = low + kOnes * (kTop - 'Z' - 1);
    const std::uint64_t capital = from_a & ~past_z & ~word & kOnes * kTop;
    word |= capital >> (kLaneBits - 6);  // the top bit moved to 0x20
    hash = (hash ^ word) * 0x100000001B3ull;
    hash ^= hash >> 29;
  };
  std::size_t i = 0;
  for (; i + kUnitsPerWord <= size; i += kUnitsPerWord) {
    std::uint64_t word;
    std::memcpy(&word, name + i, sizeof word);
    mix(word);
  }
  if (i < size) {
    std::uint64_t word = 0;
    for (unsigned shift = 0; i < size; ++i, shift += kLaneBits)
      word |= static_cast<std::uint64_t>(name[i]) << shift;
    mix(word);
  }
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDull;
  hash ^= hash >> 33;
  return static_cast<std::uint32_t>(hash);
}

// The bucket of paths whose first two components below a root are a and b,
// from name_hash(root, a): paths that share a share that step.
template <class Unit>
std::uint32_t path_bucket(std::uint32_t hash_of_a, const Unit* b, std::size_t b_size) {
  const std::uint32_t hash = name_hash(hash_of_a, b, b_size);
  return hash <= kShallowSection ? hash + 2 : hash;
}

// Room is reserved for a key or a section every this many bytes of a file,
// as densely as real files hold them; pages never touched cost nothing.
inline constexpr std::uint64_t kBytesPerKey = 64;

class KeyIndex {
 public:
  // Empty but for the roots, keys 0 to root_count - 1. `expected_sections`
  // only reserves room (untouched room costs no memory).
  void reset(std::size_t root_count, std::size_t expected_sections);
  // Room for indexing a whole file. Not reserved before: a run that indexes
  // a few subtrees would still fill a first huge page of it.
  void reserve_keys(std::size_t expected_keys) { keys_.reserve(expected_keys); }

  std::size_t size() const { return keys_.size(); }
  IndexedKey& operator[](std::uint32_t key) { return keys_[key]; }
  const IndexedKey& operator[](std::uint32_t key) const { return keys_[key]; }
  // The name's bytes as the file first spelled it: UTF-16LE in such files.
  std::string_view name(std::uint32_t key) const {
    const IndexedKey& entry = keys_[key];
    return {name_blocks_[entry.name_at >> kBlockBits].data() + (entry.name_at & kBlockMask),
            entry.name_size};
  }

  // Sections in file order; a section runs to the start of the next one.
  std::uint32_t add_section(std::uint64_t begin, std::uint32_t bucket);
  // The sections of a later part of the same file, noted apart; they are
  // taken over rather than copied.
  void append_sections(KeyIndex&& later);
  std::uint32_t section_count() const {
    return static_cast<std::uint32_t>(sections_.size() + later_sections_.size());
  }
  std::uint32_t bucket(std::uint32_t section) const { return at(section).bucket; }
  void mark_indexed(std::uint32_t section) { at(section).bucket = kIndexedSection; }
  std::uint64_t section_begin(std::uint32_t section) const;
  std::uint64_t section_end(std::uint32_t section, std::uint64_t file_size) const {
    return section + 1 < section_count() ? section_begin(section + 1) : file_size;
  }
  void add_own_section(std::uint32_t key, std::uint32_t section);
  std::vector<std::uint32_t> sections_of(std::uint32_t key) const;

  // The child of `parent` with this hash for which same(key) holds. The
  // hash sits in the table beside the key, so probing touches no key.
  template <class Same>
  std::uint32_t find(std::uint32_t parent, std::uint32_t hash, Same&& same) {
    if (!pending_hashes_.empty()) insert_pending();
    for (std::size_t slot = hash & mask_; slots_[slot] != 0; slot = (slot + 1) & mask_) {
      if (static_cast<std::uint32_t>(slots_[slot] >> 32) != hash) continue;
      const auto key = static_cast<std::uint32_t>(slots_[slot]) - 1;
      if (keys_[key].parent == parent && same(key)) return key;
    }
    return kNoKey;
  }

  // False past a billion keys, or past 4 GB of names.
  bool add(std::uint32_t parent, std::uint32_t hash, std::string_view name,
           std::uint32_t first_seen, std::uint32_t& key);

 private:
  static constexpr std::size_t kMaxKeys = std::size_t{1} << 30;  // so subkeys fit its field
  void insert_pending();
  void insert_slot(std::uint64_t entry);
  bool store_name(std::string_view name, std::uint32_t& at);

  // Names are packed in blocks that never move, so growing costs no copy;
  // a name longer than a block gets one of its own. The first block is
  // small, so that a small file's index stays small; the later ones take a
  // huge page each.
  static constexpr unsigned kBlockBits = 21;
  static constexpr std::uint32_t kBlockMask = (std::uint32_t{1} << kBlockBits) - 1;
  static constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kBlockBits);
  static constexpr std::size_t kFirstBlockSize = std::size_t{64} << 10;
  std::vector<LargeArray<char>> name_blocks_;
  std::size_t block_used_ = 0;  // of the last block
  std::size_t block_size_ = 0;

  LargeArray<IndexedKey> keys_;
  LargeArray<std::uint64_t> slots_;  // hash << 32 | (key + 1); 0 is empty
  std::size_t mask_ = 0;
  std::vector<std::uint32_t> pending_hashes_;  // of the last keys, not yet in slots_
  // Where a section begins (the low 32 bits of its offset) and its bucket,
  // side by side: a few sections fill one fresh page, not two.
  struct Section {
    std::uint32_t begin;
    std::uint32_t bucket;
  };
  // In file order: those noted here, then those of a later part.
  LargeArray<Section> sections_;
  LargeArray<Section> later_sections_;
  // The first section past each further 4 GB of the file.
  std::vector<std::uint32_t> sections_past_4gb_;
  Section& at(std::uint32_t section) {
    const std::size_t here = sections_.size();
    return section < here ? sections_[section] : later_sections_[section - here];
  }
  const Section& at(std::uint32_t section) const {
    return const_cast<KeyIndex*>(this)->at(section);
  }
  struct ExtraSection {
    std::uint32_t key;
    std::uint32_t section;
  };
  std::vector<ExtraSection> extra_sections_;  // second and later sections of a key
};

}  // namespace morvex::regfile
