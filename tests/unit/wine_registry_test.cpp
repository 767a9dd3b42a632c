// Wine's own registry files: each form of value Wine writes reads as the
// program would read it through Wine, and anything else refuses the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "reg_test_files.h"
#include "registry/registry.h"
#include "registry/reg_file/reg_scan_records.h"
#include "registry/wine_file/wine_reg_reader.h"
#include "registry/wine_file/wine_registry.h"
#include <filesystem>

namespace morvex {
namespace {

using namespace std::string_literals;

constexpr const char* kHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";

TEST(WineRegReader, EachFormOfValueReadsAsTheProgramSeesIt) {
  const struct {
    const char* row;
    const char* line;  // one value of the key [K]
    std::string name;
    std::uint32_t type;
    std::string data;
  } rows[] = {
      {"plain text", R"("Name"="C:\\MSDEV\\BIN")", "Name", 1, "C:\\MSDEV\\BIN\0"s},
      {"default value", R"(@="x")", "", 1, "x\0"s},
      {"quote and C escapes", R"("a\"b"="t\tn\nq\"")", "a\"b", 1, "t\tn\nq\"\0"s},
      {"hex escape, four digits", R"("e"="caf\x00e9")", "e", 1, "caf\xc3\xa9\0"s},
      {"hex escape, short", R"("e"="\xe9!")", "e", 1, "\xc3\xa9!\0"s},
      {"octal escape", R"("o"="a\001b")", "o", 1, "a\x01" "b\0"s},
      {"UTF-8 as written by hand", "\"u\"=\"caf\xc3\xa9\"", "u", 1, "caf\xc3\xa9\0"s},
      {"str(2)", R"("p"=str(2):"%SystemRoot%\\x")", "p", 2, "%SystemRoot%\\x\0"s},
      {"str(7)", R"("m"=str(7):"a\0b\0")", "m", 7, "a\0b\0\0"s},
      {"dword", R"("n"=dword:0000002a)", "n", 4, "\x2a\0\0\0"s},
      {"hex", R"("b"=hex:01,ff,00)", "b", 3, "\x01\xff\0"s},
      {"empty hex", R"("b"=hex:)", "b", 3, ""},
      {"hex(7) as UTF-16", R"("m"=hex(7):61,00,00,00,00,00)", "m", 7, "a\0\0"s},
      {"hex of a wide type", R"("t"=hex(ffff0007):01,02)", "t", 0xffff0007u, "\x01\x02"s},
      {"hex over three lines", "\"c\"=hex:01,02,\\\n  03,04,\\\n  05", "c", 3, "\x01\x02\x03\x04\x05"s},
  };
  for (const auto& row : rows) {
    winefile::WineFile file;
    winefile::WineReadError error;
    const std::string text = kHeader + "[K] 1796896512\n#time=1dd888c8c77ccae\n"s + row.line + "\n";
    ASSERT_TRUE(winefile::read_wine_file(text, file, error)) << row.row << ": " << error.reason;
    ASSERT_EQ(file.keys.size(), 1u) << row.row;
    ASSERT_EQ(file.keys[0].values.size(), 1u) << row.row;
    const StoredValue& value = file.keys[0].values[0];
    EXPECT_EQ(value.name, row.name) << row.row;
    EXPECT_EQ(value.type, row.type) << row.row;
    EXPECT_EQ(value.data, row.data) << row.row;
  }
}

TEST(WineRegReader, KeysAndTheirMetadataLines) {
  winefile::WineFile file;
  winefile::WineReadError error;
  const std::string text = kHeader +
                           "[Software\\\\Classes\\\\a\\]b] 1796896512\n#time=1dd888c8c77ccae\n"
                           "#class=\"Shell\"\n@=\"\"\n\n"
                           "[Software\\\\Link] 1796896504\n#time=1\n#link\n"
                           "\"SymbolicLinkValue\"=hex(6):5c,00\n"s;
  ASSERT_TRUE(winefile::read_wine_file(text, file, error)) << error.reason;
  EXPECT_EQ(file.relative_to, "\\\\Machine");
  EXPECT_EQ(file.arch, "win32");
  ASSERT_EQ(file.keys.size(), 2u);
  EXPECT_EQ(file.keys[0].path, "Software\\Classes\\a]b");
  EXPECT_EQ(file.keys[1].path, "Software\\Link");
  EXPECT_EQ(file.keys[1].values[0].type, 6u);
}

TEST(WineRegReader, WhatWineDoesNotWriteRefusesTheFile) {
  const struct {
    const char* row;
    std::string text;
    std::size_t line;
  } rows[] = {
      {"no header", "REGEDIT4\n", 1},
      {"empty file", "", 0},
      {"cut inside a line", kHeader + "[K] 1\n\"a\"=dwo"s, 0},
      {"cut inside hex data", kHeader + "[K] 1\n\"a\"=hex:01,\\\n"s, 7},
      {"value before any key", kHeader + "\"a\"=\"b\"\n"s, 6},
      {"unknown option in a key", kHeader + "[K] 1\n#colour=red\n"s, 7},
      {"unknown option before the keys", "WINE REGISTRY Version 2\n#flavour=x\n", 2},
      {"unclosed key", kHeader + "[K\n"s, 6},
      {"key time not a number", kHeader + "[K] soon\n"s, 6},
      {"unclosed text", kHeader + "[K] 1\n\"a\"=\"b\n"s, 7},
      {"text then more", kHeader + "[K] 1\n\"a\"=\"b\" x\n"s, 7},
      {"unknown form", kHeader + "[K] 1\n\"a\"=qword:1\n"s, 7},
      {"bad hex byte", kHeader + "[K] 1\n\"a\"=hex:1g\n"s, 7},
      {"dword too long", kHeader + "[K] 1\n\"a\"=dword:123456789\n"s, 7},
      {"a stray line", kHeader + "[K] 1\nvalue\n"s, 7},
  };
  for (const auto& row : rows) {
    winefile::WineFile file;
    winefile::WineReadError error;
    EXPECT_FALSE(winefile::read_wine_file(row.text, file, error)) << row.row;
    EXPECT_EQ(error.line, row.line) << row.row << ": " << error.reason;
    EXPECT_FALSE(error.reason.empty()) << row.row;
  }
}

class WinePrefix : public reg_test::PrefixTest {
 protected:
  void write(const char* name, const std::string& text) const {
    support::write_file(prefix_ + "/" + name, text);
  }
};

TEST_F(WinePrefix, TheProgramSees32BitViewAndLeavesTheFilesAsTheyAre) {
  const std::string user =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
      "#arch=win64\n\n[Software\\\\Morvex\\\\Tools\\\\IDE\\\\5] 1796896512\n#time=1\n"
      "\"Compiler_List\"=\"24;30\"\n";
  const std::string system =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\SharedDlls] 1796896512\n#time=1\n"
      "\"C:\\\\bin\\\\x.exe\"=dword:00000007\n\n"
      "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\SharedDlls] 1\n"
      "#time=1\n\"C:\\\\bin\\\\x.exe\"=dword:00000002\n";
  write("user.reg", user);
  write("system.reg", system);

  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "software\\MORVEX\\tools\\ide\\5", key));
  EXPECT_EQ(reg_read_string(key, "compiler_list"), "24;30");
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "Software\\Morvex\\Tools", key));
  std::vector<std::string> names;
  ASSERT_TRUE(reg_list_subkeys(key, names));
  EXPECT_EQ(names, std::vector<std::string>{"IDE"});
  ASSERT_TRUE(reg_open_key(RootKey::local_machine,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls", key));
  std::int32_t count = 0;
  EXPECT_TRUE(reg_read_dword(key, "C:\\bin\\x.exe", count));
  EXPECT_EQ(count, 2) << "the 64-bit view's count was read";
  key.close();
  EXPECT_TRUE(reg_commit());
  end_run();
  EXPECT_EQ(support::read_file(prefix_ + "/user.reg"), user);
  EXPECT_EQ(support::read_file(prefix_ + "/system.reg"), system);
  EXPECT_FALSE(std::filesystem::exists(file())) << "no registry.reg is made beside them";
}

TEST_F(WinePrefix, AFileItCannotReadIsNamedByItsLineAndNothingOfItIsUsed) {
  write("user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Morvex] 1\n\"a\"=hex:01,\\\n");
  testing::internal::CaptureStderr();
  RegistryKey key;
  EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software\\Morvex", key));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "morvex-uninstall: error: " + prefix_ +
                "/user.reg:4: hex data cut short at the end of the file; nothing of the file is "
                "used\n");
}

