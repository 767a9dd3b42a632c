// A Windows disk's SOFTWARE hive made of any bytes (a disk image comes from
// anywhere): opening it, walking its keys and reading their values must end
// without a fault, and must never change the file. A header that would be
// refused is mended first, so that most inputs reach libhivex itself.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "diag/diagnostics.h"
#include "registry/hive_file/hive_header.h"
#include "registry/hive_file/hive_registry.h"
#include "registry/reg_file/reg_scan_records.h"

namespace {

using morvex::hivefile::HiveRegistry;

std::string& disk_folder() {
  static std::string folder;
  if (folder.empty()) {
    char pattern[] = "/tmp/morvex-hive-fuzz-XXXXXX";
    folder = mkdtemp(pattern);
    std::filesystem::create_directories(folder + "/Windows/System32/config");
    std::atexit([] { std::filesystem::remove_all(disk_folder()); });
  }
  return folder;
}

void mend_header(std::string& bytes) {
  if (bytes.size() < morvex::hivefile::kHeaderSize || !bytes.starts_with("regf")) return;
  for (int i = 0; i < 4; ++i) bytes[8 + i] = bytes[4 + i];
  const std::uint32_t sum = morvex::hivefile::header_checksum(bytes);
  for (int i = 0; i < 4; ++i) bytes[0x1fc + i] = static_cast<char>(sum >> (8 * i));
}

// Every key below `key`, a bounded number of them, with their values.
void walk(HiveRegistry& hives, std::uint32_t key, const std::string& path, int depth, int& budget) {
  std::vector<const morvex::StoredValue*> values;
  hives.list_values(key, values);
  std::vector<std::string> names;
  if (depth == 0 || --budget <= 0 || !hives.list_subkeys(key, names)) return;
  for (const std::string& name : names) {
    const std::string below = path.empty() ? name : path + "\\" + name;
    const std::uint32_t child = hives.find_key(morvex::regfile::kRootLocalMachine, below);
    if (child != UINT32_MAX) walk(hives, child, below, depth - 1, budget);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  morvex::set_program_name("hive_file fuzz");
  std::string bytes(reinterpret_cast<const char*>(data), size);
  mend_header(bytes);
  const std::string hive = disk_folder() + "/Windows/System32/config/SOFTWARE";
  std::ofstream(hive, std::ios::binary | std::ios::trunc) << bytes;
  {
    HiveRegistry hives({disk_folder(), ""});
    int budget = 2000;
    const std::uint32_t software = hives.find_key(morvex::regfile::kRootLocalMachine, "Software");
    if (software != UINT32_MAX) walk(hives, software, "Software", 12, budget);
    hives.find_value(hives.find_key(morvex::regfile::kRootLocalMachine,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls"),
                     "C:\\x.exe");
  }
  std::ifstream in(hive, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (after != bytes) {
    std::fprintf(stderr, "hive_file fuzz: a run that saved nothing changed the hive\n");
    std::abort();
  }
  return 0;
}
