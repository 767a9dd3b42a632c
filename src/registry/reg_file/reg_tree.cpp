#include "registry/reg_file/reg_tree.h"

#include <unordered_map>

#include "registry/reg_file/reg_scan_memory.h"

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

}  // namespace

bool read_reg_tree(std::string_view file_bytes, std::vector<RegTreeKey>& keys,
                   std::string& error) {
  keys.clear();
  error.clear();
  const regfile::ByteOrderMark mark = regfile::sniff_byte_order_mark(file_bytes);
  const std::string_view text = file_bytes.substr(mark.size);
  return regfile::scan_in_memory<TreeSink>(mark, text, keys, error);
}

}  // namespace morvex
