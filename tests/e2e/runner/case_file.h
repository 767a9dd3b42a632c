// One end-to-end case as read from its .case file: the machine before, the
// command line, and what must come out.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvex::e2e {

enum class Answer {
  none,   // no terminal, no display: the confirmation cannot be put
  yes,    // the confirmation must be asked, and is answered Yes
  no,     // the confirmation must be asked, and is answered No
  never,  // a terminal and a display are there; the confirmation must not be asked
};

// A file on drive C: before or after the run.
struct DriveFile {
  std::string windows_path;  // C:\dir\name
  bool is_recorder = false;  // the test program that records its arguments
  std::string text;          // the content when it is not the recorder
  // Without write permission, which Wine shows as the read-only attribute.
  bool read_only = false;
};

// One variable of the program's environment; no value unsets it.
struct EnvironmentSetting {
  std::string name;
  std::optional<std::string> value;
};

struct Case {
  std::string name;  // <group>/<name>, from the file's place
  std::string file;  // path of the .case file
  std::string about;
  bool on_native = true;
  bool on_wine = true;
  bool on_wine_files = true;  // the native build on a Wine prefix's own files
  bool on_hives = true;       // the native build on a Windows disk's hives
  std::vector<std::string> arguments;  // the words after word 0
  Answer answer = Answer::none;
  std::string cwd = "C:\\";
  std::vector<EnvironmentSetting> environment;
  std::string registry;  // .reg lines without the header, each ending in \n
  std::vector<DriveFile> files;
  std::string expected_stderr;  // {program} not yet replaced
  std::optional<std::string> expected_stdout;  // unset: not compared
  int expected_exit = 0;
  std::optional<std::string> registry_after;      // unset: unchanged
  std::optional<std::vector<DriveFile>> files_after;  // unset: unchanged
  // Wine only: the shared-file counts of the 64-bit registry view, which the
  // program must leave alone; unset: the suite's own unrelated counts.
  std::optional<std::string> registry_64bit;
};

// Reads and checks one case file; on failure `error` says where and why.
bool load_case(const std::string& file, Case& result, std::string& error);
// The same from text already read; `name` and `file` are taken as given.
bool parse_case(const std::string& text, const std::string& name, const std::string& file,
                Case& result, std::string& error);

// <group>/<name> for a path ending in <group>/<name>.case.
std::string case_name_of(const std::string& file);

// Every .case file below a folder, or the file itself, in name order.
std::vector<std::string> find_case_files(const std::string& path);

// The .reg text of a registry section, with the header a file needs.
std::string reg_file_text(const std::string& section_lines);

// The registry subtrees the program touches: the only parts compared.
const std::vector<std::string>& touched_subtrees();
// The one of them below HKEY_LOCAL_MACHINE\Software, which 64-bit Windows
// keeps apart for 32-bit and 64-bit programs.
const std::string& shared_counts_subtree();

// C:\dir\name -> the drive letter in lower case and "dir/name"; false for a
// path that is not a drive path.
bool split_drive_path(const std::string& windows_path, char& drive, std::string& rest);

}  // namespace morvex::e2e
