#include "registry/reg_file/reg_tree.h"

#include <unordered_map>

#include "registry/reg_file/reg_scanner.h"

namespace morvex {
namespace {

using regfile::FileHeader;
using regfile::ScanError;

template <class Unit>
class TreeSink {
 public:
  static constexpr bool kWantsValues = true;

  explicit TreeSink(std::vector<RegTreeKey>& keys) : keys_(keys) {}

  void header(FileHeader) {}

  bool section(const regfile::SectionHeader<Unit>& header, ScanError&) {
    current_ = key_at(std::string(regfile::root_name(header.root)));
    for (const regfile::NameSpan& name : header.names) {
      // Ancestors keep the spelling that first named them.
      std::string path = keys_[current_].path + '\\';
      const Unit* text = header.line.text + name.start;
      if constexpr (sizeof(Unit) == 1)
        path.append(reinterpret_cast<const char*>(text), name.size);
      else
        regfile::append_utf8(text, name.size, path);
      current_ = key_at(path);
    }
    return true;
  }

  // Later lines win, as when a file is imported; the first spelling stays.
  void value(const regfile::ValueRecord& record) {
    for (RegTreeValue& value : keys_[current_].values)
      if (regfile::equal_folded(value.name, record.name)) {
        value.type = record.type;
        value.data = record.data;
        return;
      }
    keys_[current_].values.push_back({record.name, record.type, record.data});
  }

 private:
  // Every prefix of a path is looked up before the path itself, so ancestors
  // are listed before their subkeys.
  std::size_t key_at(const std::string& path) {
    const auto [found, added] = index_.try_emplace(regfile::folded(path), keys_.size());
    if (added) keys_.push_back({path, {}});
    return found->second;
  }

  std::vector<RegTreeKey>& keys_;
  std::unordered_map<std::string, std::size_t> index_;
  std::size_t current_ = 0;
};

template <class Unit>
bool read_units(const Unit* units, std::size_t count, std::uint64_t offset, bool odd_byte,
                bool has_bom, std::vector<RegTreeKey>& keys, std::string& error) {
  regfile::LineReader<Unit> reader(units, count, offset, odd_byte);
  TreeSink<Unit> sink(keys);
  regfile::Scanner<Unit, TreeSink<Unit>> scanner(sink, has_bom);
  ScanError failure;
  if (scanner.run(reader, failure)) return true;
  error = std::to_string(failure.line) + ": " + failure.what;
  return false;
}

}  // namespace

bool read_reg_tree(std::string_view file_bytes, std::vector<RegTreeKey>& keys,
                   std::string& error) {
  keys.clear();
  error.clear();
  const regfile::ByteOrderMark mark = regfile::sniff_byte_order_mark(file_bytes);
  const std::string_view text = file_bytes.substr(mark.size);
  if (mark.utf16le) {
    std::u16string units(text.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[2 * i]) |
                                       static_cast<unsigned char>(text[2 * i + 1]) << 8);
    return read_units(units.data(), units.size(), mark.size, text.size() % 2 != 0, true, keys,
                      error);
  }
  return read_units(reinterpret_cast<const unsigned char*>(text.data()), text.size(), mark.size,
                    false, mark.size != 0, keys, error);
}

}  // namespace morvex
