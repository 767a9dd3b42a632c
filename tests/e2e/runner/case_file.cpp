#include "case_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string_view>

#include "registry/reg_file/reg_tree.h"
#include "registry_view.h"
#include "test_files.h"
#include "text/ascii_case.h"

namespace morvex::e2e {
namespace {

struct Line {
  int number;
  std::string text;
};

struct Section {
  int line;  // of its "== name" line
  std::vector<Line> body;
};

const std::vector<std::string> kSectionNames = {
    "about", "platforms", "arguments", "answer",         "cwd",         "environment",
    "registry", "files",  "stderr",    "exit",           "registry after", "files after",
    "64-bit registry", "stdout"};

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<Line> split_lines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  int number = 1;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back({number++, line});
    start = end + 1;
  }
  return lines;
}

// "\n" is a line break and "\\" a backslash; any other backslash is itself,
// so Windows paths need no doubling.
std::string unescape_text(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
      out += text[i + 1] == 'n' ? '\n' : '\\';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool within_subtrees(const std::string& key_path, const std::vector<std::string>& subtrees) {
  const std::string key = support::folded(key_path);
  for (const std::string& root_spelling : subtrees) {
    const std::string root = support::folded(root_spelling);
    if (key == root || key.starts_with(root + "\\")) return true;
  }
  return false;
}

bool above_a_subtree(const std::string& key_path, const std::vector<std::string>& subtrees) {
  const std::string key = support::folded(key_path) + "\\";
  return std::any_of(subtrees.begin(), subtrees.end(),
                     [&](const std::string& root) { return support::folded(root).starts_with(key); });
}

class Parser {
 public:
  Parser(const std::string& file, std::string& error) : file_(file), error_(error) {}

  bool fail(int line, const std::string& what) {
    error_ = file_ + ":" + std::to_string(line) + ": " + what;
    return false;
  }

  bool single_line(const std::string& name, const Section& section, std::string& value) {
    if (section.body.size() != 1) return fail(section.line, "'" + name + "' takes one line");
    value = trim(section.body[0].text);
    return true;
  }

  bool registry_text(const Section& section, std::string& text,
                     const std::vector<std::string>& subtrees = touched_subtrees()) {
    text.clear();
    for (const Line& line : section.body) text += line.text + "\n";
    std::vector<RegTreeKey> keys;
    std::string reason;
    if (!read_reg_tree(reg_file_text(text), keys, reason)) {
      // The reader counts the two header lines.
      const auto colon = reason.find(':');
      const int at = colon == std::string::npos ? 0 : std::atoi(reason.c_str()) - 2;
      const int line = at > 0 && at <= static_cast<int>(section.body.size())
                           ? section.body[static_cast<std::size_t>(at - 1)].number
                           : section.line;
      return fail(line, "registry text: " + reason);
    }
    for (const RegTreeKey& key : keys) {
      if (within_subtrees(key.path, subtrees) || (above_a_subtree(key.path, subtrees) && key.values.empty()))
        continue;
      return fail(section.line, "key outside the compared subtrees: [" + key.path + "]");
    }
    return true;
  }

  bool drive_files(const Section& section, std::vector<DriveFile>& files) {
    for (const Line& line : section.body) {
      if (trim(line.text).empty()) continue;
      DriveFile file;
      // A path starts with its drive, so this word cannot be part of one.
      static constexpr std::string_view kReadOnly = "read-only ";
      file.read_only = line.text.starts_with(kReadOnly);
      const std::string entry = line.text.substr(file.read_only ? kReadOnly.size() : 0);
      const auto equals = entry.find(" = ");
      file.windows_path = entry.substr(0, equals);
      if (equals != std::string::npos) {
        const std::string text = entry.substr(equals + 3);
        file.is_recorder = text == "@recorder";
        if (!file.is_recorder) file.text = unescape_text(text);
      }
      char drive = 0;
      std::string rest;
      if (!split_drive_path(file.windows_path, drive, rest) || rest.empty())
        return fail(line.number, "not a file on a drive: " + file.windows_path);
      files.push_back(file);
    }
    return true;
  }

  bool environment(const Section& section, std::vector<EnvironmentSetting>& settings) {
    for (const Line& line : section.body) {
      if (trim(line.text).empty()) continue;
      const auto equals = line.text.find('=');
      EnvironmentSetting setting;
      setting.name = line.text.substr(0, equals);
      if (equals != std::string::npos) setting.value = line.text.substr(equals + 1);
      if (setting.name.empty()) return fail(line.number, "a variable needs a name");
      settings.push_back(setting);
    }
    return true;
  }

 private:
  const std::string& file_;
  std::string& error_;
};

}  // namespace

const std::vector<std::string>& touched_subtrees() {
  static const std::vector<std::string> subtrees = {
      "HKEY_CURRENT_USER\\Software\\Morvex",
      "HKEY_CURRENT_USER\\Software\\Microsoft\\DevStudio",
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Developer",
      shared_counts_subtree(),
  };
  return subtrees;
}

const std::string& shared_counts_subtree() {
  static const std::string subtree =
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
  return subtree;
}

