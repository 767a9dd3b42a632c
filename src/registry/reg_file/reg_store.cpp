#include "registry/reg_file/reg_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "diag/diagnostics.h"
#include "registry/host_prefix.h"

namespace morvex::regfile {
namespace {

constexpr const char* kFileName = "registry.reg";

std::string folded(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = fold_ascii(c);
  return result;
}

bool read_exact(int fd, void* data, std::size_t size, std::uint64_t offset) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENODATA;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

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
      if (store_.read_error_ != 0) {
        error = {header.line.number, std::string("cannot read: ") + std::strerror(store_.read_error_)};
        return false;
      }
      if (child == kNoKey &&
          !index.add(key, name_hash(key, name, size),
                     header.line.offset + header.names[i].start * sizeof(Unit),
                     static_cast<std::uint32_t>(size * sizeof(Unit)), section, child)) {
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

// Gathers the values of one key from its sections; later lines win.
template <class Unit>
class ValueSink {
 public:
  static constexpr bool kWantsValues = true;

  explicit ValueSink(Store::KeyValues& values) : values_(values) {}

  void header(FileHeader) {}

  bool section(const SectionHeader<Unit>& header, ScanError&) {
    values_.append_at = header.line.end_offset();
    return true;
  }

  void value(const ValueRecord& record) {
    values_.append_at = record.end;
    Store::Value* value = values_.find(record.name);
    if (value == nullptr) {
      values_.by_name.emplace(folded(record.name), values_.values.size());
      value = &values_.values.emplace_back();
      value->now.name = record.name;
      value->present = value->stored = true;
    }
    value->now.type = value->stored_type = record.type;
    value->now.data = value->stored_data = record.data;
    value->lines.push_back({record.begin, record.end});
  }

 private:
  Store::KeyValues& values_;
};

Store::Value* Store::KeyValues::find(std::string_view name) {
  const auto found = by_name.find(folded(name));
  return found == by_name.end() ? nullptr : &values[found->second];
}

Store& the_store() {
  static Store store;
  return store;
}

bool Store::ready() {
  if (state_ == State::ready) return true;
  if (state_ == State::failed) return false;
  return load();
}

bool Store::load() {
  forget_file();
  if (dir_fd_ < 0) {
    folder_ = host_prefix_folder();
    path_ = folder_ + "/" + kFileName;
    dir_fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) {
      if (errno == ENOENT) return empty_registry();
      report_error("%s: cannot lock the registry folder: %s", folder_.c_str(), std::strerror(errno));
      return load_failed();
    }
    while (flock(dir_fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      report_error("%s: cannot lock the registry folder: %s", folder_.c_str(), std::strerror(errno));
      close(dir_fd_);
      dir_fd_ = -1;
      return load_failed();
    }
  }
  unlinkat(dir_fd_, kSavingName, 0);  // left by a killed run; harmless if absent
  // A FIFO in the file's place would block the open until some writer came;
  // without blocking it opens at once and is refused below as not a file.
  file_fd_ = openat(dir_fd_, kFileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file_fd_ < 0) {
    if (errno == ENOENT) return empty_registry();
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return load_failed();
  }
  struct stat status {};
  if (fstat(file_fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
    report_error("%s: cannot read: %s", path_.c_str(),
                 S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    return load_failed();
  }
  file_size_ = static_cast<std::uint64_t>(status.st_size);
  file_status_ = status;
  if (!find_save_target()) return load_failed();
  char first[3] = {};
  const std::size_t first_size = std::min<std::uint64_t>(sizeof first, file_size_);
  if (!read_exact(file_fd_, first, first_size, 0)) {
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return load_failed();
  }
  const ByteOrderMark mark = sniff_byte_order_mark(std::string_view(first, first_size));
  // Room for the keys of a dense file; pages never touched cost nothing.
  index_.reset(kRootCount, file_size_ / 64);
  ScanError error;
  const bool scanned = mark.utf16le ? scan_file<char16_t>(mark.size, error)
                                    : scan_file<unsigned char>(mark.size, error);
  if (!scanned) {
    report_error("%s:%zu: %s", path_.c_str(), error.line, error.what.c_str());
    return load_failed();
  }
  state_ = State::ready;
  ++generation_;
  return true;
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

// Replacing a symbolic link would leave the file it names unchanged, so a
// linked registry is saved beside the file it links to.
bool Store::find_save_target() {
  save_folder_.clear();
  save_name_ = kFileName;
  struct stat link {};
  if (fstatat(dir_fd_, kFileName, &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
    return true;
  char* target = realpath(path_.c_str(), nullptr);
  if (target == nullptr) {
    report_error("%s: cannot read: %s", path_.c_str(), std::strerror(errno));
    return false;
  }
  const std::string real(target);
  free(target);
  const std::size_t slash = real.rfind('/');
  save_folder_ = slash == 0 ? "/" : real.substr(0, slash);
  save_name_ = real.substr(slash + 1);
  return true;
}

// A missing file (or prefix folder) is a registry without keys, which the
// run cannot change, so nothing is ever written.
bool Store::empty_registry() {
  index_.reset(kRootCount, 0);
  state_ = State::ready;
  ++generation_;
  return true;
}

bool Store::load_failed() {
  forget_file();
  state_ = State::failed;
  return false;
}

void Store::forget_file() {
  if (file_fd_ >= 0) close(file_fd_);
  file_fd_ = -1;
  file_size_ = 0;
  read_error_ = 0;
  index_.reset(kRootCount, 0);
  values_.clear();
  deleted_.clear();
  created_names_.clear();
  created_.clear();
}

void Store::fail_reading(const std::string& reason) {
  report_error("%s: cannot read: %s", path_.c_str(), reason.c_str());
  load_failed();
}

void Store::end_run() {
  forget_file();
  if (dir_fd_ >= 0) close(dir_fd_);  // the last descriptor of the lock releases it
  dir_fd_ = -1;
  state_ = State::unloaded;
  ++generation_;
}

template <class Unit>
std::uint32_t Store::find_child(std::uint32_t parent, const Unit* name, std::size_t size) {
  return index_.find(parent, name_hash(parent, name, size), [&](std::uint32_t key) {
    const IndexedKey& candidate = index_[key];
    if (candidate.name_size != size * sizeof(Unit)) return false;
    std::vector<Unit> stored(size);
    if (!read_name_bytes(candidate, stored.data())) {
      read_error_ = errno;
      return false;
    }
    return same_folded(stored.data(), size, name, size);
  });
}

bool Store::read_name_bytes(const IndexedKey& key, void* bytes) {
  if (key.name_offset() < file_size_)
    return read_exact(file_fd_, bytes, key.name_size, key.name_offset());
  std::memcpy(bytes, created_names_.data() + (key.name_offset() - file_size_), key.name_size);
  return true;
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
    if (read_error_ != 0) {
      fail_reading(std::strerror(read_error_));
      return false;
    }
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
      if (!index_.add(key, hash, file_size_ + created_names_.size(),
                      static_cast<std::uint32_t>(bytes.size()), kNoSection, child))
        return false;
      created_names_ += bytes;
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
    if (read_error_ != 0) {
      fail_reading(std::strerror(read_error_));
      return kNoKey;
    }
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

template <class Unit>
bool Store::load_values(std::uint32_t key, KeyValues& values, std::string& reason) {
  for (const std::uint32_t section : index_.sections_of(key)) {
    LineReader<Unit> reader(file_fd_, index_.section_begin(section),
                            index_.section_end(section, file_size_));
    ValueSink<Unit> sink(values);
    Scanner<Unit, ValueSink<Unit>> scanner(sink, header_);
    ScanError error;
    if (!scanner.run(reader, error)) {
      reason = error.what;  // the file was checked whole: only reading can fail
      return false;
    }
  }
  return true;
}

Store::KeyValues* Store::values_of(std::uint32_t key) {
  if (!alive(key)) return nullptr;
  const auto found = values_.find(key);
  if (found != values_.end()) return &found->second;
  KeyValues values;
  std::string reason;
  const bool loaded = encoding_ == Encoding::utf16le ? load_values<char16_t>(key, values, reason)
                                                     : load_values<unsigned char>(key, values, reason);
  if (!loaded) {
    fail_reading(reason);
    return nullptr;
  }
  return &values_.emplace(key, std::move(values)).first->second;
}

const StoredValue* Store::find_value(std::uint32_t key, std::string_view name) {
  KeyValues* values = values_of(key);
  const Value* value = values != nullptr ? values->find(name) : nullptr;
  return value != nullptr && value->present ? &value->now : nullptr;
}

bool Store::list_values(std::uint32_t key, std::vector<const StoredValue*>& values) {
  const KeyValues* stored = values_of(key);
  if (stored == nullptr) return false;
  for (const Value& value : stored->values)
    if (value.present) values.push_back(&value.now);
  return true;
}

bool Store::set_value(std::uint32_t key, std::string_view name, std::uint32_t type,
                      std::string data) {
  // A name a line cannot hold, or text the file's encoding cannot, is refused.
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
      !storable_text(name, encoding_) || (is_text_type(type) && !storable_text(data, encoding_)))
    return false;
  KeyValues* values = values_of(key);
  if (values == nullptr) return false;
  Value* value = values->find(name);
  if (value == nullptr) {
    values->by_name.emplace(folded(name), values->values.size());
    value = &values->values.emplace_back();
    value->now.name = std::string(name);
  }
  value->present = true;
  value->now.type = type;
  value->now.data = std::move(data);
  return true;
}

bool Store::delete_value(std::uint32_t key, std::string_view name) {
  KeyValues* values = values_of(key);
  Value* value = values != nullptr ? values->find(name) : nullptr;
  if (value == nullptr || !value->present) return false;
  value->present = false;
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

void Store::commit() {
  if (state_ != State::ready || file_fd_ < 0) return;
  std::vector<Edit> edits;
  if (!plan(edits) || edits.empty()) return;
  std::string reason;
  const int save_dir_fd = save_folder_.empty()
                              ? dir_fd_
                              : open(save_folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool saved = save_dir_fd >= 0 && save_edited_copy(save_dir_fd, save_name_, file_fd_,
                                                          file_status_, std::move(edits), reason);
  if (save_dir_fd < 0) reason = std::strerror(errno);
  if (save_dir_fd >= 0 && save_dir_fd != dir_fd_) close(save_dir_fd);
  if (!saved) {
    report_error("%s: cannot save: %s", path_.c_str(), reason.c_str());
    return;
  }
  // Offsets now point into the old file: read the new one at the next use.
  forget_file();
  state_ = State::saved;
}

bool Store::read_name(std::uint32_t key, std::string& name) {
  const IndexedKey& entry = index_[key];
  std::string bytes(entry.name_size, '\0');
  if (!read_name_bytes(entry, bytes.data())) {
    fail_reading(std::strerror(errno));
    return false;
  }
  name = encoding_ == Encoding::utf16le ? utf8_of_utf16le(bytes) : bytes;
  return true;
}

bool Store::key_path(std::uint32_t key, std::string& path) {
  std::vector<std::string> names;
  for (; index_[key].parent != kNoKey; key = index_[key].parent)
    if (!read_name(key, names.emplace_back())) return false;
  path = root_name(key);
  for (auto name = names.rbegin(); name != names.rend(); ++name) path += '\\' + *name;
  return true;
}

// The changes as edits of the loaded file:
// - a deleted key loses its sections; its parent, when nothing names or
//   implies it any longer, gets an empty section where the first of them was;
// - a changed value's last occurrence is rewritten, a deleted value loses
//   every occurrence, a new one follows the key's last value line;
// - a key without a section of its own that gets values gets a section just
//   before the first section that named it, ahead of its subkeys;
// - a key made gets a section at the end, parents before subkeys.
bool Store::plan(std::vector<Edit>& edits) {
  std::uint32_t order = 0;
  std::unordered_map<std::uint32_t, std::uint64_t> lost_subkeys_at;  // parent -> first place
  for (const std::uint32_t key : deleted_) {
    const std::vector<std::uint32_t> sections = index_.sections_of(key);
    std::uint64_t place = file_size_;
    if (!sections.empty()) {
      place = index_.section_begin(sections.front());
    } else if (const auto lost = lost_subkeys_at.find(key); lost != lost_subkeys_at.end()) {
      place = lost->second;  // it existed through subkeys deleted before it
    }
    for (const std::uint32_t section : sections)
      edits.push_back({index_.section_begin(section), index_.section_end(section, file_size_), 2,
                       order++, {}});
    const auto [at, added] = lost_subkeys_at.try_emplace(index_[key].parent, place);
    if (!added) at->second = std::min(at->second, place);
  }

  struct NewSection {
    std::uint64_t at;
    std::size_t depth;
    std::uint32_t key;
  };
  std::vector<NewSection> new_sections;
  const auto add_section = [&](std::uint32_t key, std::uint64_t at) {
    std::size_t depth = 0;
    for (std::uint32_t up = key; index_[up].parent != kNoKey; up = index_[up].parent) ++depth;
    new_sections.push_back({at, depth, key});
  };
  for (const auto& [key, at] : lost_subkeys_at) {
    const IndexedKey& entry = index_[key];
    if (!entry.deleted && entry.parent != kNoKey && entry.first_section == kNoSection &&
        entry.subkeys == 0)
      add_section(key, at);
  }

  for (const std::uint32_t key : created_)
    if (!index_[key].deleted) add_section(key, file_size_);

  std::vector<std::uint32_t> touched;
  for (const auto& [key, values] : values_) touched.push_back(key);
  std::sort(touched.begin(), touched.end());
  for (const std::uint32_t key : touched) {
    const IndexedKey& entry = index_[key];
    KeyValues& values = values_[key];
    if (entry.deleted) continue;
    if (entry.first_section == kNoSection) {
      const bool has_values = std::any_of(values.values.begin(), values.values.end(),
                                          [](const Value& value) { return value.present; });
      const bool planned = std::any_of(new_sections.begin(), new_sections.end(),
                                       [&](const NewSection& s) { return s.key == key; });
      if (has_values && !planned)
        add_section(key, entry.first_seen == kNoSection ? file_size_
                                                        : index_.section_begin(entry.first_seen));
      continue;
    }
    for (const Value& value : values.values) {
      if (value.stored && value.present && value.now.type == value.stored_type &&
          value.now.data == value.stored_data)
        continue;
      std::string text;
      if (value.present)
        format_value(value.now.name, value.now.type, value.now.data, encoding_, line_end_, text);
      if (value.stored && value.present) {
        edits.push_back({value.lines.back().begin, value.lines.back().end, 2, order++, text});
      } else if (value.stored) {
        for (const Value::Lines& lines : value.lines)
          edits.push_back({lines.begin, lines.end, 2, order++, {}});
      } else if (value.present) {
        edits.push_back({values.append_at, values.append_at, 0, order++, text});
      }
    }
  }

  // Parents before subkeys where two sections are written at one place.
  std::sort(new_sections.begin(), new_sections.end(), [](const NewSection& a, const NewSection& b) {
    return a.at != b.at ? a.at < b.at : a.depth < b.depth;
  });
  for (const NewSection& section : new_sections) {
    std::string path;
    if (!key_path(section.key, path)) return false;
    std::string text = encode_for_file("[" + path + "]" + line_end_, encoding_);
    if (const auto found = values_.find(section.key); found != values_.end())
      for (const Value& value : found->second.values)
        if (value.present)
          format_value(value.now.name, value.now.type, value.now.data, encoding_, line_end_, text);
    text += encode_for_file(line_end_, encoding_);
    edits.push_back({section.at, section.at, 1, order++, std::move(text)});
  }

  // Text added after a last line without a line end starts on a line of its own.
  const bool adds_at_end = std::any_of(edits.begin(), edits.end(), [&](const Edit& edit) {
    return edit.begin == file_size_ && edit.end == file_size_;
  });
  // A rewritten last line brings its own line end; a removed one leaves the
  // line before it, which has one.
  const bool replaces_end = std::any_of(edits.begin(), edits.end(), [&](const Edit& edit) {
    return edit.begin < file_size_ && edit.end == file_size_;
  });
  if (!ends_with_line_end_ && adds_at_end && !replaces_end)
    edits.push_back({file_size_, file_size_, -1, order++, encode_for_file(line_end_, encoding_)});
  return true;
}

}  // namespace morvex::regfile
