// Building the key index while the whole file is checked, and finding keys in it.
#include "registry/reg_file/reg_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvex::regfile {
namespace {

template <class Unit>
bool same_folded(const Unit* a, std::size_t a_size, const Unit* b, std::size_t b_size) {
  if (a_size != b_size) return false;
  for (std::size_t i = 0; i < a_size; ++i)
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  return true;
}

// Whether name a sorts after name b as Windows sorts subkeys: letter case
// aside, unit by unit.
template <class Unit>
bool sorts_after(const Unit* a, std::size_t a_size, const Unit* b, std::size_t b_size) {
  const auto upper = [](Unit unit) {
    return unit >= Unit('a') && unit <= Unit('z') ? Unit(unit - ('a' - 'A')) : unit;
  };
  for (std::size_t i = 0; i < a_size && i < b_size; ++i)
    if (upper(a[i]) != upper(b[i])) return upper(a[i]) > upper(b[i]);
  return a_size > b_size;
}

}  // namespace

// Builds the key index while the file is checked. Files list keys depth
// first, so most of a section's path repeats the previous section's: those
// components are matched in memory, and only new ones go to the index.
//
// Regedit writes the subkeys of a key in sorted order, so a new name that
// sorts after its previous sibling, all of whose siblings came in order, is
// known to be new without a look into the index (which costs a cache miss
// or two a key); so is any subkey of a key that has none yet.
template <class Unit>
class IndexSink {
 public:
  static constexpr bool kWantsValues = false;

  explicit IndexSink(Store& store) : store_(store) {}

  void header(FileHeader header) { header_ = header; }
  FileHeader file_header() const { return header_; }

  bool section(const SectionHeader<Unit>& header, ScanError& error) {
    KeyIndex& index = store_.index_;
    const std::uint32_t section = index.add_section(header.begin);
    std::uint32_t key = static_cast<std::uint32_t>(header.root);
    if (index[key].first_seen == kNoSection) index[key].first_seen = section;
    // A previous section of another root names no sibling of this one's keys.
    const bool same_root = header.root == previous_root_;
    const std::size_t common = same_root ? common_names(header) : 0;
    if (common > 0) key = previous_keys_[common - 1];
    const bool follows_last_sibling = same_root && common < previous_keys_.size() && in_order_[common];
    previous_keys_.resize(common);
    in_order_.resize(common);
    for (std::size_t i = common; i < header.names.size(); ++i) {
      const Unit* name = header.line.text + header.names[i].start;
      const std::size_t size = header.names[i].size;
      const bool known_new =
          index[key].subkeys == 0 ||
          (i == common && follows_last_sibling &&
           sorts_after(name, size, previous_text_.data() + previous_names_[i].start,
                       previous_names_[i].size));
      std::uint32_t child = known_new ? kNoKey : store_.find_child(key, name, size);
      if (child == kNoKey &&
          !index.add(key, name_hash(key, name, size),
                     {reinterpret_cast<const char*>(name), size * sizeof(Unit)}, section, child)) {
        error = {header.line.number, "too many keys"};
        return false;
      }
      key = child;
      previous_keys_.push_back(key);
      in_order_.push_back(known_new);
    }
    index.add_own_section(key, section);
    previous_root_ = header.root;
    previous_text_.assign(header.line.text, header.line.text + header.line.size);
    previous_names_ = header.names;
    return true;
  }

  void value(const ValueRecord&) {}

 private:
  // How many leading components this section shares with the previous one:
  // those the scanner found spelled alike, then any others letter case aside.
  std::size_t common_names(const SectionHeader<Unit>& header) const {
    const std::size_t limit = std::min(header.names.size(), previous_names_.size());
    const Unit* text = header.line.text;
    std::size_t common = header.repeated;
    while (common < limit &&
           same_folded(text + header.names[common].start, header.names[common].size,
                       previous_text_.data() + previous_names_[common].start,
                       previous_names_[common].size))
      ++common;
    return common;
  }

  Store& store_;
  FileHeader header_ = FileHeader::regedit4;
  std::size_t previous_root_ = kRootCount;
  std::vector<Unit> previous_text_;
  std::vector<NameSpan> previous_names_;
  std::vector<std::uint32_t> previous_keys_;
  // Per component of the previous path: the key is its parent's newest
  // subkey, and all of that parent's subkeys came in sorted order.
  std::vector<char> in_order_;  // flags as bytes: a vector<bool> is slow to resize
};

