#include "inventory/mend.h"

#include "registry/change_journal.h"
#include "registry/reg_file/reg_text.h"
#include "text/formatted.h"

namespace morvex {
namespace {

// A word cmd.exe would split or read otherwise goes in quotes.
std::string argument(const std::string& word) {
  return word.empty() || word.find_first_of(" &|<>^()") != std::string::npos ? "\"" + word + "\""
                                                                               : word;
}

std::string value_line(const Mend& mend) {
  std::string line;
  if (mend.change == Mend::Change::set_number) {
    const auto bits = static_cast<std::uint32_t>(mend.number);
    const std::string data{static_cast<char>(bits), static_cast<char>(bits >> 8),
                           static_cast<char>(bits >> 16), static_cast<char>(bits >> 24)};
    regfile::format_value(mend.name, kRegDword, data, regfile::Encoding::utf8, "", line);
  } else {
    regfile::format_value(mend.name, kRegSz, mend.text + '\0', regfile::Encoding::utf8, "", line);
  }
  return line;
}

}  // namespace

std::string mend_as_reg_command(const Mend& mend) {
  const bool machine = mend.root == RootKey::local_machine;
  std::string key = machine ? "\"HKLM\\" : "\"HKCU\\";
  key.append(mend.key).append("\" /v ").append(argument(mend.name));
  const char* view = machine ? " /reg:32" : "";
  std::string command;
  switch (mend.change) {
    case Mend::Change::none: break;
    case Mend::Change::set_text:
      command = formatted("reg add %s /d %s%s /f", key.c_str(), argument(mend.text).c_str(), view);
      break;
    case Mend::Change::set_number:
      command = formatted("reg add %s /t REG_DWORD /d %d%s /f", key.c_str(), mend.number, view);
      break;
    case Mend::Change::delete_value:
      command = formatted("reg delete %s%s /f", key.c_str(), view);
      break;
  }
  if (mend.uninstall.empty()) return command;
  return (command.empty() ? "" : command + " && ") + "morvex-uninstall " + mend.uninstall;
}

std::string mend_as_file_edit(const Mend& mend) {
  std::string key = "[";
  key.append(root_key_name(mend.root)).append("\\").append(mend.key).append("]");
  std::string edit;
  switch (mend.change) {
    case Mend::Change::none: break;
    case Mend::Change::set_text:
    case Mend::Change::set_number:
      edit = "in registry.reg, under " + key + " (added if missing), make the value's line " +
             value_line(mend);
      break;
    case Mend::Change::delete_value: {
      // The name as the file spells it: the line of an empty text less its `=""`.
      const std::string line = value_line(mend);
      edit = "in registry.reg, under " + key + ", remove the line of " + line.substr(0, line.size() - 3);
      break;
    }
  }
  if (mend.uninstall.empty()) return edit;
  return (edit.empty() ? "" : edit + ", then run ") + "morvex-uninstall " + mend.uninstall;
}

}  // namespace morvex
