// Indexing the keys of a checked file a bucket at a time, as the run asks
// for them, and finding keys in the index.
#include "registry/reg_file/reg_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

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

// What a reader that stops early without a reason of its own means: the
// lines checked at the start of the run are no longer there.
template <class Unit>
std::string why_stopped(const LineReader<Unit>& reader) {
  return reader.error().empty() ? "the file changed while it was read" : reader.error();
}

}  // namespace

// Indexes the keys that sections name, fed in file order: a bucket's
// sections, or every section not indexed yet. Files list keys depth first,
// so most of a section's path repeats the previous section's: those
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

  // The number of the next section fed in; they count on from there.
  void number_next(std::uint32_t section) { next_section_ = section; }
  std::uint32_t next_section() const { return next_section_; }

  void header(FileHeader) {}

  bool section(const SectionHeader<Unit>& header, ScanError& error) {
    KeyIndex& index = store_.index_;
    const std::uint32_t section = next_section_++;
    if (index.bucket(section) == kIndexedSection) {
      // Its bucket's; and what the scanner found alike refers to it.
      previous_root_ = kRootCount;
      return true;
    }
    index.mark_indexed(section);
    std::uint32_t key = static_cast<std::uint32_t>(header.root);
    // Keys above the buckets are named by sections indexed out of file order.
    index[key].first_seen = std::min(index[key].first_seen, section);
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
      if (child != kNoKey) {
        index[child].first_seen = std::min(index[child].first_seen, section);
      } else if (!index.add(key, name_hash(key, name, size),
                            {reinterpret_cast<const char*>(name), size * sizeof(Unit)}, section,
                            child)) {
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
  std::uint32_t next_section_ = 0;
  std::size_t previous_root_ = kRootCount;
  std::vector<Unit> previous_text_;
  std::vector<NameSpan> previous_names_;
  std::vector<std::uint32_t> previous_keys_;
  // Per component of the previous path: the key is its parent's newest
  // subkey, and all of that parent's subkeys came in sorted order.
  std::vector<char> in_order_;  // flags as bytes: a vector<bool> is slow to resize
};

// A bucket's sections are read from their first lines to their header
// lines. They are read a window of the file at a time, so that a bucket of
// many sections (a large subtree, or one whose sections are spread about)
// costs a read a megabyte rather than one a section. A window reaches only
// as far as the bucket's sections do: a few sections cost a few pages.
template <class Unit>
bool Store::index_bucket(std::uint32_t bucket, ScanError& error) {
  constexpr std::uint64_t kWindowBytes = 1 << 20;
  IndexSink<Unit> sink(*this);
  Scanner<Unit, IndexSink<Unit>> scanner(sink, header_);
  std::vector<Unit> window;
  std::uint64_t window_at = 0;
  TextLine<Unit> line;
  const std::uint32_t sections = index_.section_count();
  for (std::uint32_t section = 0; section < sections; ++section) {
    if (index_.bucket(section) != bucket) continue;
    const std::uint64_t begin = index_.section_begin(section);
    const std::uint64_t end = index_.section_end(section, file_size_);
    const auto window_end = [&] { return window_at + window.size() * sizeof(Unit); };
    if ((begin < window_at || end > window_end()) && end - begin <= kWindowBytes) {
      std::uint64_t reach = end;
      for (std::uint32_t later = section + 1;
           later < sections && index_.section_begin(later) - begin < kWindowBytes; ++later) {
        const std::uint64_t later_end = index_.section_end(later, file_size_);
        if (index_.bucket(later) == bucket && later_end - begin <= kWindowBytes) reach = later_end;
      }
      window.resize((reach - begin) / sizeof(Unit));
      window_at = begin;
      if (!read_at(window.data(), window.size() * sizeof(Unit), begin)) {
        error = {0, std::strerror(errno)};
        return false;
      }
    }
    // A section larger than the window is read on its own.
    std::optional<LineReader<Unit>> reader;
    if (begin >= window_at && end <= window_end())
      reader.emplace(window.data() + (begin - window_at) / sizeof(Unit),
                     (end - begin) / sizeof(Unit), begin);
    else
      reader.emplace(file_fd_, begin, end);
    sink.number_next(section);
    while (sink.next_section() == section) {
      if (reader->next(line) != LineReader<Unit>::Status::line) {
        error = {0, why_stopped(*reader)};
        return false;
      }
      if (!scanner.feed(line, error)) return false;
    }
  }
  return true;
}

// The rest of the file, read again line by line after its header line.
template <class Unit>
bool Store::index_rest(ScanError& error) {
  LineReader<Unit> reader(file_fd_, text_begin_, file_size_);
  TextLine<Unit> header_line;
  if (reader.next(header_line) != LineReader<Unit>::Status::line) {
    error = {1, why_stopped(reader)};
    return false;
  }
  IndexSink<Unit> sink(*this);
  Scanner<Unit, IndexSink<Unit>> scanner(sink, header_);
  return scanner.run(reader, error);
}

std::uint32_t Store::bucket_of_path(std::size_t root, std::string_view path) const {
  const std::size_t first = path.find('\\');
  if (first == std::string_view::npos) return kShallowSection;
  const std::string_view a = path.substr(0, first);
  const std::string_view rest = path.substr(first + 1);
  const std::string_view b = rest.substr(0, rest.find('\\'));
  const auto bucket = [root](const auto* a_units, std::size_t a_size, const auto* b_units,
                             std::size_t b_size) {
    return path_bucket(name_hash(static_cast<std::uint32_t>(root), a_units, a_size), b_units,
                       b_size);
  };
  if (encoding_ != Encoding::utf16le)
    return bucket(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                  reinterpret_cast<const unsigned char*>(b.data()), b.size());
  std::u16string wide_a;
  std::u16string wide_b;
  // Names the file cannot hold name no section.
  if (!utf16_from_utf8(a, wide_a) || !utf16_from_utf8(b, wide_b)) return kIndexedSection;
  return bucket(wide_a.data(), wide_a.size(), wide_b.data(), wide_b.size());
}

bool Store::index_for(std::size_t root, std::string_view path) {
  if (all_indexed_) return true;
  const std::uint32_t bucket = bucket_of_path(root, path);
  if (bucket == kShallowSection) return index_all();
  if (bucket == kIndexedSection ||
      std::find(indexed_buckets_.begin(), indexed_buckets_.end(), bucket) != indexed_buckets_.end())
    return true;
  indexed_buckets_.push_back(bucket);
  ScanError error;
  if (encoding_ == Encoding::utf16le ? index_bucket<char16_t>(bucket, error)
                                     : index_bucket<unsigned char>(bucket, error))
    return true;
  fail_reading(error.what);
  return false;
}

bool Store::index_all() {
  if (all_indexed_) return true;
  all_indexed_ = true;
  index_.reserve_keys(index_.size() + file_size_ / kBytesPerKey);
  ScanError error;
  if (encoding_ == Encoding::utf16le ? index_rest<char16_t>(error)
                                     : index_rest<unsigned char>(error))
    return true;
  fail_reading(error.what);
  return false;
}

std::size_t Store::depth_of(std::uint32_t key) const {
  std::size_t depth = 0;
  for (; index_[key].parent != kNoKey; key = index_[key].parent) ++depth;
  return depth;
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
  // A key made where one is only implied by sections not yet indexed would
  // be made twice.
  if (!ready() || file_fd_ < 0 || path.empty() || !index_all()) return false;
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
  if (!ready() || path.empty() || !index_for(root, path)) return kNoKey;
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

bool Store::list_subkeys(std::uint32_t key, std::vector<std::string>& names) {
  // A key below a bucket's path has all its subkeys in that bucket, indexed
  // when the key was found; the subkeys of one above may be in any bucket.
  if (!alive(key) || (depth_of(key) < 2 && !index_all())) return false;
  // Keys are only ever added, so they stand in the order they were first named.
  for (std::uint32_t child = 0; child < index_.size(); ++child)
    if (index_[child].parent == key && !index_[child].deleted && !read_name(child, names.emplace_back()))
      return false;
  return true;
}

bool Store::delete_key(std::size_t root, std::string_view path) {
  const std::uint32_t key = find_key(root, path);
  // Whether its parent is left without subkeys, and so without a trace in
  // the file, may depend on buckets not yet indexed.
  if (key == kNoKey || (depth_of(key) <= 2 && !index_all()) || index_[key].subkeys > 0) return false;
  index_[key].deleted = true;
  --index_[index_[key].parent].subkeys;
  deleted_.push_back(key);
  return true;
}

}  // namespace morvex::regfile
