#include "files/file_deletion.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_files.h"

namespace morvex {
namespace {

namespace fs = std::filesystem;

// Each case gets its own prefix folder standing in for the machine.
class FileDeletion : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = support::make_temporary_folder("files");
    ASSERT_FALSE(prefix_.empty());
    setenv("MORVEX_PREFIX", prefix_.c_str(), 1);
    bin_ = prefix_ / "drive_c" / "Morvex" / "bin";
    fs::create_directories(bin_);
  }
  void TearDown() override {
    unsetenv("MORVEX_PREFIX");
    support::remove_folder(prefix_);
  }
  static void write_file(const fs::path& path) { std::ofstream(path) << "data"; }

  fs::path prefix_;
  fs::path bin_;
};

TEST_F(FileDeletion, RegularFileGoes) {
  write_file(bin_ / "xvxc5.exe");
  EXPECT_TRUE(delete_file("C:\\Morvex\\bin\\xvxc5.exe"));
  EXPECT_FALSE(fs::exists(bin_ / "xvxc5.exe"));
}

TEST_F(FileDeletion, DriveLetterCaseAndSeparatorsFindTheSameFile) {
  write_file(bin_ / "xvxc5.exe");
  EXPECT_TRUE(delete_file("c:/Morvex\\bin\\\\xvxc5.exe"));
  EXPECT_FALSE(fs::exists(bin_ / "xvxc5.exe"));
}

TEST_F(FileDeletion, MissingFileFails) {
  EXPECT_FALSE(delete_file("C:\\Morvex\\bin\\xvxc5.exe"));
}

TEST_F(FileDeletion, DirectoryIsRefusedAndStays) {
  fs::create_directory(bin_ / "xvxc5.exe");
  EXPECT_FALSE(delete_file("C:\\Morvex\\bin\\xvxc5.exe"));
  EXPECT_TRUE(fs::is_directory(bin_ / "xvxc5.exe"));
}

TEST_F(FileDeletion, SymlinkGoesButNotItsTarget) {
  write_file(bin_ / "real.exe");
  fs::create_symlink(bin_ / "real.exe", bin_ / "xvxc5.exe");
  EXPECT_TRUE(delete_file("C:\\Morvex\\bin\\xvxc5.exe"));
  EXPECT_FALSE(fs::is_symlink(bin_ / "xvxc5.exe"));
  EXPECT_TRUE(fs::exists(bin_ / "real.exe"));
}

TEST_F(FileDeletion, DotDotCannotReachAFileBesideThePrefix) {
  // A file outside drive_c that the path names by climbing: it must stay.
  write_file(prefix_ / "registry.reg");
  EXPECT_FALSE(delete_file("C:\\..\\registry.reg"));
  EXPECT_TRUE(fs::exists(prefix_ / "registry.reg"));
}

}  // namespace
}  // namespace morvex
