#include <string>
#include <vector>

#include "uninstall/uninstall_run.h"

int main(int argc, char** argv) {
  return morvex::run_uninstall(std::vector<std::string>(argv, argv + argc));
}
