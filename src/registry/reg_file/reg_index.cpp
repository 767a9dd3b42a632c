#include "registry/reg_file/reg_index.h"

#include <initializer_list>
#include <utility>

namespace morvex::regfile {

void KeyIndex::reset(std::size_t root_count, std::size_t expected_sections) {
  keys_ = {};
  keys_.resize(root_count);
  slots_.assign(64, 0);
  mask_ = slots_.size() - 1;
  pending_hashes_ = {};
  sections_ = {};
  sections_.reserve(expected_sections);
  later_sections_ = {};
  sections_past_4gb_.clear();
  extra_sections_.clear();
  name_blocks_.clear();
  block_used_ = block_size_ = 0;
}

std::uint32_t KeyIndex::add_section(std::uint64_t begin, std::uint32_t bucket) {
  const std::uint32_t section = section_count();
  while (sections_past_4gb_.size() < begin >> 32) sections_past_4gb_.push_back(section);
  (later_sections_.empty() ? sections_ : later_sections_)
      .push_back({static_cast<std::uint32_t>(begin), bucket});
  return section;
}

void KeyIndex::append_sections(KeyIndex&& later) {
  const std::uint32_t base = section_count();
  for (std::size_t past = sections_past_4gb_.size(); past < later.sections_past_4gb_.size(); ++past)
    sections_past_4gb_.push_back(base + later.sections_past_4gb_[past]);
  for (LargeArray<Section>* part : {&later.sections_, &later.later_sections_}) {
    if (later_sections_.empty())
      later_sections_ = std::move(*part);
    else
      later_sections_.insert(later_sections_.end(), part->begin(), part->end());
  }
}

std::uint64_t KeyIndex::section_begin(std::uint32_t section) const {
  const auto high = static_cast<std::uint64_t>(
      std::upper_bound(sections_past_4gb_.begin(), sections_past_4gb_.end(), section) -
      sections_past_4gb_.begin());
  return high << 32 | at(section).begin;
}

void KeyIndex::add_own_section(std::uint32_t key, std::uint32_t section) {
  IndexedKey& entry = keys_[key];
  if (entry.first_section == kNoSection) {
    entry.first_section = section;
  } else {
    entry.several_sections = true;
    extra_sections_.push_back({key, section});
  }
}

std::vector<std::uint32_t> KeyIndex::sections_of(std::uint32_t key) const {
  std::vector<std::uint32_t> sections;
  if (keys_[key].first_section == kNoSection) return sections;
  sections.push_back(keys_[key].first_section);
  if (keys_[key].several_sections)
    for (const ExtraSection& extra : extra_sections_)
      if (extra.key == key) sections.push_back(extra.section);
  return sections;
}

bool KeyIndex::store_name(std::string_view name, std::uint32_t& at) {
  if (block_used_ + name.size() > block_size_) {
    if (name_blocks_.size() >= kMaxBlocks) return false;
    block_size_ = std::max<std::size_t>(name.size(), name_blocks_.empty() ? kFirstBlockSize : kBlockMask + 1);
    name_blocks_.emplace_back(block_size_);
    block_used_ = 0;
  }
  at = static_cast<std::uint32_t>((name_blocks_.size() - 1) << kBlockBits | block_used_);
  std::memcpy(name_blocks_.back().data() + block_used_, name.data(), name.size());
  // A name of a block of its own fills it.
  block_used_ = block_size_ > kBlockMask + 1 ? block_size_ : block_used_ + name.size();
  return true;
}

bool KeyIndex::add(std::uint32_t parent, std::uint32_t hash, std::string_view name,
                   std::uint32_t first_seen, std::uint32_t& key) {
  std::uint32_t name_at = 0;
  if (keys_.size() >= kMaxKeys || !store_name(name, name_at)) return false;
  key = static_cast<std::uint32_t>(keys_.size());
  IndexedKey& entry = keys_.emplace_back();
  entry.name_at = name_at;
  entry.name_size = static_cast<std::uint32_t>(name.size());
  entry.parent = parent;
  entry.first_seen = first_seen;
  ++keys_[parent].subkeys;
  pending_hashes_.push_back(hash);
  return true;
}

void KeyIndex::insert_pending() {
  // At most about 70% full, so that a probe soon meets an empty slot.
  std::size_t size = slots_.size();
  while (size * 7 < keys_.size() * 10) size *= 2;
  if (size != slots_.size()) {
    LargeArray<std::uint64_t> old(size, 0);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const std::uint64_t entry_of_old : old)
      if (entry_of_old != 0) insert_slot(entry_of_old);
  }
  const std::size_t first = keys_.size() - pending_hashes_.size();
  for (std::size_t i = 0; i < pending_hashes_.size(); ++i)
    insert_slot(std::uint64_t{pending_hashes_[i]} << 32 | (first + i + 1));
  pending_hashes_.clear();
  if (pending_hashes_.capacity() > 4096) pending_hashes_ = {};
}

void KeyIndex::insert_slot(std::uint64_t entry) {
  std::size_t slot = (entry >> 32) & mask_;
  while (slots_[slot] != 0) slot = (slot + 1) & mask_;
  slots_[slot] = entry;
}

}  // namespace morvex::regfile
