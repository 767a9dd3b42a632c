#include "undo/undo_record.h"

#include <map>

#include "registry/change_journal.h"
#include "registry/reg_file/reg_scan_memory.h"
#include "registry/reg_file/reg_text.h"

namespace morvex {
namespace {

using regfile::FileHeader;
using regfile::ScanError;

constexpr const char* kHeader =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; What a morvex-uninstall run changed, each change written before it was made.\r\n"
    "; Put it all back with: morvex-uninstall --restore THIS_FILE\r\n"
    "; (reg import THIS_FILE puts back the registry only; removed files are kept in\r\n"
    "; THIS_FILE.files). Lines \";>\" say what the run left; \";.\" ends each change.\r\n";

// Enough of the header to tell a record from any other registry file.
constexpr std::size_t kHeaderSignatureLines = 3;

std::string in_record_text(std::string_view text) {
  return regfile::encode_for_file(text, regfile::Encoding::utf16le);
}

std::size_t line_count(std::string_view bytes, bool utf16le) {
  std::size_t lines = 0;
  const std::size_t unit = utf16le ? 2 : 1;
  for (std::size_t at = 0; at + unit <= bytes.size(); at += unit)
    lines += bytes[at] == '\n' && (!utf16le || bytes[at + 1] == '\0') ? 1 : 0;
  return lines;
}

// The record up to the end of its last whole change.
std::string_view whole_changes(std::string_view bytes, bool utf16le) {
  std::string end_line;
  for (const char c : std::string("\n") + std::string(kUndoChangeEnd)) {
    end_line += c;
    if (utf16le) end_line += '\0';
  }
  for (std::size_t at = bytes.rfind(end_line); at != std::string_view::npos;
       at = at == 0 ? std::string_view::npos : bytes.rfind(end_line, at - 1)) {
    if (utf16le && at % 2 != 0) continue;  // counted from the byte-order mark
    std::size_t stop = at + end_line.size();
    const std::size_t unit = utf16le ? 2 : 1;
    if (bytes.substr(stop, unit) == std::string_view(utf16le ? "\r\0" : "\r", unit)) stop += unit;
    if (bytes.substr(stop, unit) != std::string_view(utf16le ? "\n\0" : "\n", unit)) continue;
    return bytes.substr(0, stop + unit);
  }
  return bytes.substr(0, 0);
}

template <class Unit>
class RecordSink {
 public:
  static constexpr bool kWantsValues = true;
  static constexpr bool kReadsUndoRecord = true;

  explicit RecordSink(UndoRecord& record) : record_(record) {}

  void header(FileHeader) {}

  bool section(const regfile::SectionHeader<Unit>& header, ScanError& error) {
    if (header.root != regfile::kRootCurrentUser && header.root != regfile::kRootLocalMachine) {
      error = {header.line.number, "a key outside HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE"};
      return false;
    }
    root_ = header.root == regfile::kRootCurrentUser ? RootKey::current_user : RootKey::local_machine;
    path_.clear();
    for (const regfile::NameSpan& name : header.names) {
      if (!path_.empty()) path_ += '\\';
      const Unit* text = header.line.text + name.start;
      if constexpr (sizeof(Unit) == 1)
        path_.append(reinterpret_cast<const char*>(text), name.size);
      else
        regfile::append_utf8(text, name.size, path_);
    }
    if (path_.empty()) {
      error = {header.line.number, "a root key cannot be put back"};
      return false;
    }
    const std::string id = key_id();
    if (keys_.try_emplace(id, record_.keys.size()).second) {
      record_.steps.push_back({UndoStep::Kind::key, record_.keys.size()});
      record_.keys.push_back({root_, path_});
    }
    return true;
  }

