// morvex-bench: times morvex-uninstall on generated registry files against
// the least each kind of run must do, and checks that every timed run did
// what it should. A run that changes the registry must write a durable copy
// of the file: its yardstick is cp of the file into the same folder and an
// fsync of the copy (`cp A B && sync B`). A run that changes nothing, or is
// answered No, must still check every byte: its yardstick is reading the
// file (`cat A > /dev/null`).
//
//   morvex-bench --program PATH [--sizes 1,10,100] [--runs N] [--no-many-keys]
//                [--no-unsorted] [--work DIR] [--keep]
//
// --keep leaves each file's prefix folder in the work folder, for a profiler.
// Exits 1 when a run went wrong (a timing never fails it), 2 on bad usage.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "text/formatted.h"
#include "registry_generator.h"
#include "registry_view.h"

namespace morvex::bench {
namespace {

using namespace morvex::support;

constexpr const char* kUsage =
    "usage: morvex-bench --program PATH [--sizes 1,10,100] [--runs N] [--no-many-keys]\n"
    "                    [--no-unsorted] [--work DIR] [--keep]\n";

// A release that is not installed: the run reads the whole registry and changes nothing.
constexpr const char* kMissingRelease = "99";

struct Options {
  std::string program;
  std::vector<double> sizes_mb = {1, 10, 100};
  int runs = 7;
  bool many_keys = true;
  bool unsorted = true;
  std::string work;
  bool keep = false;
};

struct Case {
  std::string label;
  GenerateOptions file;
  int runs = 0;
};

// The runs of one kind on one file.
struct Samples {
  std::vector<double> seconds;
  std::vector<double> cpu_seconds;
  long peak_kb = 0;

  void add(const ChildResult& result) {
    seconds.push_back(result.seconds);
    cpu_seconds.push_back(result.usage.cpu_seconds);
    peak_kb = std::max(peak_kb, result.usage.peak_kb);
  }
};

enum Kind { kCopySync, kRead, kFull, kNoChange, kAnsweredNo, kKinds };
constexpr const char* kKindNames[kKinds] = {"cp + fsync", "cat", "full uninstall", "no change",
                                            "answered No"};
// What each kind of run is measured against.
constexpr Kind kYardstick[kKinds] = {kCopySync, kRead, kCopySync, kRead, kRead};

struct Measured {
  Samples runs[kKinds];
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? NAN : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string size_label(std::uint64_t bytes) {
  return bytes < 1000000 ? formatted("%llu KB", static_cast<unsigned long long>(bytes / 1000))
                         : formatted("%g MB", static_cast<double>(bytes) / 1e6);
}

// What tells a rewritten file from an untouched one.
struct FileState {
  bool exists = false;
  ino_t inode = 0;
  off_t size = 0;
  long long modified_ns = 0;

  bool operator==(const FileState&) const = default;
};

FileState file_state(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return {};
  return {true, status.st_ino, status.st_size,
          status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec};
}

// A new file each time, so that a run's saved file never shares its inode.
bool copy_file(const std::string& from, const std::string& to, std::string& error) {
  std::error_code failure;
  std::filesystem::remove(to, failure);
  if (std::filesystem::copy_file(from, to, failure)) return true;
  error = "cannot copy " + from + " to " + to + ": " + failure.message();
  return false;
}

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options) {}

  bool measure(const Case& one, Measured& measured) {
    const std::string slug = slug_of(one.label);
    const std::string master = options_.work + "/" + slug + ".reg";
    prefix_ = options_.work + "/" + slug;
    registry_ = prefix_ + "/registry.reg";
    std::filesystem::create_directories(prefix_);
    if (!generate_registry(one.file, master, error_)) return false;
    master_size_ = static_cast<std::uint64_t>(file_state(master).size);
    if (!reset(master)) return false;
    // Round by round, so that a busy moment of the machine hits every kind alike.
    for (int round = 0; round < one.runs; ++round) {
      ChildResult result;
      if (!time_copy_sync(result)) return false;
      measured.runs[kCopySync].add(result);
      if (!time_read(result)) return false;
      measured.runs[kRead].add(result);
      if (!time_still(kMissingRelease, std::nullopt, result)) return false;
      measured.runs[kNoChange].add(result);
      if (!time_still(kInstalledRelease, std::string("n\n"), result)) return false;
      measured.runs[kAnsweredNo].add(result);
      if (!time_full(round == 0, result) || !reset(master)) return false;
      measured.runs[kFull].add(result);
    }
    if (!options_.keep) {
      std::filesystem::remove_all(prefix_);
      std::filesystem::remove(master);
    }
    return true;
  }

