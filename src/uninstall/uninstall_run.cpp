#include "uninstall/uninstall_run.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

#include "diag/diagnostics.h"
#include "diag/shared_errors.h"
#include "diag/standard_output.h"
#include "files/product_files.h"
#include "inventory/installation.h"
#include "inventory/inventory.h"
#include "ide/ide_keys.h"
#include "ide/ide_restore.h"
#include "registry/change_journal.h"
#include "report/change_listing.h"
#include "report/run_report.h"
#include "report/run_summary.h"
#include "uninstall/follow_on.h"
#include "uninstall/output_paths.h"
#include "uninstall/run_options.h"
#include "registrations/registrations.h"
#include "registry/product_keys.h"
#include "registry/registry.h"
#include "uninstall/confirm.h"
#include "uninstall/release_24_key.h"
#include "uninstall/run_status.h"
#include "uninstall/usage.h"
#include "text/decimal.h"
#include "undo/restore.h"
#include "undo/undo_writer.h"

namespace morvex {
namespace {

struct Generation {
  const IdeKeys& keys;
  const char* ide_generation;
  const char* compiler_not_restored;
  const char* linker_not_restored;
  int release_24_selector;
};

const Generation kGeneration4 = {
    kIdeKeys4,
    "4",
    "4.x Compiler Executable not returned to original correctly",
    "4.x Linker Executable not returned to original correctly",
    424,
};

const Generation kGeneration5 = {
    kIdeKeys5,
    "5",
    "5.0 Compiler Executable not returned to original correctly",
    "5.0 Linker Executable not returned to original correctly",
    524,
};

struct RunState {
  std::string version_key;
  std::int32_t ide_selector = 0;
  bool is_release_24 = false;
  bool gen4_key_removed = false;
  bool gen5_key_removed = false;
  bool generation_files_removed = false;
  ProductDirectory product_directory;
};

void restore_ide(const RunState& run, const Generation& generation) {
  if (!restore_tool_executable("cl.exe", generation.keys.compiler_tool_key))
    report_error("%s", generation.compiler_not_restored);
  if (!restore_tool_executable("link.exe", generation.keys.linker_tool_key))
    report_error("%s", generation.linker_not_restored);
  remove_product_directory("Bin_Directory", "Path Dirs", generation.keys.generation);
  if (run.is_release_24) {
    remove_product_directory("Include_directory", "Include Dirs", generation.release_24_selector);
    remove_product_directory("Binary_directory", "Path Dirs", generation.release_24_selector);
    remove_product_directory("Lib_directory", "Library Dirs", generation.release_24_selector);
  }
  remove_tools_menu_entry(generation.keys.generation);
  reg_prune_key(kSelectCompilerKey);
}

void run_generation_pass(RunState& run, const Generation& generation) {
  if (unregister_release(run.version_key, generation.ide_generation)) {
    (generation.keys.generation == 4 ? run.gen4_key_removed : run.gen5_key_removed) = true;
    restore_ide(run, generation);
  }
  if (run.is_release_24) {
    run.generation_files_removed = true;
    remove_product_files(generation.keys.generation, run.product_directory);
  }
}

void delete_install_key(const std::string& version_key) {
  const std::string path = install_key_path(version_key);
  if (!reg_delete_key(RootKey::current_user, path))
    report_key_not_deleted(path);
}

const char* confirmation_name(Confirmation answer) {
  switch (answer) {
    case Confirmation::yes: return "yes";
    case Confirmation::no: return "no";
    case Confirmation::no_terminal: return "no terminal";
    case Confirmation::box_not_shown: return "box not shown";
  }
  return "";
}

}  // namespace

std::string install_key_path(const std::string& version_key) {
  return std::string(kCxxCompilerKey) + "\\" + version_key;
}

std::int32_t read_ide_selector(const std::string& version_key) {
  const std::string path = install_key_path(version_key);
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, path, key)) {
    report_key_open_failed(path);
    return 0;
  }
  const std::optional<std::string> ide = reg_read_string(key, "IDE");
  reg_close_key(key);
  if (!ide) {
    report_error("default compiler value not found");
    return 0;
  }
  return parse_decimal(*ide);
}

namespace {

// The fixed sequence; false when the user answered No and nothing changed.
bool uninstall_release(RunState& run, RunAccount& account, bool assume_yes) {
  run.ide_selector = read_ide_selector(run.version_key);
  run.is_release_24 = run.version_key.starts_with("24");

  if (run.ide_selector != 4) {
    if (assume_yes && !account.dry_run) {
      account.confirmation = "yes (--yes)";
    } else if (!account.dry_run) {
      const Confirmation answer = confirm_uninstall();
      account.confirmation = confirmation_name(answer);
      if (answer == Confirmation::no) return false;
    }
    // Read before any pass can prune the key that records it.
    if (run.is_release_24) run.product_directory = read_product_directory();
    if (run.ide_selector == 1 || run.ide_selector == 3) run_generation_pass(run, kGeneration4);
    if (run.ide_selector == 2 || run.ide_selector == 3) run_generation_pass(run, kGeneration5);
    if (run.gen4_key_removed && run.gen5_key_removed &&
        !reg_delete_key(RootKey::current_user, kSelectCompilerKey))
      report_key_not_deleted(kSelectCompilerKey);
    if (run.generation_files_removed) remove_product_files(1, run.product_directory);
    if (run.is_release_24) update_release_24_key();
  }
  delete_install_key(run.version_key);
  reg_prune_key(kCxxCompilerKey);
  reg_prune_key(kCompilersKey);
  // The follow-on program may be the installer's next step reading these keys.
  const bool saved = reg_commit();
  account.saved = saved ? RunAccount::Saved::saved : RunAccount::Saved::not_saved;
  // The files go only once the registry no longer counts them.
  finish_product_files(saved);
  return true;
}

}  // namespace

