// The registry operations over registry.reg: what they read and change,
// the exact bytes saved, and that nothing is lost on bad input, failed
// saves or concurrent runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "reg_test_files.h"
#include "registry/reg_file/reg_tree.h"
#include "registry/registry.h"

namespace morvex {
namespace {

using namespace std::string_literals;
using reg_test::crlf;
using reg_test::utf16_file;

const char* const kMorvex = "Software\\Morvex";
const char* const kCompilers = "Software\\Morvex\\Compilers";
const char* const kShared = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

const std::string kSample = crlf(R"(REGEDIT4

; exported by hand
[HKEY_CURRENT_USER\Software\Morvex]

[HKEY_CURRENT_USER\Software\Morvex\Compilers]
"Compiler_List"="24;30"   ; releases
"Compiler"="24"
"Weird"  =  dword:1

[HKEY_CURRENT_USER\Software\Morvex\Compilers\24]
"Languages"=dword:00000001
"Big"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDlls]
"C:\\Morvex\\bin\\mcl.exe"=dword:00000002

)");

// `count` sections of about 100 bytes, three lines each.
std::string filler_sections(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i)
    text += "[HKEY_CURRENT_USER\\Pad\\" + std::to_string(i) + "]\r\n\"v\"=\"" + std::string(70, 'x') + "\"\r\n\r\n";
  return text;
}

class RegistryFile : public reg_test::PrefixTest {
 protected:
  // The sample's changes that every encoding must save the same way.
  void change_sample() {
    RegistryKey key;
    ASSERT_TRUE(reg_open_key(RootKey::current_user, kCompilers, key));
    EXPECT_TRUE(reg_write_string(key, "Compiler_list", "30"));
    EXPECT_TRUE(reg_delete_value(key, "WEIRD"));
    EXPECT_TRUE(reg_write_string(key, "New", "a\"b\\c"));
    RegistryKey release;
    ASSERT_TRUE(reg_open_key(RootKey::current_user, "software\\morvex\\compilers\\24", release));
    EXPECT_TRUE(reg_write_dword(release, "languages", 1));  // unchanged
    RegistryKey shared;
    ASSERT_TRUE(reg_open_key(RootKey::local_machine, kShared, shared));
    EXPECT_TRUE(reg_write_dword(shared, "C:\\MORVEX\\bin\\mcl.exe", -2));
    reg_commit();
  }

  const std::string changed_sample_ = crlf(R"(REGEDIT4

; exported by hand
[HKEY_CURRENT_USER\Software\Morvex]

[HKEY_CURRENT_USER\Software\Morvex\Compilers]
"Compiler_List"="30"
"Compiler"="24"
"New"="a\"b\\c"

[HKEY_CURRENT_USER\Software\Morvex\Compilers\24]
"Languages"=dword:00000001
"Big"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDlls]
"C:\\Morvex\\bin\\mcl.exe"=dword:fffffffe

)");

  std::string saved_after_change(const std::string& before) {
    write_registry(before);
    change_sample();
    end_run();
    return read_registry();
  }

  struct stat status() const {
    struct stat st {};
    stat(file().c_str(), &st);
    return st;
  }

  // Dates the file in the past, so that any rewrite shows.
  void age_registry() const {
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, file().c_str(), times, 0);
  }

  bool temporary_file_left() const { return access((prefix_ + "/registry.reg.saving").c_str(), F_OK) == 0; }
};

TEST_F(RegistryFile, ChangesRewriteOnlyTheirLinesInEachEncoding) {
  EXPECT_EQ(saved_after_change(kSample), changed_sample_);
  // A Version 5 file keeps its encoding, byte-order mark and line ends.
  const auto v5 = [](std::string text) {
    return text.replace(0, 8, "Windows Registry Editor Version 5.00");
  };
  EXPECT_EQ(saved_after_change(utf16_file(v5(kSample))),
            utf16_file(v5(changed_sample_)));
  std::string lf_sample = v5(kSample);
  std::erase(lf_sample, '\r');
  std::string lf_changed = v5(changed_sample_);
  std::erase(lf_changed, '\r');
  EXPECT_EQ(saved_after_change("\xEF\xBB\xBF" + lf_sample),
            "\xEF\xBB\xBF" + lf_changed);
}

