#include "report/run_report.h"

#include <nlohmann/json.hpp>

#include "diag/diagnostics.h"
#include "files/durable_file.h"
#include "text/dword_bytes.h"

namespace morvex {
namespace {

using nlohmann::ordered_json;

const char* type_name(std::uint32_t type) {
  switch (type) {
    case 0: return "REG_NONE";
    case kRegSz: return "REG_SZ";
    case kRegExpandSz: return "REG_EXPAND_SZ";
    case kRegBinary: return "REG_BINARY";
    case kRegDword: return "REG_DWORD";
    case kRegMultiSz: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return "";
  }
}

std::string hex_of(const std::string& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : data) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

// The exact bytes in "hex"; beside them the readable form a reader expects
// of the value's type.
ordered_json value_json(const RegistryValue& value) {
  ordered_json json = {{"name", value.name}, {"type", value.type}};
  if (*type_name(value.type) != '\0') json["type_name"] = type_name(value.type);
  json["hex"] = hex_of(value.data);
  if (value.type == kRegDword && value.data.size() == 4) {
    json["dword"] = dword_from_bytes(value.data);
  } else if ((value.type == kRegSz || value.type == kRegExpandSz) && !value.data.empty() &&
             value.data.back() == '\0') {
    json["text"] = value.data.substr(0, value.data.find('\0'));
  }
  return json;
}

ordered_json change_json(const RegistryChange& change) {
  static const char* const kActions[] = {"set value", "delete value", "delete key", "create key"};
  ordered_json json = {{"action", kActions[static_cast<int>(change.kind)]},
                       {"root", root_key_name(change.root)},
                       {"key", change.key}};
  switch (change.kind) {
    case RegistryChange::Kind::value_set:
      json["before"] = change.before ? value_json(*change.before) : ordered_json(nullptr);
      json["after"] = value_json(*change.after);
      break;
    case RegistryChange::Kind::value_deleted: json["before"] = value_json(*change.before); break;
    case RegistryChange::Kind::key_deleted: {
      ordered_json values = ordered_json::array();
      for (const RegistryValue& value : change.values) values.push_back(value_json(value));
      json["values"] = std::move(values);
      break;
    }
    case RegistryChange::Kind::key_created: break;
  }
  return json;
}

ordered_json file_json(const FileOutcome& file) {
  static const char* const kActions[] = {"removed", "kept", "not removed"};
  ordered_json json = {{"path", file.path}, {"action", kActions[static_cast<int>(file.action)]}};
  json["count_left"] = file.count_after ? ordered_json(*file.count_after) : ordered_json(nullptr);
  return json;
}

ordered_json follow_on_json(const FollowOnAccount& follow_on) {
  static const char* const kStates[] = {"not named", "not reached", "would start", "started",
                                        "failed"};
  if (follow_on.state == FollowOnAccount::State::not_named) return nullptr;
  ordered_json json = {{"program", follow_on.program},
                       {"arguments", follow_on.arguments},
                       {"state", kStates[static_cast<int>(follow_on.state)]}};
  json["path"] = follow_on.path.empty() ? ordered_json(nullptr) : ordered_json(follow_on.path);
  json["error"] = follow_on.failure.empty() ? ordered_json(nullptr) : ordered_json(follow_on.failure);
  return json;
}

}  // namespace

std::string report_json(const RunAccount& account, const ChangeJournal& journal,
                        const std::vector<std::string>& error_lines) {
  ordered_json changes = ordered_json::array();
  for (const RegistryChange& change : journal.changes()) changes.push_back(change_json(change));
  ordered_json files = ordered_json::array();
  for (const FileOutcome& file : journal.files()) files.push_back(file_json(file));
  const ordered_json report = {
      {"program", "morvex-uninstall"},
      {"version", MORVEX_VERSION},
      {"arguments", account.words},
      {"release", account.version_key},
      {"dry_run", account.dry_run},
      {"finished", account.finished},
      {"saved", account.saved == RunAccount::Saved::not_yet
                    ? ordered_json(nullptr)
                    : ordered_json(account.saved == RunAccount::Saved::saved)},
      {"confirmation", account.confirmation},
      {"exit_status", account.exit_status},
      {"errors", error_lines},
      {"changes", std::move(changes)},
      {"files", std::move(files)},
      {"follow_on", follow_on_json(account.follow_on)},
  };
  // Registry texts are the system's code page, not always UTF-8: their exact
  // bytes are in "hex", so a replacement character in "text" loses nothing.
  return report.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

bool write_run_report(const std::string& path, const RunAccount& account) {
  std::string reason;
  if (replace_file_durably(path, report_json(account, change_journal(), kept_error_lines()), reason))
    return true;
  report_error("cannot write the report %s: %s", path.c_str(), reason.c_str());
  return false;
}

}  // namespace morvex