bool Store::index_file(const ByteOrderMark& mark, ScanError& error) {
  return mark.utf16le ? scan_file<char16_t>(mark.size, error)
                      : scan_file<unsigned char>(mark.size, error);
}

template <class Unit>
bool Store::scan_file(std::uint64_t begin, ScanError& error) {
  LineReader<Unit> reader(file_fd_, begin, file_size_);
  IndexSink<Unit> sink(*this);
  Scanner<Unit, IndexSink<Unit>> scanner(sink, begin != 0);
  if (!scanner.run(reader, error)) return false;
  header_ = sink.file_header();
  encoding_ = sizeof(Unit) == 2                    ? Encoding::utf16le
              : header_ == FileHeader::version5 ? Encoding::utf8
                                                   : Encoding::ansi;
  line_end_ = std::string(scanner.line_end());
  ends_with_line_end_ = scanner.ends_with_line_end();
  // Changes then go before a DOS end-of-file byte; the save copies it after them.
  file_size_ = std::min(file_size_, scanner.text_end());
  return true;
}

template <class Unit>
std::uint32_t Store::find_child(std::uint32_t parent, const Unit* name, std::size_t size) {
  return index_.find(parent, name_hash(parent, name, size), [&](std::uint32_t key) {
    const std::string_view stored = index_.name(key);
    if (stored.size() != size * sizeof(Unit)) return false;
    // Copied out: names are packed without regard to the alignment of units.
    Unit units[64];
    for (std::size_t done = 0; done < size; done += std::size(units)) {
      const std::size_t count = std::min(std::size(units), size - done);
      std::memcpy(units, stored.data() + done * sizeof(Unit), count * sizeof(Unit));
      if (!same_folded(units, count, name + done, count)) return false;
    }
    return true;
  });
}

std::uint32_t Store::find_named_child(std::uint32_t parent, std::string_view name) {
  if (encoding_ != Encoding::utf16le)
    return find_child(parent, reinterpret_cast<const unsigned char*>(name.data()), name.size());
  std::u16string units;
  if (!utf16_from_utf8(name, units)) return kNoKey;
  return find_child(parent, units.data(), units.size());
}

bool Store::create_key(std::size_t root, std::string_view path) {
  if (!ready() || file_fd_ < 0 || path.empty()) return false;
  auto key = static_cast<std::uint32_t>(root);
  for (std::size_t start = 0;;) {
    const std::size_t stop = path.find('\\', start);
    const std::string_view name = path.substr(start, stop - start);
    if (name.empty() || name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
        !storable_text(name, encoding_))
      return false;
    std::uint32_t child = find_named_child(key, name);
    if (child != kNoKey && index_[child].deleted) return false;
    if (child == kNoKey) {
      const std::string bytes = encode_for_file(name, encoding_);
      std::uint32_t hash = 0;
      if (encoding_ == Encoding::utf16le) {
        std::u16string units;
        utf16_from_utf8(name, units);
        hash = name_hash(key, units.data(), units.size());
      } else {
        hash = name_hash(key, reinterpret_cast<const unsigned char*>(name.data()), name.size());
      }
      if (!index_.add(key, hash, bytes, kNoSection, child)) return false;
      created_.push_back(child);
    }
    key = child;
    if (stop == std::string_view::npos) return true;
    start = stop + 1;
  }
}

std::uint32_t Store::find_key(std::size_t root, std::string_view path) {
  if (!ready() || path.empty()) return kNoKey;
  auto key = static_cast<std::uint32_t>(root);
  for (std::size_t start = 0;;) {
    const std::size_t stop = path.find('\\', start);
    const std::string_view name = path.substr(start, stop - start);
    if (name.empty()) return kNoKey;
    key = find_named_child(key, name);
    if (key == kNoKey || index_[key].deleted) return kNoKey;
    if (stop == std::string_view::npos) return key;
    start = stop + 1;
  }
}

bool Store::alive(std::uint32_t key) const {
  return state_ == State::ready && key < index_.size() && !index_[key].deleted;
}

bool Store::count_subkeys(std::uint32_t key, std::uint32_t& count) const {
  if (!alive(key)) return false;
  count = index_[key].subkeys;
  return true;
}

bool Store::delete_key(std::size_t root, std::string_view path) {
  const std::uint32_t key = find_key(root, path);
  if (key == kNoKey || index_[key].subkeys > 0) return false;
  index_[key].deleted = true;
  --index_[index_[key].parent].subkeys;
  deleted_.push_back(key);
  return true;
}

}  // namespace morvex::regfile
