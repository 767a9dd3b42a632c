// morvex-make-disk REGISTRY.REG DISK: lays a .reg file's keys into the hives
// of a Windows disk folder (a 64-bit Windows of today, one profile "tester"),
// as the tests make them, for the demo and for trying --windows-disk by hand.
#include <cstdio>

#include "hive_files.h"
#include "test_files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: morvex-make-disk REGISTRY.REG DISK\n");
    return 2;
  }
  std::string error;
  if (morvex::support::lay_windows_disk(argv[2], morvex::support::read_file(argv[1]), "REGEDIT4\r\n", error))
    return 0;
  std::fprintf(stderr, "morvex-make-disk: %s\n", error.c_str());
  return 1;
}
