#include "drive_files.h"

#include <sys/stat.h>

#include <filesystem>

#include "process.h"
#include "registry_view.h"
#include "test_files.h"
#include "text/ascii_case.h"

namespace morvex::e2e {

using namespace morvex::support;
namespace {

namespace fs = std::filesystem;

const DriveFile* find_file(const std::vector<DriveFile>& files, const std::string& windows_path) {
  for (const DriveFile& file : files)
    if (equal_folded(file.windows_path, windows_path)) return &file;
  return nullptr;
}

std::string expected_bytes(const DriveFile& file, const std::string& recorder) {
  return file.is_recorder ? read_file(recorder) : file.text;
}

std::string show_content(const DriveFile& file) {
  if (file.is_recorder) return "@recorder";
  std::string shown;
  for (char c : file.text) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
  return "\"" + shown + "\"";
}

std::string show_found(const std::string& bytes, const std::string& recorder) {
  if (bytes == read_file(recorder)) return "@recorder";
  if (bytes.size() > 200 || bytes.find('\0') != std::string::npos)
    return std::to_string(bytes.size()) + " bytes";
  std::string shown;
  for (char c : bytes) shown += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
  return "\"" + shown + "\"";
}

// Windows starts files by their extension; on the host they need the right to run.
bool runs_as_program(const std::string& windows_path) {
  const std::string extension = folded(fs::path(windows_path).extension().string());
  return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".cmd";
}

bool is_read_only(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && (status.st_mode & 0222) == 0;
}

bool expects_new_content(const std::vector<DriveFile>& before, const std::vector<DriveFile>& after) {
  for (const DriveFile& file : after) {
    const DriveFile* earlier = find_file(before, file.windows_path);
    if (earlier == nullptr || earlier->is_recorder != file.is_recorder || earlier->text != file.text)
      return true;
  }
  return false;
}

}  // namespace

std::string host_path(const std::string& prefix, const std::string& windows_path) {
  char drive = 'c';
  std::string rest;
  split_drive_path(windows_path, drive, rest);
  return prefix + "/drive_" + drive + (rest.empty() ? "" : "/" + rest);
}

namespace {

// The file a Windows program finds at `windows_path`, where names match
// whatever their letter case.
std::string found_path(const std::string& prefix, const std::string& windows_path) {
  fs::path found = host_path(prefix, windows_path.substr(0, 2));
  const fs::path wanted = host_path(prefix, windows_path);
  for (const fs::path& name : wanted.lexically_relative(found)) {
    std::error_code error;
    fs::path spelled = found / name;
    if (!fs::exists(fs::symlink_status(spelled, error)))
      for (fs::directory_iterator entry(found, error), end; !error && entry != end; entry.increment(error))
        if (equal_folded(entry->path().filename().string(), name.string())) spelled = entry->path();
    found = spelled;
  }
  return found.string();
}

}  // namespace

bool lay_files(const std::string& prefix, const std::vector<DriveFile>& files,
               const std::string& recorder, std::vector<std::string>& made_folders,
               std::string& error) {
  for (const DriveFile& file : files) {
    const fs::path path = host_path(prefix, file.windows_path);
    std::vector<fs::path> missing;
    for (fs::path folder = path.parent_path(); !fs::exists(folder); folder = folder.parent_path())
      missing.insert(missing.begin(), folder);
    for (const fs::path& folder : missing) {
      std::error_code failed;
      fs::create_directory(folder, failed);
      if (failed) {
        error = "cannot make " + folder.string() + ": " + failed.message();
        return false;
      }
      made_folders.push_back(folder.string());
    }
    if (!write_file(path.string(), expected_bytes(file, recorder))) {
      error = "cannot write " + path.string();
      return false;
    }
    const mode_t mode = file.is_recorder || runs_as_program(file.windows_path) ? 0755 : 0644;
    chmod(path.c_str(), file.read_only ? mode & ~0222 : mode);
  }
  return true;
}

std::vector<std::string> compare_files(const std::string& prefix, const std::vector<DriveFile>& before,
                                       const std::vector<DriveFile>& after,
                                       const std::string& recorder) {
  std::vector<std::string> differences;
  for (const DriveFile& file : after) {
    const std::string path = found_path(prefix, file.windows_path);
    std::error_code ignored;
    if (!fs::is_regular_file(path, ignored)) {
      differences.push_back(file.windows_path + ": missing, expected " + show_content(file));
      continue;
    }
    const std::string bytes = read_file(path);
    if (bytes != expected_bytes(file, recorder))
      differences.push_back(file.windows_path + ": expected " + show_content(file) + ", found " +
                            show_found(bytes, recorder));
    if (is_read_only(path) != file.read_only)
      differences.push_back(file.windows_path + (file.read_only ? ": writable, expected read-only"
                                                                : ": read-only, expected writable"));
  }
  for (const DriveFile& file : before) {
    std::error_code ignored;
    if (find_file(after, file.windows_path) == nullptr &&
        fs::exists(found_path(prefix, file.windows_path), ignored))
      differences.push_back(file.windows_path + ": still there, expected gone");
  }
  return differences;
}

void wait_for_follow_on(const Case& c, const std::string& prefix, const std::string& recorder,
                        int poll_ms) {
  if (!c.files_after || !expects_new_content(c.files, *c.files_after)) return;
  const long long deadline = now_ms() + 10000;
  while (!compare_files(prefix, c.files, *c.files_after, recorder).empty() && now_ms() < deadline)
    sleep_ms(poll_ms);
}

}  // namespace morvex::e2e
