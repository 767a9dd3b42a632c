// A Windows disk's hives: which hives a disk holds and whose profile is
// HKEY_CURRENT_USER, and every disk the run must refuse, in one line with
// the hives' bytes untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "hive_files.h"
#include "reg_test_files.h"
#include "registry/hive_file/hive_header.h"
#include "registry/registry.h"

namespace morvex {
namespace {

namespace fs = std::filesystem;
using support::DiskShape;

constexpr const char* kInstalled =
    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Morvex\\Morvex Compiler 2.4]\r\n\"A\"=\"1\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls]\r\n"
    "\"C:\\\\x.exe\"=dword:00000001\r\n";
constexpr const char* kNothing = "REGEDIT4\r\n";

// Rewrites a hive's header field and, unless told not to, its checksum.
void patch_header(const std::string& hive, std::size_t at, std::uint32_t value, bool fix_checksum = true) {
  std::string bytes = support::read_file(hive);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  if (fix_checksum) {
    const std::uint32_t sum = hivefile::header_checksum(bytes);
    for (int i = 0; i < 4; ++i) bytes[0x1fc + i] = static_cast<char>(sum >> (8 * i));
  }
  support::write_file(hive, bytes);
}

class WindowsDisk : public reg_test::PrefixTest {
 protected:
  void TearDown() override {
    reg_use_windows_disk("", "");
    PrefixTest::TearDown();
  }

