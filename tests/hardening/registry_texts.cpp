#include "registry_texts.h"

#include <algorithm>
#include <cstdio>

namespace morvex::hardening {
namespace {

const char* const kCompilers =
    "HKEY_CURRENT_USER\\Software\\Morvex\\Morvex Tools\\Morvex Compilers\\Morvex C/C++ Compiler";
const char* const kKeptRelease = "40";

std::string all_releases(const std::vector<std::string>& releases) {
  std::string list;
  for (const std::string& release : releases) list += release + ";";
  return list + kKeptRelease;
}

std::string generation_sections(int generation, const std::vector<std::string>& releases) {
  const std::string key = "[HKEY_CURRENT_USER\\" + generation_key(generation);
  std::string text = key + "]\r\n\"Compiler_List\"=\"" + all_releases(releases) +
                     "\"\r\n\"Compiler\"=\"" + kKeptRelease +
                     "\"\r\n\"Languages\"=dword:00000001\r\n\r\n";
  for (const std::string& release : releases)
    text += key + "\\" + release + "]\r\n\"Languages\"=dword:00000001\r\n\"CHelpfile\"=\"C:\\\\Morvex\\\\" +
            release + "\\\\help.hlp\"\r\n\r\n";
  return text + key + "\\" + kKeptRelease + "]\r\n\"Languages\"=dword:00000001\r\n\r\n";
}

}  // namespace

std::string install_key(const std::string& release) {
  return "Software\\Morvex\\Morvex Tools\\Morvex Compilers\\Morvex C/C++ Compiler\\" + release;
}

std::string generation_key(int generation) {
  return "Software\\Morvex\\Morvex Tools\\Select Compiler\\IDE\\" + std::to_string(generation);
}

ProductParts product_parts(const std::vector<std::string>& releases) {
  ProductParts parts;
  for (const std::string& release : releases)
    parts.install_keys += "[" + std::string(kCompilers) + "\\" + release + "]\r\n\"IDE\"=\"3\"\r\n\r\n";
  parts.install_keys += "[" + std::string(kCompilers) + "\\" + kKeptRelease + "]\r\n\"IDE\"=\"3\"\r\n\r\n";
  parts.generation_4 = generation_sections(4, releases);
  parts.generation_5 = generation_sections(5, releases);
  return parts;
}

std::string bulk_sections(std::size_t bytes, unsigned seed) {
  std::string text;
  text.reserve(bytes + 1024);
  unsigned state = seed * 2654435761u + 1;
  const auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  char line[160];
  for (unsigned key = 0; text.size() < bytes; ++key) {
    std::snprintf(line, sizeof line,
                  "[HKEY_CURRENT_USER\\Software\\Bulk%u\\Vendor%04u\\Product%03u]\r\n", seed, key / 100,
                  key % 100);
    text += line;
    std::snprintf(line, sizeof line, "\"Name\"=\"Product %u of vendor %u, \\\"quoted\\\"\"\r\n",
                  key % 100, key / 100);
    text += line;
    std::snprintf(line, sizeof line, "\"Count\"=dword:%08x\r\n", next());
    text += line;
    text += "\"Blob\"=hex:";
    std::size_t column = 11;
    for (int i = 0, n = 40 + static_cast<int>(next() % 160); i < n; ++i) {
      std::snprintf(line, sizeof line, "%02x", next() & 0xff);
      text += line;
      if (i + 1 == n) break;
      text += ',';
      column += 3;
      if (column > 74) {
        text += "\\\r\n  ";
        column = 2;
      }
    }
    text += "\r\n\r\n";
  }
  return text;
}

std::string product_registry(const std::vector<std::string>& releases, std::size_t bulk_bytes) {
  const ProductParts parts = product_parts(releases);
  const std::size_t quarter = bulk_bytes / 4;
  return "REGEDIT4\r\n\r\n" + bulk_sections(quarter, 1) + parts.install_keys +
         bulk_sections(quarter, 2) + parts.generation_4 + bulk_sections(quarter, 3) +
         parts.generation_5 + bulk_sections(quarter, 4);
}

std::string remaining_list(const std::vector<std::string>& all, const std::vector<std::string>& gone) {
  std::string list;
  for (const std::string& release : all)
    if (std::find(gone.begin(), gone.end(), release) == gone.end()) list += release + ";";
  return list + kKeptRelease;
}

}  // namespace morvex::hardening