  const std::string& error() const { return error_; }

 private:
  static std::string slug_of(const std::string& label) {
    std::string slug;
    for (const char c : label) slug += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    return slug;
  }

  // The installation as generated, with nothing waiting to be written to disk.
  bool reset(const std::string& master) {
    if (!copy_file(master, registry_, error_) || !place_product_files(prefix_, error_))
      return false;
    sync_folder();
    return true;
  }

  void sync_folder() {
    const int fd = open(prefix_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      syncfs(fd);
      close(fd);
    }
  }

  // A run in the prefix folder, with the error stream kept there.
  Launch in_prefix(const std::string& program, const std::vector<std::string>& words,
                   const std::vector<EnvironmentChange>& changes) const {
    Launch launch;
    launch.program = program;
    launch.words = words;
    launch.cwd = prefix_;
    launch.environment = environment_with(changes);
    launch.stderr_file = prefix_ + "/stderr";
    return launch;
  }

  Launch program_run(const std::string& release) const {
    return in_prefix(options_.program, {"morvex-uninstall", release}, {{"MORVEX_PREFIX", prefix_}});
  }

  bool run(const Launch& child, ChildResult& result, const std::optional<std::string>& typed = {}) {
    // A forked run starts with this process's resident pages in its peak:
    // what generating and checking files freed goes back first.
    malloc_trim(0);
    if (!run_timed(child, typed, result, error_)) return false;
    if (result.status == 0) return true;
    error_ = child.words[0] + " " + child.words[1] + " ended with status " +
             std::to_string(result.status);
    return false;
  }

  bool fail(const std::string& what) {
    const std::string errors = read_file(prefix_ + "/stderr");
    error_ = prefix_ + ": " + what + (errors.empty() ? "" : "; its error lines:\n" + errors);
    return false;
  }

  // Of the executables a full uninstall removes.
  std::size_t product_files_present() const {
    std::size_t present = 0;
    for (const char* name : kFilesCountedOnce)
      present += access((prefix_ + "/" + kProductBinFolder + "/" + name).c_str(), F_OK) == 0;
    return present;
  }

  // Two programs, timed as one: the copy, then its flush.
  bool time_copy_sync(ChildResult& result) {
    ChildResult flushed;
    if (!run(in_prefix("cp", {"cp", "registry.reg", "registry.copy"}, {}), result) ||
        !run(in_prefix("sync", {"sync", "registry.copy"}, {}), flushed))
      return false;
    result.seconds += flushed.seconds;
    result.usage.cpu_seconds += flushed.usage.cpu_seconds;
    result.usage.peak_kb = std::max(result.usage.peak_kb, flushed.usage.peak_kb);
    unlink((prefix_ + "/registry.copy").c_str());
    sync_folder();
    return true;
  }

  bool time_read(ChildResult& result) {
    return run(in_prefix("cat", {"cat", "registry.reg"}, {}), result);
  }

  // A run that must leave registry and files exactly as they were.
  bool time_still(const std::string& release, const std::optional<std::string>& typed,
                  ChildResult& result) {
    const FileState before = file_state(registry_);
    if (!run(program_run(release), result, typed)) return false;
    const std::string what = typed ? "the run answered No" : "the run of release " + release;
    if (!(file_state(registry_) == before)) return fail(what + " rewrote registry.reg");
    if (access((prefix_ + "/registry.reg.saving").c_str(), F_OK) == 0)
      return fail(what + " left a temporary file");
    if (product_files_present() != std::size(kFilesCountedOnce))
      return fail(what + " removed product files");
    const std::string errors = read_file(prefix_ + "/stderr");
    if (typed && !errors.empty()) return fail(what + " reported errors");
    if (!typed && errors.empty()) return fail(what + " did not report the missing release");
    return true;
  }

