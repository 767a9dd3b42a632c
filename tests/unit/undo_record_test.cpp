// Reading undo records: what the run found and what it left, per value, in
// the run's order; torn ends and foreign files; where kept files go.
#include <gtest/gtest.h>

#include <filesystem>

#include "reg_test_files.h"
#include "undo/restore.h"
#include "undo/undo_record.h"
#include "registry/reg_file/reg_tree.h"
#include "registry_view.h"

using namespace std::string_literals;

namespace morvex {
namespace {

using reg_test::crlf;
using reg_test::utf16_file;

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n; a record\n;.\n";

std::string show(const std::optional<RegistryValue>& value) {
  if (!value) return "-";
  return std::to_string(value->type) + ":" + value->data;
}

// Every value as "key|name|found|left", every key and file, in the run's order.
std::vector<std::string> steps_of(const UndoRecord& record) {
  std::vector<std::string> out;
  for (const UndoStep& step : record.steps) {
    switch (step.kind) {
      case UndoStep::Kind::key:
        out.push_back("key " + record.keys[step.index].path);
        break;
      case UndoStep::Kind::value: {
        const UndoValue& value = record.values[step.index];
        out.push_back(value.key + "|" + value.name + "|" +
                      (value.found_known ? show(value.found) : "?") + "|" +
                      (value.left_known ? show(value.left) : "?"));
        break;
      }
      case UndoStep::Kind::file:
        out.push_back("file " + record.files[step.index]);
        break;
    }
  }
  return out;
}

struct RecordCase {
  const char* what;
  std::string body;
  std::vector<std::string> steps;
  UndoRecord::Ending ending = UndoRecord::Ending::interrupted;
  std::size_t cut_line = 0;
};

TEST(UndoRecord, ReadsWhatTheRunFoundAndLeftInItsOrder) {
  const RecordCase cases[] = {
      {"a changed value, then changed again: the first state stays, the last left one wins",
       "\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n;>\"v\"=\"2\"\n;.\n"
       "\n[HKEY_CURRENT_USER\\a]\n;>\"V\"=\"3\"\n;.\n",
       {"key A", "A|v|1:1\0|1:3\0"s}},
      {"a value the run made, and one it deleted",
       "\n[HKEY_LOCAL_MACHINE\\S]\n\"new\"=-\n;>\"new\"=dword:00000001\n;.\n"
       "\n[HKEY_LOCAL_MACHINE\\S]\n@=hex(7):61,00,00,00,00,00\n;>@=-\n;.\n",
       {"key S", "S|new|-|4:\x01\0\0\0"s, "S||7:a\0\0"s + "|-"}},
      {"a deleted key: its values, long ones continued on ';>' lines too, and an empty key",
       "\n[HKEY_CURRENT_USER\\K\\Sub]\n;.\n"
       "\n[HKEY_CURRENT_USER\\K]\n\"b\"=hex:01,02,\\\n  03\n;>\"b\"=hex:01,\\\n;>  02\n;.\n",
       {"key K\\Sub", "key K", "K|b|3:\x01\x02\x03|3:\x01\x02"}},
      {"a kept file among the changes",
       "\n;file C:\\Program Files\\M\\x.exe\n;.\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n;>\"v\"=-\n;.\n",
       {"file C:\\Program Files\\M\\x.exe", "key A", "A|v|1:1\0|-"s}},
      {"a run that ended",
       "\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n;>\"v\"=-\n;.\n\n;end of the run\n",
       {"key A", "A|v|1:1\0|-"s}, UndoRecord::Ending::ended},
      {"a change whose record was not finished is ignored: it was never made",
       "\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n;>\"v\"=\"2\"\n;.\n\n[HKEY_CURRENT_USER\\B]\n\"w\"=\"unfini",
       {"key A", "A|v|1:1\0|1:2\0"s}, UndoRecord::Ending::cut, 10},
  };
  for (const RecordCase& c : cases) {
    for (const bool wide : {false, true}) {
      const std::string text = crlf(kHeader + c.body);
      UndoRecord record;
      std::string error;
      ASSERT_TRUE(read_undo_record(wide ? utf16_file(text) : text, record, error))
          << c.what << ": " << error;
      EXPECT_EQ(steps_of(record), c.steps) << c.what << (wide ? " (UTF-16)" : "");
      if (!wide) continue;  // records are UTF-16; only there an end line counts
      EXPECT_EQ(record.ending, c.ending) << c.what;
      EXPECT_EQ(record.cut_line, c.cut_line) << c.what;
    }
  }
}

TEST(UndoRecord, RefusesWhatNoRunWrote) {
  const std::pair<std::string, std::string> cases[] = {
      {"REGEDIT4\n;.\n[HKEY_CURRENT_USER\\A]\n\"v\"=garbage\n;.\n", "4: unknown value type"},
      {kHeader + "[HKEY_CLASSES_ROOT\\A]\n;.\n", "5: a key outside HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE"},
      {"no header at all\n", "1: unknown header (the first line must be \"REGEDIT4\" or \"Windows "
                             "Registry Editor Version 5.00\")"},
  };
  for (const auto& [text, expected] : cases) {
    UndoRecord record;
    std::string error;
    EXPECT_FALSE(read_undo_record(crlf(text), record, error)) << text;
    EXPECT_EQ(error, expected) << text;
  }
}

TEST(UndoRecord, TellsARecordFromAnEmptyOneAndFromOtherFiles) {
  const std::string start = undo_record_start();
  const std::pair<std::string, RecordKind> cases[] = {
      {"", RecordKind::nothing_recorded},
      {start.substr(0, 41), RecordKind::nothing_recorded},
      {start, RecordKind::nothing_recorded},
      {start + utf16_file(crlf("\n;end of the run\n")).substr(2), RecordKind::record},
      {utf16_file(crlf(kHeader)), RecordKind::not_a_record},
      {crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n"), RecordKind::not_a_record},
  };
  for (const auto& [bytes, kind] : cases)
    EXPECT_EQ(undo_record_kind(bytes), kind) << bytes.size() << " bytes";
}

TEST(UndoRecord, KeepsFilesBesideTheRecordByTheirWindowsPath) {
  const std::pair<const char*, const char*> paths[] = {
      {"C:\\Program Files\\Morvex\\bin\\xvxc4.exe", "u.reg.files/C/Program Files/Morvex/bin/xvxc4.exe"},
      {"d:/x//./y\\z.exe", "u.reg.files/D/x/y/z.exe"},
      {"C:\\..\\..\\a\\..\\b.exe", "u.reg.files/C/b.exe"},
  };
  for (const auto& [windows, kept] : paths) EXPECT_EQ(kept_file_path("u.reg", windows), kept);
}


class Restore : public reg_test::PrefixTest {};

// Whatever changed since the run stays, with one line each; the rest comes
// back; a second restore finds nothing to do.
TEST_F(Restore, KeepsWhatChangedSinceAndIsDoneAfterOnce) {
  write_registry(crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"newer\"\n\"w\"=\"2\"\n"));
  const std::string record = prefix_ + "/undo.reg";
  support::write_file(record, undo_record_start() + utf16_file(crlf(
      "\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"1\"\n\"w\"=\"1\"\n;>\"v\"=\"2\"\n;>\"w\"=\"2\"\n;.\n"
      "\n[HKEY_CURRENT_USER\\K\\Gone]\n\"x\"=dword:00000007\n;>\"x\"=-\n;.\n"
      "\n[HKEY_CURRENT_USER\\K\\Empty]\n;.\n"
      "\n;file C:\\bin\\back.exe\n;.\n\n;file C:\\bin\\again.exe\n;.\n"
      "\n;file C:\\bin\\lost.exe\n;.\n\n;end of the run\n")).substr(2));
  std::filesystem::create_directories(record + ".files/C/bin");
  support::write_file(record + ".files/C/bin/back.exe", "old");
  support::write_file(record + ".files/C/bin/again.exe", "old");
  std::filesystem::create_directories(prefix_ + "/drive_c/bin");
  support::write_file(prefix_ + "/drive_c/bin/again.exe", "reinstalled");
  keep_error_lines();
  const std::size_t lines_before = kept_error_lines().size();

  restore_from_undo_record(record);
  end_run();
  const std::vector<std::string> lines(kept_error_lines().begin() + lines_before,
                                       kept_error_lines().end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "morvex-uninstall: error: C:\\bin\\lost.exe: cannot put back the file kept "
                       "in " + record + ".files/C/bin/lost.exe: No such file or directory",
                       "morvex-uninstall: error: C:\\bin\\again.exe is there again; the file the "
                       "uninstall removed stays in " + record + ".files/C/bin/again.exe",
                       "morvex-uninstall: error: HKEY_CURRENT_USER\\K: value \"v\" changed since "
                       "the uninstall; the newer one stays"}));
  support::RegistryView expected, actual;
  std::string error;
  ASSERT_TRUE(support::add_reg_text(crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"newer\"\n\"w\"=\"1\"\n"
                                         "[HKEY_CURRENT_USER\\K\\Gone]\n\"x\"=dword:00000007\n"
                                         "[HKEY_CURRENT_USER\\K\\Empty]\n"),
                                    expected, error));
  const std::string restored = read_registry();
  ASSERT_TRUE(support::add_reg_text(restored, actual, error)) << error;
  EXPECT_EQ(support::compare_registries(expected, actual), std::vector<std::string>{});
  EXPECT_EQ(support::read_file(prefix_ + "/drive_c/bin/back.exe"), "old");
  EXPECT_EQ(support::read_file(prefix_ + "/drive_c/bin/again.exe"), "reinstalled");
  EXPECT_FALSE(support::exists(record + ".files/C/bin/back.exe"));

  const std::size_t lines_between = kept_error_lines().size();
  restore_from_undo_record(record);
  end_run();
  EXPECT_EQ(read_registry(), restored);
  EXPECT_EQ(kept_error_lines().size(), lines_between + 3);  // the same three lines, nothing else
}

}  // namespace
}  // namespace morvex