int run_uninstall(const std::vector<std::string>& words) {
  set_program_name(words.empty() ? std::string() : words[0]);
  keep_error_lines();
  RunOptions options;
  // Callers rely on 0 on every path unless they asked otherwise.
  const auto status = [&](RunStatus how) { return options.exit_status ? how : kRunClean; };
  const auto status_so_far = [&] { return status(error_stream_written() ? kRunErrors : kRunClean); };
  // A check that read nothing vouches for nothing: 1, and its report says so
  // unless the refusal is about the report itself.
  const auto check_refused = [&] {
    return outputs_allowed(options) ? check_not_made(options.report_path) : 1;
  };
  if (!read_run_options(words, options)) {
    if (options.check && error_stream_written()) return check_refused();
    return status(error_stream_written() ? kRunUsageError : kRunClean);
  }
  if (!options.list && !options.check && options.restore_path.empty() && options.words.size() < 2) {
    report_error("no release named; usage: %s", kUsageLine);
    return status(kRunUsageError);
  }
  if (!options.windows_disk.empty() && !reg_use_windows_disk(options.windows_disk, options.user))
    return options.check ? 1 : status(kRunUsageError);
  if (!outputs_allowed(options)) return options.check ? 1 : status(kRunUsageError);
  if (!reg_place_exists()) return options.check ? check_not_made(options.report_path) : status_so_far();
  if (options.list) {
    list_installation(options.report_path);
    return status_so_far();
  }
  if (options.check) return check_installation(options.report_path);
  if (!options.restore_path.empty()) {
    if (const auto outcome = restore_from_undo_record(options.restore_path))
      say_at_terminal(restore_summary(options.restore_path, outcome->whole_registry,
                                      change_journal().changes().size(), outcome->files_put_back,
                                      kept_error_lines().size()));
    return status_so_far();
  }

  RunAccount account;
  account.words = words;
  account.version_key = options.words[1];
  account.dry_run = options.dry_run;
  if (options.words.size() > 2) {
    FollowOnAccount& follow_on = account.follow_on;
    follow_on.state = FollowOnAccount::State::not_reached;
    follow_on.program = options.words[2];
    follow_on.arguments.assign(options.words.begin() + 2,
                               options.words.begin() + std::min<std::size_t>(options.words.size(), 4));
  }
  change_journal().set_dry_run(options.dry_run);
  // Made before anything else, so that a record that cannot be made stops
  // the run before its first change.
  UndoWriter undo;
  if (!options.undo_path.empty()) {
    if (!undo.open(options.undo_path)) return status_so_far();
    change_journal().set_before_change([&](const RegistryChange& change) {
      return undo.before_change(change);
    });
    keep_removed_files([&](const std::string& path) { return undo.keep_file(path); });
    change_journal().set_after_save([&] { undo.note_saved(); });
    change_journal().set_before_replace([&](const std::string& stamp) { return undo.note_replacing(stamp); });
  }
  struct ForgetUndo {
    ~ForgetUndo() {
      change_journal().set_before_change(nullptr);
      change_journal().set_after_save(nullptr);
      change_journal().set_before_replace(nullptr);
      keep_removed_files(nullptr);
    }
  } forget_undo;
  // Looked for before any change; a registry that could not be read says
  // nothing of what is installed.
  const bool nothing_to_remove =
      !release_is_installed(account.version_key) && !error_stream_written();
  const auto run_status = [&] {
    if (account.confirmation == "no") return kRunDeclined;
    if (!error_stream_written()) return kRunClean;
    return nothing_to_remove ? kRunNotInstalled : kRunErrors;
  };
  // Standard output takes one report, the last one the run gets to write:
  // before the follow-on program replaces the process, or at the end.
  bool report_sent = false;
  const auto write_report = [&](bool last) {
    account.exit_status = run_status();
    if (options.report_path.empty()) return true;
    if (options.report_path != kStandardOutputName)
      return write_run_report(options.report_path, account);
    if (!last || report_sent) return true;
    report_sent = true;
    return write_standard_output(report_json(account, change_journal(), kept_error_lines()));
  };
  // Written first, so that a report that cannot be written stops the run
  // before anything changes.
  if (!write_report(false)) return status_so_far();

  RunState run;
  run.version_key = account.version_key;
  const bool went_on = uninstall_release(run, account, options.assume_yes);
  undo.finish();
  account.finished = true;
  // Said once: before the follow-on program replaces the process, or at the end.
  // Standard output that holds the report holds nothing else.
  bool summary_said = !went_on || account.dry_run || options.report_path == kStandardOutputName;
  const auto say_summary = [&] {
    if (summary_said) return;
    summary_said = true;
    say_at_terminal(run_summary(account, change_journal(), options.undo_path, kept_error_lines().size()));
  };
  if (went_on && account.follow_on.state != FollowOnAccount::State::not_named)
    hand_over(account, [&] {
      write_report(true);
      say_summary();
    });
  write_report(true);
  say_summary();
  // A report on standard output stands in for the listing.
  if (account.dry_run && !report_sent)
    write_standard_output(change_listing(change_journal(), account));
  // Counts a report or a listing that could not be written at the end too.
  return status(run_status());
}

}  // namespace morvex
