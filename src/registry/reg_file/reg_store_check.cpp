// Checking the whole file before the run uses any of it, and noting where
// its sections are. A large file is checked in two halves at once, one on
// each core.
#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "registry/reg_file/reg_store.h"

namespace morvex::regfile {
namespace {

// Notes where each section begins and which bucket it is in while the whole
// file is checked; the keys wait until a run asks for them. What a section
// spells as the section before it hashes as before, so a sorted file costs
// a hash only where the subtree changes.
template <class Unit>
class SectionSink {
 public:
  static constexpr bool kWantsValues = false;

  explicit SectionSink(KeyIndex& index) : index_(index) {}

  void header(FileHeader header) { header_ = header; }
  FileHeader file_header() const { return header_; }

  bool section(const SectionHeader<Unit>& header, ScanError&) {
    const Unit* text = header.line.text;
    const auto& names = header.names;
    if (!names.empty() && (header.repeated < 1 || !first_known_))
      hash_of_first_ = name_hash(static_cast<std::uint32_t>(header.root), text + names[0].start,
                                 names[0].size);
    first_known_ = !names.empty();
    if (names.size() < 2)
      bucket_ = kShallowSection;
    else if (header.repeated < 2 || bucket_ == kShallowSection)
      bucket_ = path_bucket(hash_of_first_, text + names[1].start, names[1].size);
    index_.add_section(header.begin, bucket_);
    return true;
  }

  void value(const ValueRecord&) {}

 private:
  KeyIndex& index_;
  FileHeader header_ = FileHeader::regedit4;
  bool first_known_ = false;
  std::uint32_t hash_of_first_ = 0;
  std::uint32_t bucket_ = kShallowSection;
};

// The second half of a file, checked on a thread of its own from a section
// line on. Its scanner reads the file's header line first, as the whole
// file's would.
template <class Unit>
struct SecondHalf {
  KeyIndex sections;  // only its sections, numbered from 0
  ScanError error;
  bool checked = false;
  std::uint64_t text_end = 0;
  bool ends_with_line_end = true;

  void check(int fd, std::uint64_t text_begin, std::uint64_t split, std::uint64_t end) {
    constexpr std::size_t kHeaderChunk = 4096;
    // Room enough that no growth copies them: fresh pages are dear to fill.
    sections.reset(0, (end - split) / kBytesPerKey);
    LineReader<Unit> first(fd, text_begin, split, kHeaderChunk);
    SectionSink<Unit> sink(sections);
    Scanner<Unit, SectionSink<Unit>> scanner(sink, text_begin != 0);
    TextLine<Unit> header;
    if (first.next(header) != LineReader<Unit>::Status::line || !scanner.feed(header, error))
      return;
    LineReader<Unit> rest(fd, split, end);
    checked = scanner.run(rest, error);
    text_end = scanner.text_end();
    ends_with_line_end = scanner.ends_with_line_end();
  }
};

}  // namespace

bool Store::check_file(const ByteOrderMark& mark, ScanError& error) {
  return mark.utf16le ? scan_file<char16_t>(mark.size, error)
                      : scan_file<unsigned char>(mark.size, error);
}

// Where the second half of a large file can be checked on its own: the start
// of a section line after a blank line near the middle. No value continues
// across it unless the first half ends in one (and is refused). 0 where
// there is none.
template <class Unit>
std::uint64_t Store::split_point(std::uint64_t begin) const {
  constexpr std::uint64_t kSplitAbove = 4 << 20;
  constexpr std::size_t kLook = 64 << 10;
  if (file_size_ - begin < kSplitAbove) return 0;
  std::uint64_t at = begin + (file_size_ - begin) / 2;
  at -= (at - begin) % sizeof(Unit);
  std::vector<Unit> units(kLook / sizeof(Unit));
  if (!read_at(units.data(), units.size() * sizeof(Unit), at)) return 0;
  const auto ends_line = [](Unit unit) { return unit == Unit('\n') || unit == Unit('\r'); };
  for (std::size_t p = 3; p < units.size(); ++p) {
    if (units[p] != Unit('[') || !ends_line(units[p - 1])) continue;
    std::size_t blank_end = p - 1;  // the blank line's line end
    if (units[blank_end] == Unit('\n') && units[blank_end - 1] == Unit('\r')) --blank_end;
    if (ends_line(units[blank_end - 1])) return at + p * sizeof(Unit);
  }
  return 0;
}

template <class Unit>
bool Store::scan_file(std::uint64_t begin, ScanError& error) {
  const std::uint64_t split = split_point<Unit>(begin);
  SecondHalf<Unit> second;
  std::thread helper;
  if (split != 0) {
    try {
      helper = std::thread([&] { second.check(file_fd_, begin, split, file_size_); });
    } catch (const std::system_error&) {
    }
  }
  if (!helper.joinable()) return scan_whole<Unit>(begin, error);
  LineReader<Unit> reader(file_fd_, begin, split);
  SectionSink<Unit> sink(index_);
  Scanner<Unit, SectionSink<Unit>> scanner(sink, begin != 0);
  const bool checked = scanner.run(reader, error);
  helper.join();
  if (!checked || !second.checked) {
    // The whole file again in one pass, so that its first fault is the one
    // reported, as a line-by-line reader would find it.
    index_.reset(kRootCount, file_size_ / kBytesPerKey);
    return scan_whole<Unit>(begin, error);
  }
  index_.append_sections(std::move(second.sections));
  ends_with_line_end_ = second.ends_with_line_end;
  take_header(sizeof(Unit) == 2, sink.file_header(), scanner.line_end(), begin, second.text_end);
  return true;
}

template <class Unit>
bool Store::scan_whole(std::uint64_t begin, ScanError& error) {
  LineReader<Unit> reader(file_fd_, begin, file_size_);
  SectionSink<Unit> sink(index_);
  Scanner<Unit, SectionSink<Unit>> scanner(sink, begin != 0);
  if (!scanner.run(reader, error)) return false;
  ends_with_line_end_ = scanner.ends_with_line_end();
  take_header(sizeof(Unit) == 2, sink.file_header(), scanner.line_end(), begin, scanner.text_end());
  return true;
}

void Store::take_header(bool utf16, FileHeader header, std::string_view line_end,
                        std::uint64_t text_begin, std::uint64_t text_end) {
  text_begin_ = text_begin;
  header_ = header;
  encoding_ = utf16                             ? Encoding::utf16le
              : header == FileHeader::version5 ? Encoding::utf8
                                               : Encoding::ansi;
  line_end_ = std::string(line_end);
  // Changes then go before a DOS end-of-file byte; the save copies it after them.
  file_size_ = std::min(file_size_, text_end);
}

}  // namespace morvex::regfile