TEST_F(RegistryFile, ReadsWithinTheLimitAndAsTheWindowsCallsDo) {
  const std::string text1023(1023, 'x');
  std::string big = "07";
  for (int i = 1; i < 1025; ++i) big += ",00";
  write_registry(crlf("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"1023\"=\"" + text1023 +
                      "\"\n\"1024\"=\"" + text1023 + "y\"\n"
                      "\"short\"=hex:01\n\"text\"=\"12345\"\n\"raw\"=hex:41,42\n"
                      "\"dw\"=dword:00000041\n\"big\"=hex(4):" + big + "\n"));
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "K", key));
  EXPECT_EQ(reg_read_string(key, "1023"), text1023);
  EXPECT_EQ(reg_read_string(key, "1024"), std::nullopt);
  std::int32_t number = 5;
  const struct {
    const char* name;
    bool found;
    std::int32_t number;
  } dwords[] = {{"1024", false, 0},  {"missing", false, 0}, {"big", false, 0},
                {"short", true, 1},  {"text", true, 0x34333231},
                {"dw", true, 0x41},  {"raw", true, 0x4241}};
  for (const auto& row : dwords) {
    number = 5;
    EXPECT_EQ(reg_read_dword(key, row.name, number), row.found) << row.name;
    EXPECT_EQ(number, row.number) << row.name;
  }
  EXPECT_EQ(reg_read_string(key, "missing"), std::nullopt);
  EXPECT_EQ(reg_read_string(key, "dw"), "A");
  EXPECT_EQ(reg_read_string(key, "raw"), "AB");
}

TEST_F(RegistryFile, Version5TextsCountTheirUtf8Size) {
  // 1023 characters of UTF-16 data are 2048 bytes, yet 1024 as the program reads them.
  std::string ascii = "hex(1):";
  for (int i = 0; i < 1023; ++i) ascii += "41,00,";
  write_registry(utf16_file(crlf("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n"
                                 "\"at limit\"=" + ascii + "00,00\n\"over\"=" + ascii +
                                 "41,00,00,00\n")));
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "K", key));
  EXPECT_EQ(reg_read_string(key, "at limit"), std::string(1023, 'A'));
  EXPECT_EQ(reg_read_string(key, "over"), std::nullopt);
}

TEST_F(RegistryFile, ChangingNothingWritesNothing) {
  write_registry(kSample);
  age_registry();
  const struct stat before = status();
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, kCompilers, key));
  EXPECT_TRUE(reg_write_string(key, "compiler", "24"));
  EXPECT_TRUE(reg_write_dword(key, "Weird", 7));
  EXPECT_TRUE(reg_write_dword(key, "Weird", 1));  // back as it was
  EXPECT_TRUE(reg_write_string(key, "Passing", "x"));
  EXPECT_TRUE(reg_delete_value(key, "Passing"));
  EXPECT_FALSE(reg_delete_value(key, "Passing"));
  reg_commit();
  reg_commit();
  end_run();
  EXPECT_EQ(read_registry(), kSample);
  EXPECT_EQ(status().st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(status().st_ino, before.st_ino);
}

TEST_F(RegistryFile, SavesInOneReplaceKeepingThePermissions) {
  write_registry(kSample);
  chmod(file().c_str(), 0640);
  // A killed run's leftover must not matter.
  std::ofstream(prefix_ + "/registry.reg.saving") << "garbage";
  const ino_t old_inode = status().st_ino;
  change_sample();
  EXPECT_NE(status().st_ino, old_inode);
  EXPECT_EQ(status().st_mode & 07777, 0640u);
  EXPECT_FALSE(temporary_file_left());
  EXPECT_EQ(read_registry(), changed_sample_);
}

TEST_F(RegistryFile, SavesThroughALinkKeepingIt) {
  const std::string real = prefix_ + "/elsewhere/real.reg";
  std::filesystem::create_directory(prefix_ + "/elsewhere");
  std::ofstream(real, std::ios::binary) << kSample;
  std::filesystem::create_symlink("elsewhere/real.reg", file());
  change_sample();
  EXPECT_TRUE(std::filesystem::is_symlink(file()));
  EXPECT_EQ(read_registry(), changed_sample_);
  EXPECT_FALSE(std::filesystem::exists(prefix_ + "/elsewhere/registry.reg.saving"));
}

