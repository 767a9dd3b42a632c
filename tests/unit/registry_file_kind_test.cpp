// What stands in registry.reg's place need not be a file: each kind is
// reported at once, in one line, and left as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "reg_test_files.h"
#include "registry/registry.h"

namespace morvex {
namespace {

class RegistryFileKind : public reg_test::PrefixTest {};

TEST_F(RegistryFileKind, AnythingButAFileIsRefusedWithoutWaiting) {
  const struct {
    const char* row;
    void (*make)(const std::string& path);
    const char* reason;
  } cases[] = {
      {"FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0600); }, "not a regular file"},
      {"directory", [](const std::string& path) { mkdir(path.c_str(), 0700); }, std::strerror(EISDIR)},
      {"link to a FIFO",
       [](const std::string& path) {
         mkfifo((path + ".fifo").c_str(), 0600);
         symlink((path + ".fifo").c_str(), path.c_str());
       },
       "not a regular file"},
      {"character device", [](const std::string& path) { symlink("/dev/zero", path.c_str()); },
       "not a regular file"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(file());
    std::filesystem::remove_all(file() + ".fifo");
    c.make(file());
    const auto started = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    RegistryKey key;
    EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software", key)) << c.row;
    reg_commit();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvex-uninstall: error: " + file() + ": cannot read: " + c.reason + "\n")
        << c.row;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.row;
    end_run();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(file()))) << c.row;
  }
}

}  // namespace
}  // namespace morvex
