#include "files/host_file_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_files.h"

namespace morvex {
namespace {

const std::string kPrefix = "/sandbox/prefix";

TEST(HostFilePath, Table) {
  const struct {
    const char* name;
    std::string windows_path;
    std::string expected;
  } rows[] = {
      {"drive path", "C:\\Morvex\\bin\\xvxc5.exe", kPrefix + "/drive_c/Morvex/bin/xvxc5.exe"},
      {"drive letter folded, names keep their case", "D:\\Program Files\\Bin\\A.EXE",
       kPrefix + "/drive_d/Program Files/Bin/A.EXE"},
      {"lower-case drive letter", "e:\\x", kPrefix + "/drive_e/x"},
      {"forward slashes", "C:/Morvex/bin/f.exe", kPrefix + "/drive_c/Morvex/bin/f.exe"},
      {"mixed separators", "C:\\Morvex/bin\\f.exe", kPrefix + "/drive_c/Morvex/bin/f.exe"},
      {"doubled separator from a directory ending in one", "C:\\Morvex\\bin\\\\xvxc5.exe",
       kPrefix + "/drive_c/Morvex/bin/xvxc5.exe"},
      {"dot components dropped", "C:\\.\\Morvex\\.\\f", kPrefix + "/drive_c/Morvex/f"},
      {"dot-dot inside the drive", "C:\\a\\b\\..\\f", kPrefix + "/drive_c/a/f"},
      {"dot-dot stops at the drive folder", "C:\\a\\..\\..\\..\\etc\\passwd",
       kPrefix + "/drive_c/etc/passwd"},
      {"dot-dot right after the drive", "C:..\\..\\f", kPrefix + "/drive_c/f"},
      {"three dots are a name", "C:\\...\\f", kPrefix + "/drive_c/.../f"},
      {"drive root", "C:\\", kPrefix + "/drive_c"},
      {"drive without a separator counts from its root", "C:f.exe", kPrefix + "/drive_c/f.exe"},
      {"relative path", "bin\\f.exe", "bin/f.exe"},
      {"relative path keeps dot-dot", "..\\bin\\f.exe", "../bin/f.exe"},
      {"rooted path stays below the current folder", "\\Morvex\\f.exe", "./Morvex/f.exe"},
      {"network path stays below the current folder", "\\\\server\\share\\f", ".//server/share/f"},
      {"forward-slash rooted path", "/etc/passwd", "./etc/passwd"},
      {"digit before a colon is no drive", "1:\\x", "1:/x"},
      {"colon in second place only", "ab:\\x", "ab:/x"},
      {"empty path", "", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(host_file_path(row.windows_path, kPrefix), row.expected)
        << "row: " << row.name << " (" << row.windows_path << ")";
  }
}

TEST(HostFilePath, LongPathIsComposedWhole) {
  std::string windows_path = "C:";
  std::string expected = kPrefix + "/drive_c";
  for (int i = 0; i < 40; ++i) {
    const std::string name = "directory" + std::to_string(i);
    windows_path += "\\" + name;
    expected += "/" + name;
  }
  windows_path += "\\xvxc5.exe";
  expected += "/xvxc5.exe";
  ASSERT_GT(windows_path.size(), 400u);
  EXPECT_EQ(host_file_path(windows_path, kPrefix), expected);
}

TEST(ExistingHostFilePath, TakesTheSpellingOnDiskWhereTheNamesDifferInCaseOnly) {
  support::Sandbox sandbox("host-path");
  const std::string prefix = sandbox.folder();
  std::filesystem::create_directories(prefix + "/drive_c/morvex/BIN");
  support::write_file(prefix + "/drive_c/morvex/BIN/XVXC5.EXE", "MZ");
  support::write_file(prefix + "/drive_c/morvex/BIN/xvlink5.exe", "MZ");
  const struct {
    const char* name;
    std::string windows_path;
    std::string expected;  // below the prefix
  } rows[] = {
      {"every component spelled otherwise", "C:\\Morvex\\bin\\xvxc5.exe", "/drive_c/morvex/BIN/XVXC5.EXE"},
      {"spelled as on disk", "C:\\morvex\\BIN\\xvlink5.exe", "/drive_c/morvex/BIN/xvlink5.exe"},
      {"missing file keeps its spelling", "C:\\MORVEX\\bin\\New.exe", "/drive_c/morvex/BIN/New.exe"},
      {"below a missing folder nothing is looked up", "C:\\Other\\bin\\x", "/drive_c/Other/bin/x"},
      {"bytes above 127 are not folded", "C:\\morvex\\B\xCDN", "/drive_c/morvex/B\xCDN"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(existing_host_file_path(row.windows_path, prefix), prefix + row.expected)
        << "row: " << row.name << " (" << row.windows_path << ")";
}

TEST(ExistingHostFilePath, AWinePrefixReachesEachDriveThroughItsDosdevicesLink) {
  support::Sandbox sandbox("host-path-wine");
  const std::string prefix = sandbox.folder();
  std::filesystem::create_directories(prefix + "/drive_c/Morvex");
  std::filesystem::create_directories(prefix + "/elsewhere/Tools");
  std::filesystem::create_directories(prefix + "/dosdevices");
  std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
  std::filesystem::create_directory_symlink(prefix + "/elsewhere", prefix + "/dosdevices/d:");
  support::write_file(prefix + "/elsewhere/Tools/x.exe", "MZ");
  const struct {
    const char* name;
    std::string windows_path;
    std::string expected;  // below the prefix
  } rows[] = {
      {"C: through its link", "C:\\morvex\\f.exe", "/dosdevices/c:/Morvex/f.exe"},
      {"another letter through its own link", "d:\\tools\\X.EXE", "/dosdevices/d:/Tools/x.exe"},
      {"a letter without a link is no drive", "E:\\f.exe", "/dosdevices/e:/f.exe"},
      {"dot-dot stops at the link", "C:\\..\\..\\f", "/dosdevices/c:/f"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(existing_host_file_path(row.windows_path, prefix), prefix + row.expected)
        << "row: " << row.name << " (" << row.windows_path << ")";
  EXPECT_TRUE(std::filesystem::exists(existing_host_file_path("D:\\Tools\\x.exe", prefix)));
  EXPECT_FALSE(std::filesystem::exists(existing_host_file_path("E:\\f.exe", prefix)));
}

}  // namespace
}  // namespace morvex
