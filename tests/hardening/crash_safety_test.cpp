// A run killed at any moment, on a registry file of tens of megabytes: the
// file is always exactly the old one or exactly the new one, and a later run
// finishes the job as if nothing had happened. With an undo record, a
// restore after the kill always gives back the registry before the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "program_run.h"

namespace morvex::hardening {
namespace {

std::size_t setting(const char* name, std::size_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && std::atol(value) > 0 ? static_cast<std::size_t>(std::atol(value)) : fallback;
}

void sleep_until(long long deadline_ns) {
  const long long left = deadline_ns - now_ns();
  if (left > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left));
}

TEST(CrashSafety, AKilledRunLeavesTheOldOrTheNewFileAndALaterRunFinishes) {
  const std::size_t megabytes = setting("MORVEX_CRASH_REGISTRY_MB", 30);
  const std::size_t kills = setting("MORVEX_CRASH_KILLS", 24);
  Sandbox sandbox("crash");
  const std::vector<std::string> releases = {"30", "31"};
  const std::string old_bytes = product_registry(releases, megabytes << 20);
  const std::string saving = "/registry.reg.saving";

  // An undisturbed run: the new file, and when its save begins and ends.
  const std::string reference = sandbox.make_prefix("reference");
  write_file(reference + "/registry.reg", old_bytes);
  const long long started = now_ns();
  const pid_t pid = start_program({reference, {"30"}, reference + ".stderr", {}});
  ASSERT_NE(pid, 0);
  long long save_began = 0;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      break;
    }
    if (save_began == 0 && exists(reference + saving)) save_began = now_ns();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const long long run_ns = now_ns() - started;
  const long long save_from_ns = save_began == 0 ? run_ns / 2 : save_began - started;
  ASSERT_EQ(read_file(reference + ".stderr"), "");
  const std::string new_bytes = read_file(reference + "/registry.reg");
  ASSERT_NE(new_bytes, old_bytes);
  RegistryView meaning;
  std::string error;
  ASSERT_TRUE(add_reg_text(new_bytes, meaning, error)) << error;
  for (const int generation : {4, 5})
    EXPECT_EQ(text_value(meaning, kUser + generation_key(generation), "Compiler_List"), remaining_list(releases, {"30"}));
  EXPECT_FALSE(find_key(meaning, kUser + install_key("30")));
  std::printf("[ note     ] %zu MB: a run takes %.0f ms, its save begins at %.0f ms\n", megabytes,
              run_ns / 1e6, save_from_ns / 1e6);

  // Kills spread over the whole run and a little past its end, and as many
  // again over its save.
  std::size_t left_old = 0, left_new = 0, during_save = 0, finished = 0;
  const std::string prefix = sandbox.folder() + "/killed";
  for (std::size_t i = 0; i < kills; ++i) {
    std::filesystem::remove_all(prefix);
    sandbox.make_prefix("killed");
    write_file(prefix + "/registry.reg", old_bytes);
    const double fraction = (static_cast<double>(i / 2) + 0.5) / static_cast<double>((kills + 1) / 2);
    const long long start = now_ns();
    const pid_t victim = start_program({prefix, {"30"}, prefix + ".stderr", {}});
    ASSERT_NE(victim, 0);
    long long delay = static_cast<long long>(1.2 * run_ns * fraction);
    if (i % 2 == 1) {
      // Timed from the moment the save begins, however long the run took to get there.
      while (!exists(prefix + saving) && now_ns() - start < 4 * run_ns)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      delay = now_ns() - start + static_cast<long long>(1.1 * (run_ns - save_from_ns) * fraction);
    }
    sleep_until(start + delay);
    kill(victim, SIGKILL);
    int status = 0;
    waitpid(victim, &status, 0);
    finished += WIFEXITED(status) ? 1 : 0;
    const bool saving_left = exists(prefix + saving);
    during_save += saving_left ? 1 : 0;

    const std::string after = read_file(prefix + "/registry.reg");
    const bool is_old = after == old_bytes;
    const bool is_new = !is_old && after == new_bytes;
    ASSERT_TRUE(is_old || is_new) << "kill " << i << " at " << delay / 1e6 << " ms left a file of "
                                  << after.size() << " bytes that is neither";
    (is_old ? left_old : left_new) += 1;

    const RunOutcome later = run_program({prefix, {"30"}, "", {}});
    EXPECT_EQ(later.exit_status, 0) << "the run after kill " << i;
    if (is_old) {
      EXPECT_EQ(later.error_stream, "") << "the run after kill " << i;
      EXPECT_TRUE(read_file(prefix + "/registry.reg") == new_bytes)
          << "the run after kill " << i << " saved something else";
    } else {
      // The release is gone already: the later run says so and changes nothing.
      EXPECT_NE(later.error_stream, "") << "the run after kill " << i;
      EXPECT_TRUE(read_file(prefix + "/registry.reg") == new_bytes) << "the run after kill " << i;
    }
    EXPECT_FALSE(exists(prefix + saving)) << "the run after kill " << i << " left its temporary file";
  }
  std::printf("[ note     ] %zu kills: %zu left the old file, %zu the new one; %zu came during the "
              "save, %zu after the run's end\n",
              kills, left_old, left_new, during_save, finished);
  EXPECT_GT(left_old, 0u) << "no kill landed before the save";
}


