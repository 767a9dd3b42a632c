// What the Windows programs do where an old Windows answers otherwise than
// NT: Windows 95, 98 and ME implement no MoveFileExA and delete a key with
// all its subkeys. Each row hands the code that system's answers.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "files/rename_fallback.h"
#include "registry/empty_key_deletion.h"

namespace morvex {
namespace {

// Files by name, and the calls made on them, as a Windows of either line.
struct FakeWindows {
  bool has_move_file_ex = true;
  std::map<std::string, std::string> files;
  std::vector<std::string> calls;
  std::uint32_t error = 0;

  bool fail(std::uint32_t code) {
    error = code;
    return false;
  }

  RenameCalls rename_calls() {
    return {
        [this](const std::string& from, const std::string& to, bool replace) {
          calls.push_back("MoveFileExA " + from + " " + to);
          if (!has_move_file_ex) return fail(kCallNotImplemented);
          if (!files.count(from)) return fail(2);
          if (files.count(to) && !replace) return fail(183);
          files[to] = files[from];
          files.erase(from);
          return true;
        },
        [this](const std::string& from, const std::string& to) {
          calls.push_back("MoveFileA " + from + " " + to);
          if (!files.count(from)) return fail(2);
          if (files.count(to)) return fail(183);  // never replaces
          files[to] = files[from];
          files.erase(from);
          return true;
        },
        [this](const std::string& path) {
          calls.push_back("DeleteFileA " + path);
          return files.erase(path) == 1 || fail(2);
        },
        [this](const std::string& path) { return files.count(path) == 1; },
        [this] { return error; },
    };
  }
};

TEST(WindowsFallback, RenamesIntoPlaceOnEveryWindows) {
  struct Row {
    const char* what;
    bool has_move_file_ex;
    bool replace;
    bool target_there;
    bool renamed;
    std::vector<std::string> calls;
  };
  const Row rows[] = {
      {"NT replaces in one call", true, true, true, true, {"MoveFileExA new old"}},
      {"NT moves in one call", true, false, false, true, {"MoveFileExA new old"}},
      {"9x replaces: the old file goes first", false, true, true, true,
       {"MoveFileExA new old", "DeleteFileA old", "MoveFileA new old"}},
      {"9x moves where nothing is", false, false, false, true, {"MoveFileExA new old", "MoveFileA new old"}},
      {"9x never overwrites a file it was not asked to replace", false, false, true, false,
       {"MoveFileExA new old", "MoveFileA new old"}},
  };
  for (const Row& row : rows) {
    FakeWindows windows;
    windows.has_move_file_ex = row.has_move_file_ex;
    windows.files["new"] = "new bytes";
    if (row.target_there) windows.files["old"] = "old bytes";
    EXPECT_EQ(rename_into_place(windows.rename_calls(), "new", "old", row.replace), row.renamed) << row.what;
    EXPECT_EQ(windows.calls, row.calls) << row.what;
    EXPECT_EQ(windows.files["old"], row.renamed ? "new bytes" : "old bytes") << row.what;
  }
}

TEST(WindowsFallback, DeletesOnlyAKeyWithoutSubkeys) {
  struct Row {
    const char* what;
    bool opens;
    std::uint32_t subkeys;
    bool deleted;
  };
  const Row rows[] = {
      {"an empty key", true, 0, true},
      {"a key with a subkey, which 9x would delete with it", true, 1, false},
      {"a key that cannot be opened", false, 0, false},
  };
  for (const Row& row : rows) {
    bool delete_called = false;
    const KeyDeletionCalls calls = {
        [&](std::uint32_t& subkeys) {
          subkeys = row.subkeys;
          return row.opens;
        },
        [&] { return delete_called = true; },
    };
    EXPECT_EQ(delete_key_if_empty(calls), row.deleted) << row.what;
    EXPECT_EQ(delete_called, row.deleted) << row.what;
  }
}

}  // namespace
}  // namespace morvex
