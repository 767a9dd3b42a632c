// The options before the version key, and the dry run's listing of what the
// change journal recorded.
#include <gtest/gtest.h>

#include "diag/diagnostics.h"
#include "registry/change_journal.h"
#include "report/change_listing.h"
#include "uninstall/run_options.h"

namespace morvex {
namespace {

struct OptionsRow {
  std::vector<std::string> words;
  bool runs;
  std::vector<std::string> installer_words;  // what the run goes on with
  std::string report, undo, restore;
  bool dry_run;
  std::string error_start;  // of the one line when it does not run
  bool exit_status = false;  // known even when the line is refused
};

TEST(RunOptions, OnlyWordsBeforeTheVersionKeyAreOptions) {
  const OptionsRow rows[] = {
      // An option after the version key was meant as one, wherever it stands.
      {{"p", "24", "--dry-run"}, false, {}, "", "", "", false, "p: error: --dry-run stands before the version key;"},
      {{"p", "24", "--undo", "F"}, false, {}, "", "", "", false, "p: error: --undo stands before the version key;"},
      {{"p", "24", "setup", "-h"}, false, {}, "", "", "", false, "p: error: -h stands before the version key;"},
      {{"p", "24", "--dry-runs", "-x"}, true, {"p", "24", "--dry-runs", "-x"}, "", "", "", false, ""},
      {{"p", "--dry-run", "24", "setup", "a b"}, true, {"p", "24", "setup", "a b"}, "", "", "", true, ""},
      {{"p", "--report", "r.json", "--undo", "u.reg", "24"}, true, {"p", "24"}, "r.json", "u.reg", "", false, ""},
      {{"p", "--restore", "u.reg"}, true, {"p"}, "", "", "u.reg", false, ""},
      {{"p", "--dry-run"}, true, {"p"}, "", "", "", true, ""},
      {{"p", "--report"}, false, {}, "", "", "", false, "p: error: --report needs a file;"},
      {{"p", "--report", "", "24"}, false, {}, "", "", "", false, "p: error: --report needs a file;"},
      {{"p", "--x", "24"}, false, {}, "", "", "", false, "p: error: unknown option --x;"},
      {{"p", "--restore", "u.reg", "24"}, false, {}, "", "", "", false, "p: error: --restore stands alone;"},
      {{"p", "--dry-run", "--undo", "u", "24"}, false, {}, "", "", "", false,
       "p: error: --dry-run changes nothing to undo;"},
      {{"p", "--yes", "--exit-status", "24", "--list"}, false, {}, "", "", "", false,
       "p: error: --list stands before the version key;", true},
      {{"p", "--yes", "--exit-status", "24", "setup"}, true, {"p", "24", "setup"}, "", "", "", false, "", true},
      {{"p", "--list", "--report", "l.json"}, true, {"p"}, "l.json", "", "", false, ""},
      {{"p", "--list", "24"}, false, {}, "", "", "", false, "p: error: --list stands alone;"},
      {{"p", "--check", "--yes"}, false, {}, "", "", "", false, "p: error: --check stands alone;"},
      {{"p", "--check", "--list", "--exit-status"}, false, {}, "", "", "", false,
       "p: error: --list stands alone;", true},
      {{"p", "--x", "--exit-status", "24"}, false, {}, "", "", "", false, "p: error: unknown option --x;", true},
      {{"p", "--report", "--exit-status", "--x"}, false, {}, "", "", "", false, "p: error: unknown option --x;"},
  };
  set_program_name("p");
  for (const OptionsRow& row : rows) {
    std::string trace;
    for (const std::string& word : row.words) trace += "[" + word + "]";
    testing::internal::CaptureStderr();
    RunOptions options;
    const bool runs = read_run_options(row.words, options);
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(runs, row.runs) << trace;
    EXPECT_EQ(options.exit_status, row.exit_status) << trace;
    if (!row.runs) {
      EXPECT_EQ(error.rfind(row.error_start, 0), 0u) << trace << ": " << error;
      continue;
    }
    EXPECT_EQ(error, "") << trace;
    EXPECT_EQ(options.words, row.installer_words) << trace;
    EXPECT_EQ(options.dry_run, row.dry_run) << trace;
    EXPECT_EQ(options.report_path, row.report) << trace;
    EXPECT_EQ(options.undo_path, row.undo) << trace;
    EXPECT_EQ(options.restore_path, row.restore) << trace;
  }
}

RegistryChange value_set(const std::string& key, std::optional<RegistryValue> before, RegistryValue after) {
  RegistryChange change;
  change.key = key;
  change.before = std::move(before);
  change.after = std::move(after);
  return change;
}

TEST(ChangeListing, ShowsEachValueOnceAsItWasAndAsTheRunLeftIt) {
  ChangeJournal journal;
  const RegistryValue two{"NumTools", kRegDword, std::string("\2\0\0\0", 4)};
  const RegistryValue one{"numtools", kRegDword, std::string("\1\0\0\0", 4)};
  const RegistryValue label{"MenuName#1", kRegSz, std::string("A\0", 2)};
  journal.record(value_set("Tools", two, one));
  journal.record(value_set("Tools", label, {"MenuName#1", kRegSz, std::string("B\0", 2)}));
  journal.record(value_set("Tools", one, {"NumTools", kRegDword, std::string("\0\0\0\0", 4)}));
  // Changed and changed back: no change to show.
  journal.record(value_set("Tools", RegistryValue{"MenuName#1", kRegSz, std::string("B\0", 2)}, label));
  RegistryChange deleted;
  deleted.kind = RegistryChange::Kind::key_deleted;
  deleted.root = RootKey::local_machine;
  deleted.key = "K";
  deleted.values = {{"", kRegSz, std::string("d\0", 2)}};
  journal.record(deleted);
  journal.record_file({"C:\\b\\x.exe", FileOutcome::Action::removed, 0});
  journal.record_file({"C:\\b\\y.exe", FileOutcome::Action::kept, 1});
  journal.record_file({"C:\\b\\z.exe", FileOutcome::Action::kept, std::nullopt});
  RunAccount account;
  account.words = {"morvex-uninstall", "--dry-run", "24", "setup"};
  account.version_key = "24";
  account.follow_on.state = FollowOnAccount::State::would_start;
  account.follow_on.path = "C:\\setup.exe";

  EXPECT_EQ(change_listing(journal, account),
            "Dry run of morvex-uninstall 24: nothing was changed.\n"
            "\n"
            "Registry changes:\n"
            "[HKEY_CURRENT_USER\\Tools]\n"
            "  - \"NumTools\"=dword:00000002\n"
            "  + \"NumTools\"=dword:00000000\n"
            "[-HKEY_LOCAL_MACHINE\\K]\n"
            "  - @=\"d\"\n"
            "\n"
            "Files:\n"
            "  remove C:\\b\\x.exe (no longer counted)\n"
            "  keep   C:\\b\\y.exe (shared count left: 1)\n"
            "  keep   C:\\b\\z.exe (the shared counts could not be read)\n"
            "\n"
            "Follow-on program:\n"
            "  start C:\\setup.exe\n");
}

}  // namespace
}  // namespace morvex
