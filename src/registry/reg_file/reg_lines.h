// Lines of a registry file, read in chunks so that a file of any size costs
// only the longest line in memory. Works on raw code units: bytes, or UTF-16
// units read straight from the file.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "registry/reg_file/reg_blocks.h"

namespace morvex::regfile {

// pread: bytes at an offset, or -1 with errno. Per platform, since the
// Windows build reads registry texts too (undo records), though only from memory.
std::int64_t read_file_at(int fd, void* bytes, std::size_t size, std::uint64_t offset);

static_assert(std::endian::native == std::endian::little,
              "UTF-16LE files are read as native char16_t units");

template <class Unit>
struct TextLine {
  const Unit* text = nullptr;  // without its line end
  std::size_t size = 0;
  std::size_t line_end_size = 0;  // 0 for a last line without one
  std::uint64_t offset = 0;       // byte offset of text[0] in the file
  std::size_t number = 0;         // 1 for the first line read

  std::uint64_t end_offset() const { return offset + (size + line_end_size) * sizeof(Unit); }
};

template <class Unit>
class LineReader {
 public:
  enum class Status { line, end, error };

  // The whole text in memory; `offset` is the byte offset of units[0], and
  // `odd_byte` tells that a UTF-16 text had a byte left over after the units.
  LineReader(const Unit* units, std::size_t count, std::uint64_t offset, bool odd_byte = false)
      : data_(units), tail_(count), data_offset_(offset), at_eof_(true), odd_byte_(odd_byte) {}

  // Bytes [begin, end) of an open file (begin a multiple of the unit size),
  // read `chunk_bytes` at a time, or at once when they are fewer.
  LineReader(int fd, std::uint64_t begin, std::uint64_t end,
             std::size_t chunk_bytes = kChunkBytes)
      : fd_(fd), read_at_(begin), read_end_(end), data_offset_(begin) {
    const std::uint64_t bytes = std::min<std::uint64_t>(chunk_bytes, end - begin);
    grow(std::max<std::size_t>(1, (bytes + sizeof(Unit) - 1) / sizeof(Unit)));
  }
  ~LineReader() { std::free(buffer_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  Status next(TextLine<Unit>& line) {
    for (;;) {
      const std::size_t i = find_break(scanned_);
      if (i < tail_ && data_[i] == Unit(0)) return fail("NUL character in the file", true);
      if (i < tail_ && (data_[i] == Unit('\n') || i + 1 < tail_ || at_eof_)) {
        const bool crlf = data_[i] == Unit('\r') && i + 1 < tail_ && data_[i + 1] == Unit('\n');
        return emit(line, i, crlf ? 2 : 1);
      }
      if (i == tail_ && at_eof_) {
        if (head_ < tail_) return emit(line, i, 0);
        // A half unit at the end belongs to the last line, or starts a new one.
        if (odd_byte_) return fail("truncated UTF-16 text (odd number of bytes)", last_line_ended_);
        return Status::end;
      }
      // A CR at the end of the buffer may be half of a CRLF: read on.
      scanned_ = i;
      if (!refill()) return Status::error;
    }
  }

  // For Status::error: what is wrong, and on which line.
  const std::string& error() const { return error_; }
  std::size_t error_line() const { return error_line_; }

  // Small enough that a chunk is still in the core's own cache when it is
  // scanned after the copy from the page cache.
  static constexpr std::size_t kChunkBytes = 128 << 10;

 private:
  static bool is_break(Unit unit) {
    return unit <= Unit('\r') && (unit == Unit('\n') || unit == Unit('\r') || unit == Unit(0));
  }

  // The first line end or NUL from `i`, or tail_.
  std::size_t find_break(std::size_t i) const {
    for (;; ++i) {  // past a tab or another control unit that ends nothing
      i += plain_run(data_ + i, tail_ - i);
      if (i == tail_ || is_break(data_[i])) return i;
    }
  }

  Status emit(TextLine<Unit>& line, std::size_t end, std::size_t line_end_size) {
    line.text = data_ + head_;
    line.size = end - head_;
    line.line_end_size = line_end_size;
    line.offset = data_offset_ + head_ * sizeof(Unit);
    line.number = ++lines_;
    last_line_ended_ = line_end_size != 0;
    head_ = end + line_end_size;
    scanned_ = head_;
    return Status::line;
  }

  Status fail(std::string what, bool next_line) {
    error_ = std::move(what);
    error_line_ = std::max<std::size_t>(1, lines_ + (next_line ? 1 : 0));
    return Status::error;
  }

  // A line longer than the buffer doubles it; realloc grows a large block in
  // place, so a huge line costs about its own size, not twice that.
  bool grow(std::size_t units) {
    void* grown = std::realloc(buffer_, units * sizeof(Unit));
    if (grown == nullptr) {
      fail(std::string("cannot read: ") + std::strerror(ENOMEM), true);
      return false;
    }
    buffer_ = static_cast<Unit*>(grown);
    capacity_ = units;
    data_ = buffer_;
    return true;
  }

  bool refill() {
    if (head_ > 0) {
      std::memmove(buffer_, buffer_ + head_, (tail_ - head_) * sizeof(Unit));
      data_offset_ += head_ * sizeof(Unit);
      tail_ -= head_;
      scanned_ -= head_;
      head_ = 0;
    }
    if (tail_ == capacity_ && !grow(std::max<std::size_t>(1, capacity_ * 2))) return false;
    auto* bytes = reinterpret_cast<char*>(buffer_ + tail_);
    const std::size_t wanted =
        std::min<std::uint64_t>((capacity_ - tail_) * sizeof(Unit), read_end_ - read_at_);
    std::size_t got = 0;
    while (got < wanted) {
      const std::int64_t n = read_file_at(fd_, bytes + got, wanted - got, read_at_ + got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        fail(std::string("cannot read: ") + std::strerror(errno), true);
        return false;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    read_at_ += got;
    if (got < wanted) read_end_ = read_at_;  // the file ended early
    at_eof_ = read_at_ == read_end_;
    odd_byte_ = got % sizeof(Unit) != 0;  // only at the end of the file
    tail_ += got / sizeof(Unit);
    return true;
  }

  Unit* buffer_ = nullptr;  // file lines only
  std::size_t capacity_ = 0;
  const Unit* data_ = nullptr;
  std::size_t head_ = 0;     // start of the next line
  std::size_t scanned_ = 0;  // units before this hold no line end
  std::size_t tail_ = 0;
  int fd_ = -1;
  std::uint64_t read_at_ = 0;
  std::uint64_t read_end_ = 0;
  std::uint64_t data_offset_ = 0;  // byte offset of data_[0]
  bool at_eof_ = false;
  bool odd_byte_ = false;
  bool last_line_ended_ = false;
  std::size_t lines_ = 0;
  std::string error_;
  std::size_t error_line_ = 0;
};

}  // namespace morvex::regfile