TEST_F(RegistryFile, KeepsWorkingAfterACommit) {
  write_registry(kSample);
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, kCompilers, key));
  EXPECT_TRUE(reg_write_string(key, "First", "1"));
  reg_commit();
  EXPECT_EQ(reg_read_string(key, "first"), "1");
  EXPECT_TRUE(reg_write_string(key, "Second", "2"));
  reg_commit();
  reg_commit();
  end_run();
  const std::string saved = read_registry();
  EXPECT_NE(saved.find("\"Weird\"  =  dword:1\r\n\"First\"=\"1\"\r\n\"Second\"=\"2\"\r\n"),
            std::string::npos)
      << saved;
}

TEST_F(RegistryFile, AHandleToADeletedKeyFails) {
  write_registry(kSample);
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "Software\\Morvex\\Compilers\\24", key));
  EXPECT_FALSE(reg_delete_key(RootKey::current_user, kCompilers));  // it has a subkey
  EXPECT_TRUE(reg_delete_key(RootKey::current_user, "Software\\Morvex\\Compilers\\24"));
  std::int32_t number = 9;
  EXPECT_FALSE(reg_read_dword(key, "Languages", number));
  EXPECT_EQ(number, 0);
  EXPECT_FALSE(reg_write_dword(key, "Languages", 2));
  EXPECT_FALSE(reg_delete_value(key, "Big"));
  EXPECT_FALSE(reg_delete_key(RootKey::current_user, "Software\\Morvex\\Compilers\\24"));
  RegistryKey again;
  EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software\\Morvex\\Compilers\\24", again));
  RegistryKey compilers;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, kCompilers, compilers));
  EXPECT_FALSE(reg_has_subkeys(compilers));
  reg_commit();
  EXPECT_FALSE(reg_read_dword(key, "Languages", number));  // also after a save
  end_run();
  std::string expected = kSample;
  const std::size_t section = expected.find("[HKEY_CURRENT_USER\\Software\\Morvex\\Compilers\\24]");
  expected.erase(section, expected.find("[HKEY_LOCAL_MACHINE") - section);
  EXPECT_EQ(read_registry(), expected);
}

TEST_F(RegistryFile, PrunesOnlyKeysWithoutSubkeys) {
  write_registry(kSample);
  testing::internal::CaptureStderr();
  reg_prune_key(kMorvex);                                  // has a subkey: stays
  reg_prune_key("Software\\Morvex\\Compilers\\24");        // values only: goes
  reg_prune_key("Software\\Morvex\\Missing");              // nothing, quietly
  reg_prune_key(kCompilers);                               // now without subkeys: goes
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  RegistryKey key;
  EXPECT_TRUE(reg_open_key(RootKey::current_user, kMorvex, key));
  EXPECT_FALSE(reg_has_subkeys(key));
  EXPECT_FALSE(reg_open_key(RootKey::current_user, kCompilers, key));
}

// A key that existed only through the sections below it must survive their
// deletion: its parent gets a section of its own where the deleted one was.
TEST_F(RegistryFile, KeysImpliedByDeletedSectionsStay) {
  const std::string before = crlf(R"(REGEDIT4

[HKEY_CURRENT_USER\A\B\C]
"v"="1"

[HKEY_CURRENT_USER\X]
"w"="2"

)");
  const struct {
    const char* row;
    std::vector<const char*> deleted;
    std::string after;
  } cases[] = {
      {"one key", {"A\\B\\C"}, "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\B]\n\n[HKEY_CURRENT_USER\\X]\n"},
      {"then its parent", {"A\\B\\C", "A\\B"},
       "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\n[HKEY_CURRENT_USER\\X]\n"},
      {"up to the root", {"A\\B\\C", "A\\B", "A"}, "REGEDIT4\n\n[HKEY_CURRENT_USER\\X]\n"},
  };
  for (const auto& c : cases) {
    write_registry(before);
    for (const char* path : c.deleted) EXPECT_TRUE(reg_delete_key(RootKey::current_user, path)) << c.row;
    reg_commit();
    end_run();
    EXPECT_EQ(read_registry(), crlf(c.after + "\"w\"=\"2\"\n\n")) << c.row;
  }
  RegistryKey key;
  EXPECT_TRUE(reg_open_key(RootKey::current_user, "X", key));
  EXPECT_FALSE(reg_open_key(RootKey::current_user, "A", key));
}