TEST_F(WinePrefix, AnythingButAFileInItsPlaceIsRefusedWithoutWaiting) {
  const struct {
    const char* row;
    void (*make)(const std::string& path);
  } rows[] = {
      {"FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0600); }},
      {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }},
  };
  write("system.reg", "WINE REGISTRY Version 2\n");
  for (const auto& row : rows) {
    std::filesystem::remove_all(prefix_ + "/user.reg");
    row.make(prefix_ + "/user.reg");
    testing::internal::CaptureStderr();
    RegistryKey key;
    EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software", key)) << row.row;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvex-uninstall: error: " + prefix_ + "/user.reg: cannot read: not a regular file\n")
        << row.row;
    end_run();
  }
}

// A changed key gets Wine's two time lines for this moment.
constexpr std::uint64_t kChangedAt = 134413736001234567;
constexpr const char* kChangedTime = "1796900000\n#time=1dd8894ab496687\n";
constexpr std::size_t kUser = regfile::kRootCurrentUser;
constexpr std::size_t kMachine = regfile::kRootLocalMachine;

// Lines that no change may touch: Wine's own spellings, a comment, a class.
constexpr const char* kUntouched =
    "\n[Other\\Key] 1700000000\n#time=1d00000000000\n#class=\"Shell\"\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n;; a comment\n\"Bytes\"=hex:01,02,\\\n  03\n";

