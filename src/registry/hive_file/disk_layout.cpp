#include "registry/hive_file/disk_layout.h"
#include "registry/hive_file/hive_value.h"

#include <hivex.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "diag/diagnostics.h"
#include "registry/reg_file/reg_text.h"
#include "text/ascii_case.h"
#include "text/existing_spelling.h"

namespace morvex::hivefile {
namespace {

struct Profile {
  std::string name;  // its folder's name
  std::string hive;  // host path of its NTUSER.DAT
};

// A hive opened to be read, closed when it goes.
class ReadHive {
 public:
  explicit ReadHive(const std::string& path) : handle_(hivex_open(path.c_str(), 0)) {}
  ~ReadHive() {
    if (handle_ != nullptr) hivex_close(handle_);
  }
  ReadHive(const ReadHive&) = delete;
  ReadHive& operator=(const ReadHive&) = delete;

  // The node at the end of `names` below the root; 0 when there is none.
  hive_node_h node(const std::vector<const char*>& names) const {
    if (handle_ == nullptr) return 0;
    hive_node_h node = hivex_root(handle_);
    for (const char* name : names)
      if (node != 0) node = hivex_node_get_child(handle_, node, name);
    return node;
  }
  hive_h* handle() const { return handle_; }

 private:
  hive_h* handle_;
};

// The text of a REG_SZ or REG_EXPAND_SZ value, up to its first zero.
std::string text_value(hive_h* hive, hive_node_h node, const char* name) {
  const hive_value_h value = hivex_node_get_value(hive, node, name);
  if (value == 0) return "";
  std::uint32_t type = 0;
  std::string data;
  if (!read_hive_value(hive, value, type, data)) return "";
  const std::string text = regfile::utf8_of_utf16le(data);
  return text.substr(0, text.find('\0'));
}

std::vector<std::string> windows_path_parts(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path + "\\") {
    if (c != '\\' && c != '/') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  return parts;
}

// "%SystemDrive%\Users\Bob" and the like, as that Windows expands them, when
// the profile lies on drive C:.
std::vector<std::string> profile_folder_parts(std::string path, const std::string& windows_folder) {
  const auto replace = [&](const std::string& variable, const std::string& by) {
    if (path.size() >= variable.size() && equal_folded(path.substr(0, variable.size()), variable))
      path = by + path.substr(variable.size());
  };
  replace("%SystemDrive%", "C:");
  replace("%SystemRoot%", "C:\\" + windows_folder);
  if (path.size() < 3 || !equal_folded(path.substr(0, 3), "C:\\")) return {};
  return windows_path_parts(path.substr(3));
}

void add_profile(std::vector<Profile>& profiles, const std::string& folder) {
  const std::string hive = existing_path(folder, {"NTUSER.DAT"});
  if (hive.empty()) return;
  for (const Profile& known : profiles)
    if (known.hive == hive) return;
  profiles.push_back({std::filesystem::path(folder).filename().string(), hive});
}

// The profiles the SOFTWARE hive lists, then those in the folders where
// each Windows keeps them.
std::vector<Profile> find_profiles(const std::string& disk, const std::string& software,
                                   const std::string& windows_folder) {
  std::vector<Profile> profiles;
  const ReadHive hive(software);
  const hive_node_h list = hive.node({"Microsoft", "Windows NT", "CurrentVersion", "ProfileList"});
  hive_node_h* children = list == 0 ? nullptr : hivex_node_children(hive.handle(), list);
  for (std::size_t i = 0; children != nullptr && children[i] != 0; ++i) {
    const std::vector<std::string> parts =
        profile_folder_parts(text_value(hive.handle(), children[i], "ProfileImagePath"), windows_folder);
    const std::string folder = parts.empty() ? "" : existing_path(disk, parts);
    if (!folder.empty()) add_profile(profiles, folder);
  }
  std::free(children);
  for (const std::vector<std::string>& base :
       {std::vector<std::string>{"Documents and Settings"}, {"Users"}, {windows_folder, "Profiles"}}) {
    const std::string folder = existing_path(disk, base);
    std::error_code error;
    if (folder.empty()) continue;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
      if (entry->is_directory(error)) add_profile(profiles, entry->path().string());
  }
  return profiles;
}

bool holds_product_keys(const Profile& profile) {
  return ReadHive(profile.hive).node({"Software", "Morvex"}) != 0;
}

std::string names_of(const std::vector<Profile>& profiles) {
  std::string names;
  for (const Profile& profile : profiles) names += (names.empty() ? "" : ", ") + profile.name;
  return names.empty() ? "none" : names;
}

}  // namespace

bool find_disk_layout(const WindowsDisk& disk, DiskLayout& layout) {
  layout = DiskLayout{};
  std::string windows_folder;
  for (const std::vector<std::string>& place :
       {std::vector<std::string>{"Windows", "System32", "config", "SOFTWARE"},
        {"WINNT", "system32", "config", "SOFTWARE"}}) {
    layout.software = existing_path(disk.folder, place);
    if (!layout.software.empty()) {
      windows_folder = std::filesystem::path(layout.software).parent_path().parent_path().parent_path()
                           .filename().string();
      break;
    }
  }
  if (layout.software.empty()) {
    if (!existing_path(disk.folder, {"Windows", "SYSTEM.DAT"}).empty() ||
        !existing_path(disk.folder, {"Windows", "USER.DAT"}).empty())
      report_error("%s: a Windows 95, 98 or ME disk, whose registry (SYSTEM.DAT, USER.DAT) is a "
                   "format that no library writes; nothing is read or changed",
                   disk.folder.c_str());
    else
      report_error("%s: no Windows here: neither Windows\\System32\\config\\SOFTWARE nor "
                   "WINNT\\system32\\config\\SOFTWARE",
                   disk.folder.c_str());
    return false;
  }
  const std::vector<Profile> profiles = find_profiles(disk.folder, layout.software, windows_folder);
  std::vector<Profile> chosen;
  if (!disk.user.empty()) {
    for (const Profile& profile : profiles)
      if (equal_folded(profile.name, disk.user)) chosen.push_back(profile);
    if (chosen.empty()) {
      report_error("%s: no profile named %s (the profiles: %s)", disk.folder.c_str(), disk.user.c_str(),
                   names_of(profiles).c_str());
      return false;
    }
  } else {
    for (const Profile& profile : profiles)
      if (holds_product_keys(profile)) chosen.push_back(profile);
    if (chosen.size() > 1) {
      report_error("%s: several profiles hold the product's keys (%s): name one with --user NAME",
                   disk.folder.c_str(), names_of(chosen).c_str());
      return false;
    }
    // A disk with one profile is that user's, product or not.
    if (chosen.empty() && profiles.size() == 1) chosen = profiles;
  }
  if (!chosen.empty()) {
    layout.user_hive = chosen.front().hive;
    layout.user = chosen.front().name;
  }
  return true;
}

}  // namespace morvex::hivefile