// Comment lines directly above a section belong to it: they stay when the
// key before goes, and go with their own key.
// No comment a user wrote above a key's line is lost, whichever key goes:
// only the comments between a deleted key's line and its last value go.
TEST_F(RegistryFile, CommentsGoOnlyFromInsideADeletedSection) {
  const std::string before = crlf(R"(REGEDIT4

; about A
[HKEY_CURRENT_USER\A]
"v"="1"
; within A

; under A, apart from B

; about B
  ; more about B
;
[HKEY_CURRENT_USER\B]
"w"="2"
; inside B
"x"="3"

; last
)");
  const std::string about_b = "; about B\n  ; more about B\n;\n";
  const struct {
    const char* row;
    const char* deleted;
    std::string after;
  } cases[] = {
      {"the key before", "A",
       "REGEDIT4\n\n; about A\n; within A\n\n; under A, apart from B\n\n" + about_b +
           "[HKEY_CURRENT_USER\\B]\n\"w\"=\"2\"\n; inside B\n\"x\"=\"3\"\n\n; last\n"},
      {"the key after", "B",
       "REGEDIT4\n\n; about A\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n; within A\n\n; under A, apart from B\n\n" +
           about_b + "; last\n"},
  };
  for (const auto& c : cases) {
    write_registry(before);
    EXPECT_TRUE(reg_delete_key(RootKey::current_user, c.deleted)) << c.row;
    reg_commit();
    end_run();
    EXPECT_EQ(read_registry(), crlf(c.after)) << c.row;
  }
}

// A DOS end-of-file byte stays the file's last byte, whatever is changed.
TEST_F(RegistryFile, KeepsADosEndOfFileByteLast) {
  const std::string before = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"1\"\r\n\r\n"
                             "[HKEY_CURRENT_USER\\B\\C]\r\n\"w\"=\"2\"\r\n\x1A";
  const struct {
    const char* row;
    void (*change)();
    std::string after;
  } cases[] = {
      {"nothing", [] {}, before},
      {"a value added to the last key",
       [] {
         RegistryKey key;
         ASSERT_TRUE(reg_open_key(RootKey::current_user, "B\\C", key));
         EXPECT_TRUE(reg_write_dword(key, "n", 1));
       },
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"1\"\r\n\r\n"
       "[HKEY_CURRENT_USER\\B\\C]\r\n\"w\"=\"2\"\r\n\"n\"=dword:00000001\r\n\x1A"},
      {"the last key deleted, its parent kept",
       [] { EXPECT_TRUE(reg_delete_key(RootKey::current_user, "B\\C")); },
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"1\"\r\n\r\n[HKEY_CURRENT_USER\\B]\r\n\r\n\x1A"},
  };
  // Also after 5 MB of other sections, where the byte is the second half's.
  for (const std::string& filler : {std::string(), filler_sections(50000)}) {
    const auto filled = [&](std::string text) { return text.insert(12, filler); };
    for (const auto& c : cases) {
      write_registry(filled(before));
      c.change();
      reg_commit();
      end_run();
      EXPECT_EQ(read_registry(), filled(c.after)) << c.row << ", " << filler.size() << " bytes of filler";
    }
  }
}

TEST_F(RegistryFile, AnImpliedKeyGetsASectionBeforeItsSubkeys) {
  write_registry(crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\Z]\n\n[HKEY_CURRENT_USER\\A\\B\\C]\n\"v\"=\"1\"\n"));
  RegistryKey a;
  RegistryKey b;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "a", a));
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "A\\b", b));
  EXPECT_TRUE(reg_has_subkeys(a));
  EXPECT_TRUE(reg_write_dword(b, "n", 3));
  EXPECT_TRUE(reg_write_string(a, "t", "x"));
  reg_commit();
  end_run();
  EXPECT_EQ(read_registry(), crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\Z]\n\n"
                                  "[HKEY_CURRENT_USER\\A]\n\"t\"=\"x\"\n\n"
                                  "[HKEY_CURRENT_USER\\A\\B]\n\"n\"=dword:00000003\n\n"
                                  "[HKEY_CURRENT_USER\\A\\B\\C]\n\"v\"=\"1\"\n"));
}

