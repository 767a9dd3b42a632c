// Runs a fuzz target's checks over saved inputs, without libFuzzer: every
// file below the folders given (missing folders hold nothing), so that the
// seeds and every crash kept as a regression run in each build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (fs::is_regular_file(argv[i], error)) {
      inputs.emplace_back(argv[i]);
      continue;
    }
    if (!fs::is_directory(argv[i], error)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(argv[i], error))
      if (entry.is_regular_file() && entry.path().filename() != ".gitkeep")
        inputs.push_back(entry.path());
  }
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "replaying %s\n", input.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
