// morvex-hive-bench: times a changing run on a Windows disk whose SOFTWARE
// hive is large against a durable copy of that hive (`cp SOFTWARE copy &&
// sync copy`), and reports the run's peak memory against the hive's size.
// Each run starts from the same hives and must remove the release.
//
//   morvex-hive-bench --program PATH [--megabytes 100] [--runs 3] [--work DIR]
//
// Exits 1 when a run went wrong (a timing never fails it), 2 on bad usage.
// The targets: at most twice the copy's time, memory under twice the hive.
#include <hivex.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "hive_files.h"
#include "process.h"
#include "registry_generator.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace morvex::support;

struct Options {
  std::string program;
  std::size_t megabytes = 100;
  int runs = 3;
  std::string work;
};

// About `megabytes` of other software's keys in the hive's 64-bit place:
// a hundred vendors of a few hundred keys, each with a 4 KB value.
bool grow(const std::string& hive_path, std::size_t megabytes) {
  hive_h* hive = hivex_open(hive_path.c_str(), HIVEX_OPEN_WRITE);
  if (hive == nullptr) return false;
  std::string data(4000, 'x');
  std::string name = "Blob";
  // Each key with its value takes about two pages of the hive.
  const std::size_t keys = megabytes * 1024 * 1024 / 8200;
  bool grown = true;
  for (std::size_t vendor = 0; grown && vendor * 250 < keys; ++vendor) {
    const std::string vendor_name = "Vendor" + std::to_string(vendor);
    const hive_node_h parent = hivex_node_add_child(hive, hivex_root(hive), vendor_name.c_str());
    for (std::size_t key = 0; grown && key < 250 && vendor * 250 + key < keys; ++key) {
      const hive_node_h node = hivex_node_add_child(hive, parent, ("Key" + std::to_string(key)).c_str());
      hive_set_value value{name.data(), hive_t_REG_BINARY, data.size(), data.data()};
      grown = node != 0 && hivex_node_set_value(hive, node, &value, 0) == 0;
    }
  }
  grown = grown && hivex_commit(hive, nullptr, 0) == 0;
  hivex_close(hive);
  return grown;
}

bool timed(const Launch& launch, ChildResult& result) {
  std::string error;
  malloc_trim(0);
  if (run_timed(launch, std::nullopt, result, error) && result.status == 0) return true;
  std::fprintf(stderr, "morvex-hive-bench: %s %s failed: %s (status %d)\n", launch.words[0].c_str(),
               launch.words.size() > 1 ? launch.words[1].c_str() : "", error.c_str(), result.status);
  return false;
}

Launch in_folder(const std::string& folder, const std::string& program, std::vector<std::string> words) {
  Launch launch;
  launch.program = program;
  launch.words = std::move(words);
  launch.cwd = folder;
  launch.environment = environment_with({});
  launch.stderr_file = folder + "/stderr";
  return launch;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int bench(const Options& options) {
  const std::string disk = options.work + "/disk", pristine = options.work + "/pristine";
  std::string error;
  const std::string text = product_registry({"30", "31"}, 0);
  if (!lay_windows_disk(pristine, text, "REGEDIT4\r\n", error) || !grow(software_hive(pristine), options.megabytes)) {
    std::fprintf(stderr, "morvex-hive-bench: cannot make the hives: %s\n", error.c_str());
    return 1;
  }
  const auto hive_bytes = fs::file_size(software_hive(pristine));
  std::vector<double> copies, runs;
  long peak_kb = 0;
  for (int i = 0; i < options.runs; ++i) {
    fs::remove_all(disk);
    fs::copy(pristine, disk, fs::copy_options::recursive);
    sync();
    const std::string config = fs::path(software_hive(disk)).parent_path();
    ChildResult copy, flush, run;
    if (!timed(in_folder(config, "/bin/cp", {"cp", "SOFTWARE", "SOFTWARE.copy"}), copy) ||
        !timed(in_folder(config, "/bin/sync", {"sync", "SOFTWARE.copy"}), flush))
      return 1;
    fs::remove(config + "/SOFTWARE.copy");
    sync();
    if (!timed(in_folder(options.work, options.program,
                         {"morvex-uninstall", "--yes", "--windows-disk", disk, "30"}),
               run))
      return 1;
    std::string after, own_64bit;
    if (!read_windows_disk(disk, after, own_64bit, error) ||
        after.find("Morvex C/C++ Compiler\\30]") != std::string::npos) {
      std::fprintf(stderr, "morvex-hive-bench: the run did not remove release 30: %s\n",
                   read_file(options.work + "/stderr").c_str());
      return 1;
    }
    copies.push_back(copy.seconds + flush.seconds);
    runs.push_back(run.seconds);
    peak_kb = std::max(peak_kb, run.usage.peak_kb);
  }
  const double copy_s = median(copies), run_s = median(runs);
  const double hive_mb = static_cast<double>(hive_bytes) / (1024 * 1024);
  std::printf("SOFTWARE hive %.1f MB, median of %d runs\n", hive_mb, options.runs);
  std::printf("  cp + sync of the hive    %8.0f ms\n", copy_s * 1000);
  std::printf("  morvex-uninstall --yes   %8.0f ms  (%.2fx; target at most 2x)\n", run_s * 1000, run_s / copy_s);
  std::printf("  its peak memory          %8.1f MB  (%.2fx the hive; target under 2x)\n", peak_kb / 1024.0,
              peak_kb / 1024.0 / hive_mb);
  std::printf("  targets                  %s\n",
              run_s <= 2 * copy_s && peak_kb / 1024.0 < 2 * hive_mb ? "met" : "missed");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--program") options.program = fs::absolute(value).string();
    else if (name == "--megabytes") options.megabytes = std::strtoul(value.c_str(), nullptr, 10);
    else if (name == "--runs") options.runs = std::max(1, std::atoi(value.c_str()));
    else if (name == "--work") options.work = value;
    else options.program.clear();
  }
  if (options.program.empty() || argc % 2 == 0 || options.megabytes == 0) {
    std::fprintf(stderr, "usage: morvex-hive-bench --program PATH [--megabytes 100] [--runs 3] [--work DIR]\n");
    return 2;
  }
  const bool own_work = options.work.empty();
  if (own_work) options.work = make_temporary_folder("hive-bench");
  fs::create_directories(options.work);
  const int status = bench(options);
  if (own_work) remove_folder(options.work);
  return status;
}