// A run finds keys a subtree (two components below a root) at a time; what
// it does above the subtrees must see every subtree, also those that it has
// not looked into, and the sections named before the one it looked into.
TEST_F(RegistryFile, KeysAboveTheSubtreesSeeThemAll) {
  const std::string before = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\A\\X]\n\"v\"=\"1\"\n\n"
                             "[HKEY_CURRENT_USER\\Software\\B]\n\"w\"=\"2\"\n";
  const auto open = [](const char* path) {
    RegistryKey key;
    EXPECT_TRUE(reg_open_key(RootKey::current_user, path, key)) << path;
    return key;
  };
  const struct {
    const char* row;
    std::function<void()> run;
    std::string after;
  } cases[] = {
      {"the last subkey of one subtree goes",
       [&] {
         open("Software\\A\\X");
         EXPECT_TRUE(reg_delete_key(RootKey::current_user, "Software\\A\\X"));
         EXPECT_TRUE(reg_delete_key(RootKey::current_user, "Software\\A"));
       },
       "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\B]\n\"w\"=\"2\"\n"},
      {"then the key above is pruned",
       [&] {
         EXPECT_TRUE(reg_delete_key(RootKey::current_user, "Software\\A\\X"));
         EXPECT_TRUE(reg_delete_key(RootKey::current_user, "Software\\A"));
         reg_prune_key("Software");  // B is below it
         EXPECT_TRUE(reg_has_subkeys(open("Software")));
       },
       "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\B]\n\"w\"=\"2\"\n"},
      {"a value for the key above, after the later subtree",
       [&] {
         open("Software\\B");
         EXPECT_TRUE(reg_write_string(open("Software"), "s", "3"));
       },
       "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"s\"=\"3\"\n\n" + before.substr(10)},
      {"a key made beside them", [] { EXPECT_TRUE(reg_create_key(RootKey::current_user, "Software\\C")); },
       before + "[HKEY_CURRENT_USER\\Software\\C]\n\n"},
  };
  for (const auto& c : cases) {
    write_registry(crlf(before));
    c.run();
    reg_commit();
    end_run();
    EXPECT_EQ(read_registry(), crlf(c.after)) << c.row;
  }
}

// Only a restore makes keys: each made key gets its own section at the end,
// parents first, and every byte before stays as it was, in each encoding.
TEST_F(RegistryFile, MadeKeysGetSectionsAtTheEndAndTheRestStays) {
  const std::string before = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Morvex]\n\"a\"=\"1\"\n";
  const std::string made = "[HKEY_CURRENT_USER\\Software\\Morvex\\New]\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Morvex\\New\\Deep]\n\"v\"=dword:00000002\n\n";
  const auto v5 = [](std::string text) { return text.replace(0, 8, "Windows Registry Editor Version 5.00"); };
  const std::pair<std::string, std::string> files[] = {
      {crlf(before), crlf(before + made)},
      {utf16_file(crlf(v5(before))), utf16_file(crlf(v5(before + made)))},
  };
  for (const auto& [old_bytes, new_bytes] : files) {
    write_registry(old_bytes);
    EXPECT_TRUE(reg_create_key(RootKey::current_user, "Software\\morvex"));  // there already
    EXPECT_TRUE(reg_create_key(RootKey::current_user, "Software\\Morvex\\New\\Deep"));
    RegistryKey deep;
    ASSERT_TRUE(reg_open_key(RootKey::current_user, "software\\morvex\\new\\deep", deep));
    EXPECT_TRUE(reg_write_dword(deep, "v", 2));
    RegistryKey parent;
    ASSERT_TRUE(reg_open_key(RootKey::current_user, "Software\\Morvex\\New", parent));
    EXPECT_TRUE(reg_has_subkeys(parent));
    EXPECT_FALSE(reg_create_key(RootKey::current_user, "Software\\\\Empty"));
    reg_commit();
    end_run();
    EXPECT_EQ(read_registry(), new_bytes);
    RegistryKey again;
    EXPECT_TRUE(reg_open_key(RootKey::current_user, "Software\\Morvex\\New\\Deep", again));
    end_run();
  }
}

