// Files the tests write and read back whole, and the throwaway folders they
// keep them in.
#pragma once

#include <string>
#include <string_view>

namespace morvex::support {

// The whole file; empty when it cannot be read.
std::string read_file(const std::string& path);
bool write_file(const std::string& path, std::string_view bytes);
bool exists(const std::string& path);

// A fresh folder below $TMPDIR (or /tmp), named morvex-WHAT-XXXXXX; empty
// when none could be made.
std::string make_temporary_folder(const std::string& what);

// Removes a folder with all it holds, opening up folders a test made
// read-only first.
void remove_folder(const std::string& folder);

// A temporary folder removed with its content at the end.
class Sandbox {
 public:
  explicit Sandbox(const std::string& what);
  ~Sandbox() { remove_folder(folder_); }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& folder() const { return folder_; }
  // A prefix folder inside the sandbox, with an empty drive C and a home.
  std::string make_prefix(const std::string& name) const;

 private:
  std::string folder_;
};

}  // namespace morvex::support
