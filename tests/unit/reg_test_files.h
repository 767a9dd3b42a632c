// Registry file texts for the registry tests: line ends and encodings as
// regedit writes them, and a throwaway prefix folder per test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "diag/diagnostics.h"
#include "registry/reg_file/reg_store.h"
#include "registry/registry.h"
#include "registry/reg_file/reg_text.h"
#include "test_files.h"

namespace morvex::reg_test {

// The text with every "\n" made "\r\n".
inline std::string crlf(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// UTF-8 text as a UTF-16LE file with its byte-order mark.
inline std::string utf16_file(std::string_view text) {
  return "\xFF\xFE" + regfile::encode_for_file(text, regfile::Encoding::utf16le);
}

// A fresh MORVEX_PREFIX for each test, and a store that starts a new run.
class PrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = support::make_temporary_folder("reg");
    ASSERT_FALSE(prefix_.empty());
    setenv("MORVEX_PREFIX", prefix_.c_str(), 1);
    set_program_name("morvex-uninstall");
    reg_end_run();
  }

  void TearDown() override {
    reg_end_run();
    support::remove_folder(prefix_);
  }

  // What the end of the process does: the lock goes, nothing is saved.
  static void end_run() { reg_end_run(); }

  std::string file() const { return prefix_ + "/registry.reg"; }

  void write_registry(const std::string& bytes) const { support::write_file(file(), bytes); }
  std::string read_registry() const { return support::read_file(file()); }

  std::string prefix_;
};

}  // namespace morvex::reg_test