TEST_F(RegistryFile, MergesSeveralSectionsOfOneKey) {
  // Also far apart, where a subtree's sections are read a window at a time:
  // other subtrees between them, or a value larger than a window.
  const std::string big_value = "\"big\"=\"" + std::string(3 << 19, 'x') + "\"\r\n\r\n";
  const struct {
    const char* row;
    std::string key;
    std::string between;  // after each section but the last
  } variants[] = {
      {"a key below the root", "K", ""},
      {"a subtree's key", "Software\\K", ""},
      {"a subtree's key, 1.2 MB apart", "Software\\K", filler_sections(12000)},
      {"a subtree's key holding 1.5 MB", "Software\\K", big_value},
  };
  for (const auto& v : variants) {
    std::string other_spelling = v.key;
    other_spelling.back() = 'k';
    const auto file = [&](const std::string& first, const std::string& last) {
      const std::string root = "[HKEY_CURRENT_USER\\";
      return "REGEDIT4\r\n\r\n" + root + v.key + "]\r\n" + first + "\r\n" + v.between + root +
             v.key + "\\Sub]\r\n\r\n" + v.between + root + other_spelling + "]\r\n" + last + "\r\n";
    };
    write_registry(file("\"a\"=\"1\"\r\n\"b\"=\"1\"\r\n", "\"A\"=\"2\"\r\n\"c\"=\"2\"\r\n"));
    RegistryKey key;
    ASSERT_TRUE(reg_open_key(RootKey::current_user, v.key, key)) << v.row;
    EXPECT_EQ(reg_read_string(key, "a"), "2") << v.row;
    EXPECT_TRUE(reg_write_string(key, "b", "3"));
    EXPECT_TRUE(reg_delete_value(key, "a"));
    EXPECT_TRUE(reg_write_string(key, "d", "4"));
    reg_commit();
    end_run();
    EXPECT_EQ(read_registry(), file("\"b\"=\"3\"\r\n", "\"c\"=\"2\"\r\n\"d\"=\"4\"\r\n")) << v.row;
  }
}

TEST_F(RegistryFile, WritesWhatQuotesCannotHoldAsHex) {
  write_registry("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"last\"=\"no line end\"");
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "K", key));
  EXPECT_TRUE(reg_write_string(key, "Lines", "one\r\ntwo"));
  EXPECT_FALSE(reg_write_string(key, "bad\nname", "x"));
  reg_commit();
  end_run();
  EXPECT_EQ(read_registry(), "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"last\"=\"no line end\"\n"
                             "\"Lines\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\n");
  ASSERT_TRUE(reg_open_key(RootKey::current_user, "K", key));
  EXPECT_EQ(reg_read_string(key, "lines"), "one\r\ntwo");
}

TEST_F(RegistryFile, HandlesNamesOfAnyLength) {
  const std::string long_name(5000, 'k');
  const std::string long_value(3000, 'v');
  write_registry(crlf("REGEDIT4\n[HKEY_CURRENT_USER\\" + long_name + "\\" + long_name + "]\n"));
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, long_name + "\\" + long_name, key));
  EXPECT_TRUE(reg_write_string(key, long_value, "x"));
  reg_commit();
  end_run();
  ASSERT_TRUE(reg_open_key(RootKey::current_user, long_name + "\\" + long_name, key));
  EXPECT_EQ(reg_read_string(key, long_value), "x");
  EXPECT_FALSE(reg_open_key(RootKey::current_user, long_name + "x", key));
}

TEST_F(RegistryFile, AMissingFileIsAnEmptyRegistryNeverWritten) {
  RegistryKey key;
  EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software", key));
  EXPECT_FALSE(reg_open_key(RootKey::current_user, "", key));
  EXPECT_FALSE(reg_delete_key(RootKey::current_user, "Software"));
  reg_commit();
  EXPECT_NE(access(file().c_str(), F_OK), 0);
  end_run();
  setenv("MORVEX_PREFIX", (prefix_ + "/none").c_str(), 1);
  EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software", key));
  reg_commit();
  EXPECT_NE(access((prefix_ + "/none").c_str(), F_OK), 0);
}

