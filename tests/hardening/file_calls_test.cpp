// The file-system calls of --undo and --restore on the example installation,
// read with strace: their order (what is flushed before what depends on it,
// which only a power cut would otherwise show), and a kill before each of
// them, after which each registry file is its old or its new self and two
// restores give back the installation. Each runs with the record beside the
// prefix and on another file system (/dev/shm), and on registry.reg and on a
// Wine prefix's two files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "program_run.h"
#include "hive_files.h"
#include "wine_files.h"

namespace morvex::hardening {
namespace {

namespace fs = std::filesystem;

// Every call that reads, writes, flushes, names or locks a file.
const char* const kFileCalls =
    "openat,open,creat,write,pwrite64,writev,fsync,fdatasync,ftruncate,fchmod,utimensat,close,"
    "rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,rmdir,symlink,link,flock";

struct Call {
  std::string name;
  std::vector<std::string> paths;  // the files it names, fds and *at folders resolved
  bool succeeded = false;
  std::size_t invocation = 0;      // of this call's name, counted as strace counts
};

std::string unquoted(const std::string& text, std::size_t& at) {
  std::string out;
  for (++at; at < text.size() && text[at] != '"'; ++at) {
    if (text[at] == '\\' && at + 1 < text.size()) ++at;
    out += text[at];
  }
  ++at;
  return out;
}

// One line of `strace -y`: NAME(ARGS) = RESULT.
bool parse_call(const std::string& line, Call& call) {
  const std::size_t open = line.find('(');
  const std::size_t equals = line.rfind(" = ");
  const std::size_t result = equals == std::string::npos ? equals : line.rfind(')', equals);
  if (open == std::string::npos || result == std::string::npos || result < open) return false;
  std::size_t start = line.find(' ');
  start = start == std::string::npos || start > open ? 0 : start + 1;
  call.name = line.substr(start, open - start);
  call.succeeded = line.compare(equals + 3, 2, "-1") != 0;
  const std::string args = line.substr(open + 1, result - open - 1);
  std::string folder;  // the last fd's path, which an *at call's name is relative to
  const bool at_call = call.name.ends_with("at") || call.name == "renameat2";
  for (std::size_t at = 0; at < args.size();) {
    if (args[at] == '"') {
      std::string name = unquoted(args, at);
      // A Wine prefix names drive_c through its link, which -y shows resolved.
      if (const std::size_t link = name.find("/dosdevices/c:/"); link != std::string::npos)
        name.replace(link, 15, "/drive_c/");
      if (args.compare(at, 3, "...") == 0) at += 3;  // a write's data, cut short
      if (call.name.starts_with("write") || call.name == "pwrite64") continue;
      call.paths.push_back(at_call && !name.starts_with("/") ? folder + "/" + name : name);
      folder.clear();
    } else if (args[at] == '<') {
      const std::size_t end = args.find(">", at);
      folder = args.substr(at + 1, end - at - 1);
      if (!at_call) call.paths.push_back(folder);
      at = end + 1;
    } else {
      ++at;
    }
  }
  if (at_call && !folder.empty()) call.paths.push_back(folder);  // an fd alone: utimensat
  return true;
}

std::vector<Call> read_trace(const std::string& log) {
  std::vector<Call> calls;
  std::map<std::string, std::size_t> counts;
  std::istringstream lines(read_file(log));
  for (std::string line; std::getline(lines, line);) {
    Call call;
    if (!parse_call(line, call)) continue;
    call.invocation = ++counts[call.name];
    calls.push_back(std::move(call));
  }
  return calls;
}

std::string folder_of(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool names_under(const Call& call, const std::vector<std::string>& tops) {
  for (const std::string& path : call.paths)
    for (const std::string& top : tops)
      if (path.starts_with(top)) return true;
  return false;
}

// What the calls did out of order, one line each: a renamed file written and
// not flushed, a renamed or made entry whose folder is not flushed before the
// next change, a change made while the record holds a piece not flushed.
std::vector<std::string> order_faults(const std::vector<Call>& calls, const std::string& record) {
  std::vector<std::string> faults;
  std::set<std::string> unflushed;              // files written since their last flush
  std::map<std::string, std::string> pending;   // folder -> the entry waiting for its flush
  const auto change_made = [&](const Call& call) {
    for (const auto& [folder, entry] : pending)
      faults.push_back(entry + ": folder not flushed before " + call.name + " " + call.paths[0]);
    pending.clear();
    if (unflushed.count(record))
      faults.push_back("the record not flushed before " + call.name + " " + call.paths[0]);
  };
  for (const Call& call : calls) {
    if (!call.succeeded || call.paths.empty()) continue;
    const std::string& path = call.paths[0];
    if (call.name.starts_with("write") || call.name == "pwrite64") {
      unflushed.insert(path);
    } else if (call.name == "fsync" || call.name == "fdatasync") {
      unflushed.erase(path);
      pending.erase(path);
    } else if (call.name.starts_with("rename") && call.paths.size() == 2) {
      change_made(call);
      if (unflushed.count(path)) faults.push_back(path + ": renamed before it was flushed");
      pending[folder_of(call.paths[1])] = "rename to " + call.paths[1];
    } else if (call.name.starts_with("unlink")) {
      change_made(call);
    } else if (call.name.starts_with("mkdir")) {
      pending[folder_of(path)] = "mkdir " + path;
    }
  }
  for (const auto& [folder, entry] : pending) faults.push_back(entry + ": folder never flushed");
  return faults;
}

std::string strace_path() { return find_on_path("strace"); }

bool other_file_system(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

// drive_c as it is: every entry with its kind, permission bits, modification
// time and bytes; a hive of a Windows disk only by its bytes, which a
// restore writes anew.
std::map<std::string, std::string> drive_snapshot(const std::string& prefix) {
  std::map<std::string, std::string> entries;
  const std::string drive = prefix + "/drive_c";
  for (const auto& entry : fs::recursive_directory_iterator(drive)) {
    struct stat status {};
    lstat(entry.path().c_str(), &status);
    std::string what = std::to_string(status.st_mode) + " ";
    const std::string name = entry.path().filename().string();
    if (name == "SOFTWARE" || name == "NTUSER.DAT")
      what = read_file(entry.path());
    else if (S_ISREG(status.st_mode))
      what += std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) +
              " " + read_file(entry.path());
    entries[entry.path().string().substr(drive.size())] = what;
  }
  return entries;
}

// The installation's registry in each store: registry.reg, Wine's files, or
// the hives of a Windows disk, which is the prefix's drive_c.
enum class Kind { reg_file, wine_files, hives };
struct Store {
  const char* what;
  Kind kind;
  std::vector<std::string> files;
};
const Store kStores[] = {
    {"registry.reg", Kind::reg_file, {"registry.reg"}},
    {"Wine's files", Kind::wine_files, {"user.reg", "system.reg"}},
    {"hives", Kind::hives, {"drive_c/Windows/System32/config/SOFTWARE", "drive_c/Users/tester/NTUSER.DAT"}}};

// The program's words for the store: a Windows disk is named before them.
std::vector<std::string> words_for(const Store& store, const std::string& prefix, std::vector<std::string> words) {
  if (store.kind == Kind::hives) words.insert(words.begin(), {"--windows-disk", prefix + "/drive_c"});
  return words;
}

// The files' bytes, but for the times a save gives the keys it changes,
// which differ from run to run.
std::vector<std::string> store_bytes(const std::string& prefix, const Store& store) {
  static const std::regex kKeyTimes("\\] [0-9]+\n#time=[0-9a-f]+\n");
  std::vector<std::string> bytes;
  for (const std::string& file : store.files)
    bytes.push_back(std::regex_replace(read_file(prefix + "/" + file), kKeyTimes, "]\n"));
  return bytes;
}

bool read_store(const std::string& prefix, const Store& store, RegistryView& view, std::string& error) {
  const std::vector<std::string> bytes = store_bytes(prefix, store);
  std::string text, own_64bit;
  switch (store.kind) {
    case Kind::reg_file: return add_reg_text(bytes[0], view, error);
    case Kind::wine_files: return add_wine_files({bytes[0], bytes[1]}, view, error);
    case Kind::hives:
      return read_windows_disk(prefix + "/drive_c", text, own_64bit, error) && add_reg_text(text, view, error);
  }
  return false;
}

struct Placement {
  const char* what;
  std::string records;  // the folder the record goes in
};

class FileCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (strace_path().empty()) GTEST_SKIP() << "strace is not installed";
    std::string pattern = "/dev/shm/morvex-calls-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) shm_ = pattern;
    if (shm_.empty() || !other_file_system(shm_, sandbox_.folder()))
      GTEST_SKIP() << "/dev/shm is not another file system here";
    placements_ = {{"beside the prefix", sandbox_.folder()}, {"on another file system", shm_}};
  }
  void TearDown() override {
    if (!shm_.empty()) remove_folder(shm_);
  }