  void value(const regfile::ValueRecord& line) {
    const auto [found, added] =
        values_.try_emplace(key_id() + '\n' + folded_name(line.name), record_.values.size());
    if (added) {
      record_.steps.push_back({UndoStep::Kind::value, record_.values.size()});
      record_.values.push_back({root_, path_, line.name, false, {}, false, {}});
    }
    UndoValue& value = record_.values[found->second];
    std::optional<RegistryValue> state;
    if (!line.deletion) state = RegistryValue{value.name, line.type, line.data};
    if (line.left_by_run) {
      value.left_known = true;
      value.left = std::move(state);
    } else if (!value.found_known) {
      value.found_known = true;
      value.found = std::move(state);
    }
  }

  void note(const std::string& text) {
    if (text.starts_with(kUndoRegistryFileNote))
      record_.registry_file_stamp = text.substr(kUndoRegistryFileNote.size());
    if (!text.starts_with(kUndoFileNote)) return;
    record_.steps.push_back({UndoStep::Kind::file, record_.files.size()});
    record_.files.push_back(text.substr(kUndoFileNote.size()));
  }

 private:
  std::string key_id() const {
    return (root_ == RootKey::current_user ? "U\\" : "M\\") + folded_name(path_);
  }

  UndoRecord& record_;
  RootKey root_ = RootKey::current_user;
  std::string path_;
  std::map<std::string, std::size_t> keys_;
  std::map<std::string, std::size_t> values_;
};

}  // namespace

std::string undo_record_start() {
  return "\xFF\xFE" + in_record_text(std::string(kHeader) + std::string(kUndoChangeEnd) + "\r\n");
}

RecordKind undo_record_kind(std::string_view bytes) {
  const std::string start = undo_record_start();
  if (bytes.size() <= start.size() && std::string_view(start).starts_with(bytes))
    return RecordKind::nothing_recorded;
  std::size_t signature = 0;
  for (std::size_t line = 0; line < kHeaderSignatureLines; ++line)
    signature = std::string_view(kHeader).find('\n', signature) + 1;
  const std::string expected = "\xFF\xFE" + in_record_text(std::string_view(kHeader).substr(0, signature));
  return bytes.starts_with(expected) ? RecordKind::record : RecordKind::not_a_record;
}

// Beside the kept product files, which all lie in drive-letter folders.
std::string kept_registry_file_path(const std::string& undo_path) {
  return undo_path + ".files/registry.reg";
}

std::string kept_file_path(const std::string& undo_path, const std::string& windows_path) {
  std::vector<std::string> parts;
  std::size_t floor = 0;  // ".." stops at the drive, as on Windows
  for (std::size_t start = 0; start <= windows_path.size();) {
    std::size_t stop = windows_path.find_first_of("\\/", start);
    if (stop == std::string::npos) stop = windows_path.size();
    std::string part = windows_path.substr(start, stop - start);
    start = stop + 1;
    if (parts.empty() && floor == 0 && part.size() == 2 && part[1] == ':') {
      parts.push_back(std::string(1, static_cast<char>(part[0] & ~0x20)));
      floor = 1;
    } else if (part == "..") {
      if (parts.size() > floor) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
  }
  std::string kept = undo_path + ".files";
  for (const std::string& part : parts) kept += '/' + part;
  return kept;
}

bool read_undo_record(std::string_view bytes, UndoRecord& record, std::string& error) {
  record = UndoRecord{};
  error.clear();
  const regfile::ByteOrderMark mark = regfile::sniff_byte_order_mark(bytes);
  const std::string_view text = whole_changes(bytes.substr(mark.size), mark.utf16le);
  const std::string_view tail = bytes.substr(mark.size + text.size());
  const std::string end_line = in_record_text("\r\n" + std::string(kUndoRunEnd) + "\r\n");
  if (tail == end_line)
    record.ending = UndoRecord::Ending::ended;
  else if (mark.utf16le && std::string_view(end_line).starts_with(tail))
    record.ending = UndoRecord::Ending::interrupted;
  else {
    record.ending = UndoRecord::Ending::cut;
    record.cut_line = line_count(text, mark.utf16le) + 1;
  }
  return regfile::scan_in_memory<RecordSink>(mark, text, record, error);
}

}  // namespace morvex