TEST_F(WinePrefix, AChangeRewritesOnlyItsOwnLinesAsWineWritesThem) {
  using Change = bool (*)(winefile::WineRegistry&);
  const struct {
    const char* row;
    const char* arch;
    std::size_t root;
    std::string before;
    Change change;
    std::string after;
  } rows[] = {
      {"a value set anew: its line and the key's time",
       "win64",
       kUser,
       "\n[A\\\\B] 1600000000\n#time=1cf0000000000\n\"N\"=dword:00000002\n\"S\"=\"x\"\n" + std::string(kUntouched),
       [](winefile::WineRegistry& r) { return r.set_value(r.find_key(kUser, "a\\b"), "n", 4, "\x01\0\0\0"s); },
       "\n[A\\\\B] " + std::string(kChangedTime) + "\"N\"=dword:00000001\n\"S\"=\"x\"\n" + kUntouched},
      {"a value deleted takes every line that named it",
       "win64",
       kUser,
       "\n[A] 1600000000\n#time=1\n\"N\"=\"old\"\n\"K\"=\"k\"\n\"n\"=\"new\"\n" + std::string(kUntouched),
       [](winefile::WineRegistry& r) { return r.delete_value(r.find_key(kUser, "A"), "N"); },
       "\n[A] " + std::string(kChangedTime) + "\"K\"=\"k\"\n" + kUntouched},
      {"a key deleted takes its metadata; its parent, now empty, gets lines of its own",
       "win64",
       kUser,
       "\n[P\\\\Gone] 1600000000\n#time=1\n#class=\"c\"\n#link\n@=\"v\"\n" + std::string(kUntouched),
       [](winefile::WineRegistry& r) { return r.delete_key(kUser, "P\\Gone"); },
       std::string(kUntouched) + "\n[P] " + kChangedTime},
      {"new values: Wine's escapes, texts without their zero and long bytes as hex",
       "win64",
       kUser,
       "\n[A] 1600000000\n\"K\"=\"k\"\n" + std::string(kUntouched),
       [](winefile::WineRegistry& r) {
         const std::uint32_t key = r.find_key(kUser, "A");
         return r.set_value(key, "Caf\xc3\xa9 \"q\"", 1, "tab\tnul\0" "1\\\0"s) &&
                r.set_value(key, "", 2, "%P%"s) && r.set_value(key, "M", 7, "a\0b\0\0"s) &&
                r.set_value(key, "T", 1, "\xc3\xa9" "a"s) && r.set_value(key, "B", 3, std::string(30, '\xab'));
       },
       "\n[A] " + std::string(kChangedTime) + "\"K\"=\"k\"\n"
       "\"Caf\\xe9 \\\"q\\\"\"=\"tab\\tnul\\0001\\\\\"\n@=hex(2):25,00,50,00,25,00\n"
       "\"M\"=str(7):\"a\\0b\\0\"\n\"T\"=hex(1):e9,00,61,00\n"
       "\"B\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
       "  ab,ab,ab,ab,ab,ab,ab\n" + kUntouched},
      {"a key made in the 32-bit view of a 64-bit prefix, at the end of system.reg",
       "win64",
       kMachine,
       std::string(kUntouched),
       [](winefile::WineRegistry& r) {
         return r.create_key(kMachine, "Software\\Morvex\\2.4") &&
                r.set_value(r.find_key(kMachine, "software\\morvex\\2.4"), "V", 4, "\x10\0\0\0"s);
       },
       std::string(kUntouched) + "\n[Software\\\\Wow6432Node\\\\Morvex\\\\2.4] " + kChangedTime +
           "\"V\"=dword:00000010\n"},
      {"a 32-bit prefix has no Wow6432Node: the key is Software's own",
       "win32",
       kMachine,
       std::string(kUntouched),
       [](winefile::WineRegistry& r) { return r.create_key(kMachine, "Software\\Morvex"); },
       std::string(kUntouched) + "\n[Software\\\\Morvex] " + kChangedTime},
  };
  for (const auto& row : rows) {
    const std::string arch = std::string("\n#arch=") + row.arch + "\n";
    const std::string user_head = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S\n" + arch;
    const std::string machine_head = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n" + arch;
    const std::string head = row.root == kUser ? user_head : machine_head;
    const std::string other = (row.root == kUser ? machine_head : user_head) + kUntouched;
    write(row.root == kUser ? "user.reg" : "system.reg", head + row.before);
    write(row.root == kUser ? "system.reg" : "user.reg", other);
    {
      winefile::WineRegistry registry(prefix_);
      registry.set_clock([] { return kChangedAt; });
      ASSERT_TRUE(row.change(registry)) << row.row;
      ASSERT_TRUE(registry.commit([](const std::string&) { return true; })) << row.row;
    }
    EXPECT_EQ(support::read_file(prefix_ + (row.root == kUser ? "/user.reg" : "/system.reg")), head + row.after)
        << row.row;
    EXPECT_EQ(support::read_file(prefix_ + (row.root == kUser ? "/system.reg" : "/user.reg")), other)
        << row.row << ": the other file";
    winefile::WineFile reread;
    winefile::WineReadError error;
    EXPECT_TRUE(winefile::read_wine_file(head + row.after, reread, error)) << row.row << ": " << error.reason;
  }
}

}  // namespace
}  // namespace morvex
