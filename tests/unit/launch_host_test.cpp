#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "launch/launch_host.h"

namespace morvex {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class SystemLaunchHostTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("morvex-launch-" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(fs::create_directory(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  // The path as the search composes it: joined with "\".
  std::string windows_style(const std::string& name) const { return folder_.string() + "\\" + name; }

  fs::path folder_;
};

TEST_F(SystemLaunchHostTest, AnswersInWindowsErrorCodes) {
  {
    std::ofstream text(folder_ / "text.exe");
    text << "not a program\n";
  }
  // With the right to run it, the refusal is about its format alone.
  fs::permissions(folder_ / "text.exe", fs::perms::owner_all, fs::perm_options::add);
  fs::create_directory(folder_ / "folder.exe");

  LaunchHost& host = system_launch_host();
  struct Row { const char* name; WindowsError actual; WindowsError expected; };
  const Row rows[] = {
      {"missing file", host.test_existence(windows_style("missing.exe")), 2},
      {"existing file", host.test_existence(windows_style("text.exe")), kNoWindowsError},
      {"folder counts as existing", host.test_existence(windows_style("folder.exe")), kNoWindowsError},
  };
  for (const Row& row : rows) EXPECT_EQ(row.actual, row.expected) << row.name;

  // A start that wrongly succeeded would end the process with status 0, so
  // each runs in a child that must end with its own status instead.
  EXPECT_EXIT(std::exit(host.start(windows_style("text.exe"), "text") == 193 ? 42 : 1),
              testing::ExitedWithCode(42), "")
      << "a text file is a bad format, never handed to a shell";
  EXPECT_EXIT(std::exit(host.start(windows_style("folder.exe"), "folder") == 5 ? 42 : 1),
              testing::ExitedWithCode(42), "")
      << "a folder is refused";

  // Hosts differ in the code, not in its meaning.
  for (const char* name : {"missing\\x.exe", "text.exe\\x.exe"})
    EXPECT_EQ(map_system_error(host.test_existence(windows_style(name))), ENOENT) << name;
}

}  // namespace
}  // namespace morvex
