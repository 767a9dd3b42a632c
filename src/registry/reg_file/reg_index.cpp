#include "registry/reg_file/reg_index.h"

namespace morvex::regfile {

void KeyIndex::reset(std::size_t root_count, std::size_t expected_keys) {
  keys_ = {};
  keys_.reserve(root_count + expected_keys);
  keys_.resize(root_count);
  slots_.assign(64, 0);
  mask_ = slots_.size() - 1;
  section_begins_ = {};
  section_begins_.reserve(expected_keys);
  extra_sections_.clear();
}

std::uint32_t KeyIndex::add_section(std::uint64_t begin) {
  section_begins_.push_back(begin);
  return static_cast<std::uint32_t>(section_begins_.size() - 1);
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

std::uint32_t KeyIndex::add(std::uint32_t parent, std::uint64_t hash, std::uint64_t name_offset,
                            std::uint32_t name_size, std::uint32_t first_seen) {
  const auto key = static_cast<std::uint32_t>(keys_.size());
  IndexedKey entry;
  entry.hash = hash;
  entry.name_offset = name_offset;
  entry.name_size = name_size;
  entry.parent = parent;
  entry.first_seen = first_seen;
  keys_.push_back(entry);
  ++keys_[parent].subkeys;
  if (2 * (keys_.size() + 1) > slots_.size()) {
    slots_.assign(slots_.size() * 2, 0);
    mask_ = slots_.size() - 1;
    for (std::uint32_t existing = 0; existing < key; ++existing)
      if (keys_[existing].parent != kNoKey) insert_slot(existing);
  }
  insert_slot(key);
  return key;
}

void KeyIndex::insert_slot(std::uint32_t key) {
  std::size_t slot = keys_[key].hash & mask_;
  while (slots_[slot] != 0) slot = (slot + 1) & mask_;
  slots_[slot] = key + 1;
}

}  // namespace morvex::regfile