std::string reg_file_text(const std::string& section_lines) {
  std::string text = "REGEDIT4\r\n\r\n";
  for (const Line& line : split_lines(section_lines)) text += line.text + "\r\n";
  return text;
}

bool split_drive_path(const std::string& windows_path, char& drive, std::string& rest) {
  if (windows_path.size() < 3 || !std::isalpha(static_cast<unsigned char>(windows_path[0])) ||
      windows_path[1] != ':' || windows_path[2] != '\\')
    return false;
  drive = fold_ascii(windows_path[0]);
  rest = windows_path.substr(3);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  return true;
}

bool parse_case(const std::string& text, const std::string& name, const std::string& file,
                Case& result, std::string& error) {
  result = Case{};
  result.name = name;
  result.file = file;
  Parser parser(file, error);

  std::map<std::string, Section> sections;
  Section* current = nullptr;
  for (const Line& line : split_lines(text)) {
    if (line.text.starts_with("== ")) {
      const std::string section_name = trim(line.text.substr(3));
      if (std::find(kSectionNames.begin(), kSectionNames.end(), section_name) == kSectionNames.end())
        return parser.fail(line.number, "unknown section '" + section_name + "'");
      if (sections.count(section_name) != 0)
        return parser.fail(line.number, "section '" + section_name + "' given twice");
      current = &sections[section_name];
      current->line = line.number;
    } else if (current != nullptr) {
      current->body.push_back(line);
    } else if (!line.text.empty() && line.text[0] != '#') {
      return parser.fail(line.number, "text before the first section");
    }
  }
  if (sections.count("arguments") == 0) return parser.fail(1, "no 'arguments' section");

  for (const auto& [section_name, section] : sections) {
    std::string value;
    if (section_name == "about") {
      for (const Line& line : section.body) result.about += (result.about.empty() ? "" : " ") + line.text;
    } else if (section_name == "platforms") {
      result.on_native = result.on_wine = result.on_wine_files = result.on_hives = false;
      for (const Line& line : section.body) {
        const std::string platform = trim(line.text);
        if (platform == "native") result.on_native = true;
        else if (platform == "wine") result.on_wine = true;
        else if (platform == "wine-files") result.on_wine_files = true;
        else if (platform == "hives") result.on_hives = true;
        else if (!platform.empty()) return parser.fail(line.number, "unknown platform '" + platform + "'");
      }
      if (!result.on_native && !result.on_wine && !result.on_wine_files && !result.on_hives)
        return parser.fail(section.line, "no platform named");
    } else if (section_name == "arguments") {
      for (const Line& line : section.body) result.arguments.push_back(line.text);
    } else if (section_name == "answer") {
      if (!parser.single_line(section_name, section, value)) return false;
      if (value == "none") result.answer = Answer::none;
      else if (value == "yes") result.answer = Answer::yes;
      else if (value == "no") result.answer = Answer::no;
      else if (value == "never") result.answer = Answer::never;
      else return parser.fail(section.body[0].number, "answer is yes, no, none or never");
    } else if (section_name == "cwd") {
      if (!parser.single_line(section_name, section, value)) return false;
      char drive = 0;
      std::string rest;
      if (!split_drive_path(value, drive, rest))
        return parser.fail(section.body[0].number, "not a drive path: " + value);
      result.cwd = value;
    } else if (section_name == "environment") {
      if (!parser.environment(section, result.environment)) return false;
    } else if (section_name == "registry") {
      if (!parser.registry_text(section, result.registry)) return false;
    } else if (section_name == "files") {
      if (!parser.drive_files(section, result.files)) return false;
    } else if (section_name == "stderr") {
      for (const Line& line : section.body) result.expected_stderr += line.text + "\n";
    } else if (section_name == "stdout") {
      result.expected_stdout.emplace();
      for (const Line& line : section.body) *result.expected_stdout += line.text + "\n";
    } else if (section_name == "exit") {
      if (!parser.single_line(section_name, section, value)) return false;
      char* end = nullptr;
      result.expected_exit = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      if (value.empty() || *end != '\0')
        return parser.fail(section.body[0].number, "exit takes a number");
    } else if (section_name == "registry after") {
      std::string after;
      if (!parser.registry_text(section, after)) return false;
      result.registry_after = after;
    } else if (section_name == "64-bit registry") {
      std::string view;
      if (!parser.registry_text(section, view, {shared_counts_subtree()})) return false;
      result.registry_64bit = view;
    } else if (section_name == "files after") {
      std::vector<DriveFile> after;
      if (!parser.drive_files(section, after)) return false;
      result.files_after = after;
    }
  }
  return true;
}

bool load_case(const std::string& file, Case& result, std::string& error) {
  if (!support::exists(file)) {
    error = file + ": cannot be read";
    return false;
  }
  return parse_case(support::read_file(file), case_name_of(file), file, result, error);
}

std::string case_name_of(const std::string& file) {
  const std::filesystem::path path(file);
  return path.parent_path().filename().string() + "/" + path.stem().string();
}

std::vector<std::string> find_case_files(const std::string& path) {
  std::vector<std::string> files;
  std::error_code ignored;
  if (!std::filesystem::is_directory(path, ignored)) return {path};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored))
    if (entry.is_regular_file() && entry.path().extension() == ".case")
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace morvex::e2e