  // The whole uninstall; the first one's result is checked in full.
  bool time_full(bool check_content, ChildResult& result) {
    const FileState before = file_state(registry_);
    if (!run(program_run(kInstalledRelease), result)) return false;
    // Its error lines are the driver's business; what it did to files and keys is checked.
    if (product_files_present() != 0) return fail("the uninstall left product files");
    const FileState after = file_state(registry_);
    if (after == before || after.size >= before.size) return fail("registry.reg was not rewritten");
    if (!check_content) return true;
    const std::string saved = read_file(registry_);
    RegistryView view;
    if (!add_reg_text(saved, view, error_)) return fail("cannot read the saved registry.reg");
    const std::string user = "HKEY_CURRENT_USER\\";
    const std::string compiler = user + "Software\\Microsoft\\Developer\\Build System\\Components"
                                 "\\Platforms\\Win32 (x86)\\Tools\\32-bit C/C++ Compiler for 80x86";
    if (find_key(view, user + install_key(kInstalledRelease)) ||
        find_key(view, user + generation_key(4)) ||
        text_value(view, compiler, "Executable Path") != "cl.exe")
      return fail("the saved registry.reg does not show the uninstall");
    if (saved.size() + 20000 < master_size_)
      return fail("the saved registry.reg lost more than the product");
    return true;
  }

  const Options& options_;
  std::string prefix_;
  std::string registry_;
  std::uint64_t master_size_ = 0;
  std::string error_;
};

std::string milliseconds(double seconds) {
  const double ms = seconds * 1000;
  return formatted(ms < 10 ? "%.2f ms" : "%.1f ms", ms);
}

std::string megabytes(long kb, bool signed_ = false) {
  return formatted(signed_ ? "%+.1f MB" : "%.1f MB", static_cast<double>(kb) / 1024);
}

struct Row {
  Case one;
  Measured measured;
};

double seconds_of(const Row& row, Kind kind) { return median(row.measured.runs[kind].seconds); }

// Each run's ratio is to its yardstick; memory is the program's own, above
// the full run on the 10 KB file.
void print_table(const std::vector<Row>& rows, long baseline_kb) {
  std::printf("%-30s %-15s %10s %12s %10s %9s %13s\n", "registry file", "run", "median",
              "to yardstick", "cpu", "peak", "above 10 KB");
  for (const Row& row : rows) {
    for (int kind = 0; kind < kKinds; ++kind) {
      const Samples& runs = row.measured.runs[kind];
      const double seconds = median(runs.seconds);
      const bool yardstick = kYardstick[kind] == kind;
      const std::string ratio =
          yardstick ? "" : formatted("%.2fx", seconds / seconds_of(row, kYardstick[kind]));
      const std::string above = yardstick ? "" : megabytes(runs.peak_kb - baseline_kb, true);
      std::printf("%-30s %-15s %10s %12s %10s %9s %13s\n", kind == 0 ? row.one.label.c_str() : "",
                  kKindNames[kind], milliseconds(seconds).c_str(), ratio.c_str(),
                  milliseconds(median(runs.cpu_seconds)).c_str(), megabytes(runs.peak_kb).c_str(),
                  above.c_str());
    }
  }
}

// The targets the program is held to, on the rows they name: every 100 MB
// file. True when all of them held.
bool print_targets(const std::vector<Row>& rows, const Row& baseline) {
  std::printf("\ntargets\n");
  bool all_held = true;
  const auto line = [&](const std::string& what, const std::string& measured, bool held) {
    std::printf("  %-62s %-16s %s\n", what.c_str(), measured.c_str(), held ? "held" : "MISSED");
    all_held = all_held && held;
  };
  const double base_full = seconds_of(baseline, kFull);
  line("10 KB file: full run median < 5 ms", milliseconds(base_full), base_full < 0.005);
  bool large = false;
  for (const Row& row : rows) {
    if (row.one.file.size_bytes < 100000000) continue;
    large = true;
    const double full = seconds_of(row, kFull) / seconds_of(row, kCopySync);
    line(row.one.label + ": full run <= 1.5x cp + fsync", formatted("%.2fx", full), full <= 1.5);
    // Many keys or no order cost an index that grows with the keys, not the bytes.
    const double limit = row.one.file.shape == Shape::mixed ? 3 : 6;
    const double still = std::max(seconds_of(row, kNoChange), seconds_of(row, kAnsweredNo)) /
                         seconds_of(row, kRead);
    line(formatted("%s: no change / answered No <= %gx cat", row.one.label.c_str(), limit),
         formatted("%.2fx", still), still <= limit);
    long peak = 0;
    for (const int kind : {kFull, kNoChange, kAnsweredNo})
      peak = std::max(peak, row.measured.runs[kind].peak_kb);
    const long above = peak - baseline.measured.runs[kFull].peak_kb;
    line(row.one.label + ": peak memory <= 40 MB above 10 KB", megabytes(above, true),
         above <= 40 * 1024);
  }
  if (!large) std::printf("  (the targets of 100 MB files need --sizes with 100)\n");
  return all_held;
}

bool parse_sizes(const std::string& text, std::vector<double>& sizes) {
  sizes.clear();
  std::stringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    char* end = nullptr;
    const double size = std::strtod(item.c_str(), &end);
    if (item.empty() || *end != '\0' || !(size > 0) || size > 4000) return false;
    sizes.push_back(size);
  }
  return !sizes.empty();
}

