// A key's values, loaded from its sections at the first use, and changed in memory.
#include "registry/reg_file/reg_store.h"

#include <algorithm>

namespace morvex::regfile {

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


}  // namespace morvex::regfile
