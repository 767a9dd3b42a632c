// The follow-on program of the end-to-end cases: writes the words it was
// started with (word 0 first, one a line) to args.txt in its current folder.
// The file appears whole or not at all, since the runner polls for it.
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) text += '\n';
    text += argv[i];
  }
  {
    std::ofstream out("args.txt.tmp", std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return 1;
  }
  std::error_code failed;
  std::filesystem::rename("args.txt.tmp", "args.txt", failed);
  return failed ? 1 : 0;
}