 public:  // for the rows that lay each disk
  std::string disk() const { return prefix_ + "/disk"; }
  void lay(const char* text, const DiskShape& shape = {}) const {
    std::string error;
    ASSERT_TRUE(support::lay_windows_disk(disk(), text, kNothing, error, shape)) << error;
  }
  // The installation in tester's profile, and a second profile, bob's, with `bobs_text`.
  void lay_with_bob(const char* bobs_text) const {
    DiskShape bob;
    bob.user = "bob";
    std::string error;
    ASSERT_TRUE(support::lay_windows_disk(disk() + "-bob", bobs_text, kNothing, error, bob)) << error;
    lay(kInstalled);
    fs::copy(disk() + "-bob/Users/bob", disk() + "/Users/bob", fs::copy_options::recursive);
  }
};

TEST_F(WindowsDisk, EachDiskGetsItsHivesOrOneLineAndNothingChanged) {
  DiskShape nt4;
  nt4.windows = "WINNT";
  nt4.profiles = "WINNT\\Profiles";
  nt4.minor_version = 3;
  nt4.is_64_bit = false;
  DiskShape listed_only;  // a profile folder only ProfileList names
  listed_only.profiles = "Profiles2";
  const struct {
    const char* row;
    std::function<void(const WindowsDisk&)> make;
    std::string user;
    std::string error;  // empty: the product's key is found in the user's hive; {disk}: its folder
  } rows[] = {
      {"a 64-bit Windows of today", [](const WindowsDisk& t) { t.lay(kInstalled); }, "", ""},
      {"NT 4.0: WINNT, its Profiles folder, hives of format 1.3",
       [&](const WindowsDisk& t) { t.lay(kInstalled, nt4); }, "", ""},
      {"a profile found through ProfileList alone",
       [&](const WindowsDisk& t) { t.lay(kInstalled, listed_only); }, "", ""},
      {"names matched whatever their case",
       [](const WindowsDisk& t) {
         t.lay(kInstalled);
         fs::rename(t.disk() + "/Windows", t.disk() + "/WINDOWS");
         fs::rename(t.disk() + "/WINDOWS/System32", t.disk() + "/WINDOWS/system32");
       },
       "", ""},
      {"a hive Windows did not close cleanly",
       [](const WindowsDisk& t) {
         t.lay(kInstalled);
         patch_header(support::software_hive(t.disk()), 8, 7);
       },
       "", "{disk}/Windows/System32/config/SOFTWARE: Windows did not close this hive cleanly (its sequence "
           "numbers 2 and 7 differ): its latest changes still wait in its .LOG files, and a write would lose "
           "them; start that Windows once and shut it down, then try again; nothing is read or changed"},
      {"a header whose checksum is wrong",
       [](const WindowsDisk& t) {
         t.lay(kInstalled);
         patch_header(support::user_hive(t.disk()), 0x10, 5, false);
       },
       "", "{disk}/Users/tester/NTUSER.DAT: its header's checksum is wrong: Windows did not close it cleanly, "
           "or it is damaged; nothing is read or changed"},
      {"two profiles hold the product and --user names none",
       [](const WindowsDisk& t) { t.lay_with_bob(kInstalled); }, "",
       "{disk}: several profiles hold the product's keys (tester, bob): name one with --user NAME"},
      {"--user picks one of them", [](const WindowsDisk& t) { t.lay_with_bob(kNothing); }, "TESTER", ""},
      {"--user names no profile", [](const WindowsDisk& t) { t.lay(kInstalled); }, "carol",
       "{disk}: no profile named carol (the profiles: tester)"},
      {"a Windows 98 disk",
       [](const WindowsDisk& t) {
         fs::create_directories(t.disk() + "/WINDOWS");
         support::write_file(t.disk() + "/WINDOWS/SYSTEM.DAT", "CREG" + std::string(60, '\0'));
       },
       "", "{disk}: a Windows 95, 98 or ME disk, whose registry (SYSTEM.DAT, USER.DAT) is a format that no "
           "library writes; nothing is read or changed"},
      {"no Windows at all", [](const WindowsDisk& t) { fs::create_directories(t.disk() + "/Documents"); }, "",
       "{disk}: no Windows here: neither Windows\\System32\\config\\SOFTWARE nor "
       "WINNT\\system32\\config\\SOFTWARE"},
      {"a folder that is not there", [](const WindowsDisk&) {}, "",
       "the Windows disk's folder {disk} does not exist (named by --windows-disk)"},
  };
  for (const auto& row : rows) {
    fs::remove_all(disk());
    fs::remove_all(disk() + "-bob");
    row.make(*this);
    std::map<std::string, std::string> before;
    std::error_code missing;
    for (const auto& entry : fs::recursive_directory_iterator(disk(), missing))
      if (entry.is_regular_file()) before[entry.path()] = support::read_file(entry.path());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(reg_use_windows_disk(disk(), row.user)) << row.row;
    const bool usable = reg_place_exists();
    RegistryKey key;
    const bool found = usable && reg_open_key(RootKey::current_user, "Software\\Morvex\\Morvex Compiler 2.4", key);
    key.close();
    reg_commit();
    reg_end_run();
    const std::string said = testing::internal::GetCapturedStderr();
    if (row.error.empty()) {
      EXPECT_TRUE(found) << row.row << ": " << said;
      EXPECT_EQ(said, "") << row.row;
    } else {
      EXPECT_FALSE(usable) << row.row;
      std::string error = row.error;
      error.replace(error.find("{disk}"), 6, disk());
      EXPECT_EQ(said, "morvex-uninstall: error: " + error + "\n") << row.row;
    }
    for (const auto& [path, bytes] : before)
      EXPECT_EQ(support::read_file(path), bytes) << row.row << ": " << path << " changed";
  }
}

TEST_F(WindowsDisk, WhatLibhivexCannotWriteAsWindowsReadsItIsLeftWithALine) {
  DiskShape nt4;
  nt4.windows = "WINNT";
  nt4.profiles = "WINNT\\Profiles";
  nt4.minor_version = 3;
  lay(kInstalled, nt4);
  const std::string user_hive = disk() + "/WINNT/Profiles/tester/NTUSER.DAT";
  const std::string before = support::read_file(user_hive);
  ASSERT_TRUE(reg_use_windows_disk(disk(), ""));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(reg_place_exists());
  EXPECT_FALSE(reg_create_key(RootKey::current_user, "Software\\Morvex\\New"));
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "Software\\Morvex\\Morvex Compiler 2.4", key));
  EXPECT_FALSE(reg_write_value(key, {"Big", 3, std::string(20000, 'x')}));
  key.close();
  EXPECT_TRUE(reg_commit());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "morvex-uninstall: error: " + user_hive +
                ": a hive of format 1.3 (Windows NT 4.0 or 2000), in which no key is made: libhivex would "
                "write an index that Windows does not read\n"
                "morvex-uninstall: error: " + user_hive +
                ": Big: a value of 20000 bytes, more than libhivex writes as Windows reads it, is left as it was\n");
  EXPECT_EQ(support::read_file(user_hive), before);
}

}  // namespace
}  // namespace morvex