int usage_error() {
  std::fputs(kUsage, stderr);
  return 2;
}

int bench_command(const Options& options) {
  std::vector<Case> cases;
  const auto add = [&](std::uint64_t bytes, FileFormat format, Shape shape, int runs) {
    std::string label = size_label(bytes) + (format == FileFormat::utf16 ? " UTF-16" : " REGEDIT4");
    if (shape == Shape::many_keys) label += ", many keys";
    if (shape == Shape::unsorted) label += ", unsorted";
    cases.push_back({label, {bytes, format, shape, 1}, runs});
  };
  add(10000, FileFormat::regedit4, Shape::mixed, std::max(options.runs, 21));
  for (const double size : options.sizes_mb)
    for (const FileFormat format : {FileFormat::regedit4, FileFormat::utf16})
      add(static_cast<std::uint64_t>(size * 1e6), format, Shape::mixed, options.runs);
  if (options.many_keys)
    add(static_cast<std::uint64_t>(options.sizes_mb.back() * 1e6), FileFormat::regedit4,
        Shape::many_keys, options.runs);
  if (options.unsorted)
    add(static_cast<std::uint64_t>(options.sizes_mb.back() * 1e6), FileFormat::regedit4,
        Shape::unsorted, options.runs);

  std::printf(
      "morvex-uninstall %s: medians of %d runs (the 10 KB file: %d). Yardsticks: cp of\n"
      "the file into the same folder and sync of the copy, for a run that changes the\n"
      "registry; cat of the file, for a run that changes nothing or is answered No.\n"
      "cpu is user and system time; peak memory is the run's ru_maxrss.\n\n",
      options.program.c_str(), options.runs, cases.front().runs);
  std::fflush(stdout);
  Bench bench(options);
  std::vector<Row> rows;
  for (const Case& one : cases) {
    Measured measured;
    if (!bench.measure(one, measured)) {
      std::fprintf(stderr, "morvex-bench: %s: %s\n", one.label.c_str(), bench.error().c_str());
      return 1;
    }
    rows.push_back({one, measured});
  }
  print_table(rows, rows.front().measured.runs[kFull].peak_kb);
  const bool held = print_targets(rows, rows.front());
  std::printf("\n%s\n", held ? "every target held" : "some target MISSED");
  return 0;
}

}  // namespace
}  // namespace morvex::bench

int main(int argc, char** argv) {
  using namespace morvex::bench;
  using namespace morvex::support;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const bool has_value = i + 1 < argc;
    if (word == "--program" && has_value) {
      options.program = argv[++i];
    } else if (word == "--sizes" && has_value) {
      if (!parse_sizes(argv[++i], options.sizes_mb)) return usage_error();
      std::sort(options.sizes_mb.begin(), options.sizes_mb.end());
    } else if (word == "--runs" && has_value) {
      options.runs = std::atoi(argv[++i]);
      if (options.runs < 1 || options.runs > 100) return usage_error();
    } else if (word == "--no-many-keys") {
      options.many_keys = false;
    } else if (word == "--no-unsorted") {
      options.unsorted = false;
    } else if (word == "--work" && has_value) {
      options.work = argv[++i];
    } else if (word == "--keep") {
      options.keep = true;
    } else {
      return usage_error();
    }
  }
  if (options.program.empty()) return usage_error();
  options.program = std::filesystem::absolute(options.program).string();
  const bool own_work = options.work.empty();
  if (own_work) {
    options.work = make_temporary_folder("bench");
    if (options.work.empty()) {
      std::fprintf(stderr, "morvex-bench: cannot make a work folder: %s\n", std::strerror(errno));
      return 1;
    }
  }
  const int status = bench_command(options);
  if (options.keep)
    std::printf("\nkept: %s\n", options.work.c_str());
  else if (own_work)
    std::filesystem::remove_all(options.work);
  return status;
}