  // A fresh copy of the example installation, in the store's files, the
  // record's place emptied.
  std::string fresh_prefix(const std::string& record, const Store& store = kStores[0]) {
    const std::string prefix = sandbox_.folder() + "/prefix";
    fs::remove_all(prefix);
    fs::remove_all(record + ".files");
    fs::remove(record);
    fs::copy(MORVEX_EXAMPLE_PREFIX, prefix, fs::copy_options::recursive);
    fs::create_directories(prefix + "/home");
    std::string error;
    if (store.kind == Kind::wine_files) {
      WineFiles files;
      EXPECT_TRUE(wine_files_of(read_file(prefix + "/registry.reg"), files, error)) << error;
      EXPECT_TRUE(lay_wine_prefix(prefix, files));
    } else if (store.kind == Kind::hives) {
      EXPECT_TRUE(lay_windows_disk(prefix + "/drive_c", read_file(prefix + "/registry.reg"), "REGEDIT4\r\n", error))
          << error;
    }
    if (store.kind != Kind::reg_file) fs::remove(prefix + "/registry.reg");
    return prefix;
  }

  std::vector<Call> traced(const std::string& prefix, const std::vector<std::string>& words) {
    const std::string log = sandbox_.folder() + "/trace.log";
    const RunOutcome run = run_program({prefix, words, "", {}}, 60,
                                       {strace_path(), "-qq", "-y", "-e", std::string("trace=") + kFileCalls, "-o", log});
    EXPECT_EQ(run.exit_status, 0) << first_line(run.error_stream);
    return read_trace(log);
  }