// Each kill is followed by two restores and a comparison by meaning, which
// reads the whole registry into memory: a smaller file keeps this in minutes.
TEST(CrashSafety, AKilledRunWithAnUndoRecordIsAlwaysRestoredToTheRegistryBefore) {
  const std::size_t megabytes = setting("MORVEX_CRASH_UNDO_REGISTRY_MB", 10);
  const std::size_t kills = setting("MORVEX_CRASH_UNDO_KILLS", 16);
  Sandbox sandbox("crash-undo");
  const std::vector<std::string> releases = {"30", "31"};
  const std::string old_bytes = product_registry(releases, megabytes << 20);
  RegistryView before;
  std::string error;
  ASSERT_TRUE(add_reg_text(old_bytes, before, error)) << error;

  const std::string reference = sandbox.make_prefix("reference");
  write_file(reference + "/registry.reg", old_bytes);
  const RunOutcome undisturbed =
      run_program({reference, {"--undo", reference + ".undo", "30"}, "", {}});
  ASSERT_EQ(undisturbed.error_stream, "");
  ASSERT_NE(read_file(reference + "/registry.reg"), old_bytes);
  const long long run_ns = static_cast<long long>(undisturbed.seconds * 1e9);

  std::size_t without_record = 0, empty_records = 0, restored = 0;
  const std::string prefix = sandbox.folder() + "/killed";
  const std::string record = sandbox.folder() + "/killed.undo";
  for (std::size_t i = 0; i < kills; ++i) {
    std::filesystem::remove_all(prefix);
    std::filesystem::remove(record);
    sandbox.make_prefix("killed");
    write_file(prefix + "/registry.reg", old_bytes);
    const long long start = now_ns();
    const pid_t victim = start_program({prefix, {"--undo", record, "30"}, prefix + ".stderr", {}});
    ASSERT_NE(victim, 0);
    const long long delay = static_cast<long long>(1.2 * run_ns * (i + 0.5) / kills);
    sleep_until(start + delay);
    kill(victim, SIGKILL);
    int status = 0;
    waitpid(victim, &status, 0);

    const RunOutcome restore = run_program({prefix, {"--restore", record}, "", {}});
    EXPECT_EQ(restore.exit_status, 0);
    const std::string after = read_file(prefix + "/registry.reg");
    const bool empty = restore.error_stream.find(": the record is empty: ") != std::string::npos;
    if (empty || restore.error_stream.find(": cannot read the undo record: ") != std::string::npos) {
      // Killed before its record was whole, or before its first change:
      // nothing may have changed.
      (empty ? empty_records : without_record) += 1;
      EXPECT_TRUE(after == old_bytes) << "kill " << i << " at " << delay / 1e6
                                      << " ms: no usable record, yet the registry changed: "
                                      << first_line(restore.error_stream);
      continue;
    }
    restored += 1;
    EXPECT_TRUE(only_lines_about_the_record(restore.error_stream))
        << "kill " << i << ", the restore said: " << restore.error_stream;
    RegistryView meaning;
    ASSERT_TRUE(add_reg_text(after, meaning, error)) << error;
    const std::vector<std::string> differences = compare_registries(before, meaning);
    EXPECT_TRUE(differences.empty()) << "kill " << i << " at " << delay / 1e6 << " ms, then a restore: "
                                     << differences.size() << " differences, the first: "
                                     << (differences.empty() ? "" : differences[0]);
    const RunOutcome again = run_program({prefix, {"--restore", record}, "", {}});
    EXPECT_EQ(again.error_stream, restore.error_stream) << "the second restore after kill " << i;
    EXPECT_TRUE(read_file(prefix + "/registry.reg") == after)
        << "the second restore after kill " << i << " changed the registry";
  }
  std::printf("[ note     ] %zu kills: %zu restored, %zu before the first change, %zu before the "
              "record was made\n",
              kills, restored, empty_records, without_record);
  EXPECT_GT(restored + empty_records, kills / 2);
}

}  // namespace
}  // namespace morvex::hardening