// A file the store cannot fully understand is reported once, used for
// nothing and never written.
TEST_F(RegistryFile, AMalformedFileIsReportedOnceAndLeftAlone) {
  // Files of 5 MB, checked in two halves at once: a fault in the second half,
  // and a value that goes on into the section line where the second half
  // would begin (the middle of the file falls in the long section before it).
  constexpr std::size_t kHalf = 25000;
  const std::string large = "REGEDIT4\r\n\r\n" + filler_sections(2 * kHalf);
  const std::string lines_of_large = std::to_string(2 + 3 * 2 * kHalf);
  std::string long_section = "[HKEY_CURRENT_USER\\Long]\r\n";
  for (int i = 0; i < 400; ++i) long_section += "\"v" + std::to_string(i) + "\"=\"" + std::string(70, 'y') + "\"\r\n";
  const std::string split_continued = "REGEDIT4\r\n\r\n" + filler_sections(kHalf) + long_section +
                                      "\"h\"=hex:00,\\\r\n\r\n[HKEY_CURRENT_USER\\After]\r\n\r\n" +
                                      filler_sections(kHalf);
  const std::string line_of_after = std::to_string(2 + 3 * kHalf + 401 + 3);
  const struct {
    const char* row;
    std::string bytes;
    std::string error;
  } cases[] = {
      {"unterminated string", kSample + crlf("[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\n"),
       ":20: unterminated string\n"},
      {"NUL byte", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software]\r\n\"a\"=\"\0\"\r\n"s,
       ":3: NUL character in the file\n"},
      {"truncated UTF-16", utf16_file("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software]\r\n") + "x",
       ":3: truncated UTF-16 text (odd number of bytes)\n"},
      // Moving such a text to another value could not write it back.
      {"Latin-1 byte in a Version 5 file",
       "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software]\r\n\"a\"=\"Caf\xE9\"\r\n",
       ":3: not UTF-8 (a \"Version 5.00\" file in 8-bit text must be UTF-8)\n"},
      {"fault in the second half of a large file", large + "[HKEY_CURRENT_USER\\X]\r\n\"a\"=\"b\r\n",
       ":" + std::to_string(std::stoul(lines_of_large) + 2) + ": unterminated string\n"},
      {"value going on into the middle section line", split_continued, ":" + line_of_after + ": bad hex byte\n"},
  };
  for (const auto& c : cases) {
    write_registry(c.bytes);
    age_registry();
    testing::internal::CaptureStderr();
    RegistryKey key;
    EXPECT_FALSE(reg_open_key(RootKey::current_user, "Software", key)) << c.row;
    EXPECT_FALSE(reg_delete_key(RootKey::current_user, "Software\\Morvex\\Compilers\\24")) << c.row;
    reg_prune_key("Software");
    reg_commit();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvex-uninstall: error: " + file() + c.error)
        << c.row;
    end_run();
    EXPECT_EQ(read_registry(), c.bytes) << c.row;
    EXPECT_EQ(status().st_mtim.tv_sec, 1000000000) << c.row;
  }
}

// Run in a child process, which exits with 0 when every check holds.
template <class Body>
int in_child(Body body) {
  const pid_t child = fork();
  if (child == 0) {
    reg_end_run();  // the parent's lock stays the parent's
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(RegistryFile, AFailedSaveLeavesTheOldFile) {
  write_registry(kSample);
  const int child = in_child([&] {
    const int error_file = open((prefix_ + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(error_file, 2);
    const rlimit small = {200, 200};  // the disk is full after 200 bytes
    setrlimit(RLIMIT_FSIZE, &small);
    RegistryKey key;
    if (!reg_open_key(RootKey::current_user, kCompilers, key)) return false;
    reg_write_string(key, "Compiler", "30");
    reg_commit();
    return true;
  });
  EXPECT_EQ(child, 0);
  std::ifstream in(prefix_ + "/stderr");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "morvex-uninstall: error: " + file() + ": cannot save: File too large");
  EXPECT_EQ(read_registry(), kSample);
  EXPECT_FALSE(temporary_file_left());
}

TEST_F(RegistryFile, ASecondRunWaitsForTheFirst) {
  write_registry(kSample);
  RegistryKey key;
  ASSERT_TRUE(reg_open_key(RootKey::current_user, kCompilers, key));  // holds the lock
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    reg_end_run();
    RegistryKey second;
    const bool opened = reg_open_key(RootKey::current_user, kCompilers, second);
    const bool waited = std::chrono::steady_clock::now() - started > std::chrono::milliseconds(150);
    const bool sees_change = reg_read_string(second, "Compiler") == "30";
    reg_write_string(second, "Second", "run");
    reg_commit();
    _exit(opened && waited && sees_change ? 0 : 1);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(reg_write_string(key, "Compiler", "30"));
  reg_commit();
  end_run();  // as the process would at its end
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::vector<RegTreeKey> keys;
  std::string error;
  ASSERT_TRUE(read_reg_tree(read_registry(), keys, error)) << error;
  for (const RegTreeKey& tree_key : keys)
    if (tree_key.path == "HKEY_CURRENT_USER\\Software\\Morvex\\Compilers") {
      ASSERT_EQ(tree_key.values.size(), 4u);
      EXPECT_EQ(tree_key.values[1].data, "30\0"s);
      EXPECT_EQ(tree_key.values[3].data, "run\0"s);
    }
}

}  // namespace
}  // namespace morvex