  Sandbox sandbox_{"calls"};
  std::string shm_;
  std::vector<Placement> placements_;
};

TEST_F(FileCalls, EachFlushComesBeforeWhatDependsOnIt) {
  for (const Store& store : kStores) {
    for (const Placement& placement : placements_) {
      const std::string record = placement.records + "/undo.reg";
      const std::string prefix = fresh_prefix(record, store);
      const std::string where = std::string(store.what) + ", record " + placement.what;
      const std::vector<Call> undo = traced(prefix, words_for(store, prefix, {"--undo", record, "24"}));
      std::size_t moves = 0;
      for (const Call& call : undo)
        moves += call.succeeded && (call.name.starts_with("unlink") || call.name.starts_with("rename")) &&
                         call.paths[0].find("/drive_c/") != std::string::npos
                     ? 1 : 0;
      EXPECT_GT(moves, 0u) << where << ": the trace shows no file leaving drive_c";
      for (const std::string& fault : order_faults(undo, record))
        ADD_FAILURE() << "--undo, " << where << ": " << fault;
      for (const std::string& fault :
           order_faults(traced(prefix, words_for(store, prefix, {"--restore", record})), record))
        ADD_FAILURE() << "--restore, " << where << ": " << fault;
    }
  }
}

TEST_F(FileCalls, AKillBeforeAnyCallIsUndoneByTwoRestores) {
  const RegistryView before = [] {
    RegistryView view;
    std::string error;
    add_reg_text(read_file(std::string(MORVEX_EXAMPLE_PREFIX) + "/registry.reg"), view, error);
    return view;
  }();
  std::size_t points = 0;
  for (const Store& store : kStores) {
    for (const Placement& placement : placements_) {
      const std::string record = placement.records + "/undo.reg";
      for (const bool killing_restore : {false, true}) {
        std::string prefix = fresh_prefix(record, store);
        const std::vector<std::string> undo = words_for(store, prefix, {"--undo", record, "24"});
        const std::vector<std::string> restore = words_for(store, prefix, {"--restore", record});
        if (killing_restore) run_program({prefix, undo, "", {}});
        const std::vector<std::string> old_bytes = store_bytes(prefix, store);
        const std::vector<Call> calls = traced(prefix, killing_restore ? restore : undo);
        const std::vector<std::string> new_bytes = store_bytes(prefix, store);
        std::set<std::string> kinds;
        std::size_t here = 0;
        for (const Call& call : calls) {
          if (!names_under(call, {prefix, record})) continue;
          kinds.insert(call.name);
          ++here;
          const std::string what = std::string(store.what) + ", " +
                                   (killing_restore ? "--restore" : "--undo") + ", record " +
                                   placement.what + ", killed before " + call.name + " #" +
                                   std::to_string(call.invocation) + " (" + call.paths[0] + ")";
          prefix = fresh_prefix(record, store);
          const auto snapshot = drive_snapshot(prefix);
          const std::vector<std::string> original = store_bytes(prefix, store);
          if (killing_restore) run_program({prefix, undo, "", {}});
          const RunOutcome killed = run_program(
              {prefix, killing_restore ? restore : undo, "", {}}, 60,
              {strace_path(), "-qq", "-o", "/dev/null", "-e", "trace=" + call.name,
               "--inject=" + call.name + ":signal=SIGKILL:when=" + std::to_string(call.invocation)});
          ++points;
          EXPECT_NE(killed.exit_status, 0) << what << ": the run was not killed";
          const std::vector<std::string> left = store_bytes(prefix, store);
          for (std::size_t i = 0; i < left.size(); ++i)
            EXPECT_TRUE(left[i] == old_bytes[i] || left[i] == new_bytes[i])
                << what << ": " << store.files[i] << " is neither the old file nor the new one";
          run_program({prefix, restore, "", {}});
          const RunOutcome last = run_program({prefix, restore, "", {}});
          // A record a kill left without a change says nothing either way.
          const bool no_record = last.error_stream.find(": the record is empty: ") != std::string::npos ||
                                 last.error_stream.find(": cannot read the undo record: No such") !=
                                     std::string::npos;
          EXPECT_TRUE(last.error_stream.empty() ||
                      (!killing_restore && (no_record || only_lines_about_the_record(last.error_stream))))
              << what << ", the last restore said: " << last.error_stream;
          RegistryView after;
          std::string error;
          ASSERT_TRUE(read_store(prefix, store, after, error)) << what << ": " << error;
          const std::vector<std::string> differences = compare_registries(before, after);
          EXPECT_TRUE(differences.empty()) << what << ": " << differences.size()
                                           << " registry differences, the first: " << differences[0];
          EXPECT_TRUE(drive_snapshot(prefix) == snapshot) << what << ": drive_c is not as before";
          // Wine's files and the hives are noted before they are replaced, so
          // they come back byte for byte whenever the kill fell; registry.reg
          // is noted once it is in place, and a kill just before that note
          // gives it back change by change.
          if (killing_restore || store.kind != Kind::reg_file) {
            EXPECT_TRUE(store_bytes(prefix, store) == original) << what << ": not given back byte for byte";
          }
          EXPECT_FALSE(exists(record + ".files")) << what << ": the kept files' folder stays";
        }
        std::string names;
        for (const std::string& kind : kinds) names += " " + kind;
        std::printf("[ note     ] %s, %s, record %s: killed before each of %zu calls:%s\n", store.what,
                    killing_restore ? "--restore" : "--undo", placement.what, here, names.c_str());
      }
    }
  }
  std::printf("[ note     ] %zu kill points in all\n", points);
}

}  // namespace
}  // namespace morvex::hardening
