// Any bytes as registry.reg. A file the store refuses must be refused whole
// and stay as it was. A file it takes must read back, key by key, as the full
// parse of the same bytes says; then a few changes derived from the bytes are
// made, and the saved file must parse to exactly the changed registry, keep
// every byte before the first section (a section runs from its key line to
// the next key's line, so the comments above a key's line are the section
// before's), and hold every section of a key the changes did not touch byte
// for byte, in its old order. No comment line outside a deleted section's
// values may go. No change at all
// must leave the file byte for byte as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "diag/diagnostics.h"
#include "registry/reg_file/reg_scanner.h"
#include "registry/reg_file/reg_store.h"
#include "registry/reg_file/reg_text.h"
#include "registry/reg_file/reg_tree.h"
#include "registry/registry.h"
#include "registry_view.h"
#include "test_files.h"
#include "text/dword_bytes.h"

namespace morvex {
namespace {

using regfile::Encoding;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "reg_file fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void check(bool holds, const std::string& what) {
  if (!holds) fail(what);
}

// The registry by meaning: folded key paths and value names.
using support::ComparedValue;
using support::folded;
using support::has_subkeys;
using Model = support::RegistryView;

// The roots the program can reach, and the path below them.
bool reachable(const std::string& path, RootKey& root, std::string& below) {
  const std::size_t slash = path.find('\\');
  if (slash == std::string::npos) return false;
  const std::string root_name = folded(path.substr(0, slash));
  if (root_name == "hkey_current_user") {
    root = RootKey::current_user;
  } else if (root_name == "hkey_local_machine") {
    root = RootKey::local_machine;
  } else {
    return false;
  }
  below = path.substr(slash + 1);
  return true;
}

// Sections of a file that parses: a line whose first non-blank unit is "["
// starts one, and it runs to the next. Keys named by folded path.
struct Section {
  std::size_t begin;
  std::size_t end;
  std::string key;
  // The first comment line after the section's last value line, or end:
  // from there on nothing goes, whatever happens to the key.
  std::size_t comments_kept = 0;
};

template <class Unit>
Unit unit_at(std::string_view bytes, std::size_t offset) {
  if constexpr (sizeof(Unit) == 1)
    return static_cast<unsigned char>(bytes[offset]);
  else
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[offset]) |
                                 static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

template <class Unit>
void split_sections(std::string_view bytes, std::size_t begin, std::size_t& preamble_end,
                    std::vector<Section>& sections) {
  constexpr std::size_t w = sizeof(Unit);
  std::vector<Unit> line;
  for (std::size_t at = begin; at + w <= bytes.size();) {
    std::size_t end = at;
    line.clear();
    while (end + w <= bytes.size()) {
      const Unit u = unit_at<Unit>(bytes, end);
      if (u == Unit('\n') || u == Unit('\r')) break;
      line.push_back(u);
      end += w;
    }
    std::size_t next = end;
    if (next + w <= bytes.size()) {
      const bool crlf = unit_at<Unit>(bytes, next) == Unit('\r') && next + 2 * w <= bytes.size() &&
                        unit_at<Unit>(bytes, next + w) == Unit('\n');
      next += crlf ? 2 * w : w;
    } else {
      next = bytes.size();
    }
    std::size_t first = 0;
    while (first < line.size() && (line[first] == Unit(' ') || line[first] == Unit('\t'))) ++first;
    if (!sections.empty() && first < line.size() && line[first] != Unit('[')) {
      std::size_t& kept = sections.back().comments_kept;
      if (line[first] != Unit(';'))
        kept = bytes.size();
      else if (kept == bytes.size())
        kept = at;
    }
    if (first < line.size() && line[first] == Unit('[')) {
      const std::size_t section_begin = at;
      std::size_t close = line.size();
      while (close > first + 1 && line[close - 1] != Unit(']')) --close;
      std::string path;
      if constexpr (w == 1)
        path.assign(line.begin() + first + 1, line.begin() + close - 1);
      else
        regfile::append_utf8(line.data() + first + 1, close - 1 - (first + 1), path);
      if (!sections.empty()) {
        Section& previous = sections.back();
        previous.end = section_begin;
        previous.comments_kept = std::min(previous.comments_kept, section_begin);
      }
      sections.push_back({section_begin, bytes.size(), folded(path), bytes.size()});
    }
    at = next;
  }
  preamble_end = sections.empty() ? bytes.size() : sections.front().begin;
}

Encoding encoding_of(std::string_view bytes) {
  const regfile::ByteOrderMark mark = regfile::sniff_byte_order_mark(bytes);
  if (mark.utf16le) return Encoding::utf16le;
  return bytes.substr(mark.size).starts_with("Windows Registry Editor Version 5.00")
             ? Encoding::utf8
             : Encoding::ansi;
}

// splitmix64 over the bytes' hash: the changes follow the input.
class Choices {
 public:
  explicit Choices(std::string_view bytes) {
    state_ = 0xcbf29ce484222325ull;
    for (const char c : bytes) state_ = (state_ ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  }
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return n == 0 ? 0 : next() % n; }

 private:
  std::uint64_t state_;
};

std::string some_text(Choices& choices) {
  static constexpr char kAlphabet[] = "ab;\"\\ \n=[]#Z9";
  std::string text;
  for (std::size_t n = choices.below(12); n > 0; --n)
    text += kAlphabet[choices.below(sizeof kAlphabet - 1)];
  return text;
}

std::string other_case(std::string name, Choices& choices) {
  for (char& c : name)
    if (choices.below(2) == 0) c = c >= 'a' && c <= 'z' ? c - 32 : regfile::fold_ascii(c);
  return name;
}

struct Prefix {
  std::string folder;
  std::string file;
};

// One folder per fuzzing process, named by its id: libFuzzer ends a run with
// _Exit, past any clean-up, so each start removes the folders of processes
// that are gone.
const Prefix& prefix() {
  static const Prefix made = [] {
    namespace fs = std::filesystem;
    std::string base = "/dev/shm";
    if (access(base.c_str(), W_OK) != 0) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    const std::string stem = "morvex-fuzz-";
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(base, ignored)) {
      const std::string name = entry.path().filename().string();
      if (!name.starts_with(stem)) continue;
      const std::string pid = name.substr(stem.size());
      if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos &&
          access(("/proc/" + pid).c_str(), F_OK) != 0)
        fs::remove_all(entry.path(), ignored);
    }
    const std::string folder = base + "/" + stem + std::to_string(getpid());
    fs::remove_all(folder, ignored);
    if (!fs::create_directory(folder, ignored)) fail("cannot make a prefix folder in " + base);
    setenv("MORVEX_PREFIX", folder.c_str(), 1);
    return Prefix{folder, folder + "/registry.reg"};
  }();
  return made;
}

// Every value reads as the parse says, within the read limit.
void check_reads(const Model& model, Choices& choices) {
  std::size_t budget = 64;
  for (const auto& [folded_path, key] : model) {
    RootKey root;
    std::string below;
    if (!reachable(key.path, root, below) || budget-- == 0) continue;
    RegistryKey handle;
    check(reg_open_key(root, other_case(below, choices), handle), "cannot open " + key.path);
    check(reg_has_subkeys(handle) == has_subkeys(model, folded_path), "subkeys of " + key.path);
    std::uint32_t count = 0;
    check(reg_count_values(handle, count) && count == key.values.size(), "value count of " + key.path);
    for (const auto& [name, value] : key.values) {
      const bool readable = value.data.size() <= kRegistryReadLimit;
      const std::optional<std::string> text = reg_read_string(handle, other_case(value.name, choices));
      check(text.has_value() == readable, "readable " + key.path + " " + value.name);
      if (text) check(*text == value.data.substr(0, value.data.find('\0')), "text " + value.name);
      std::int32_t number = 1;
      check(reg_read_dword(handle, value.name, number) == readable, "dword " + value.name);
      check(static_cast<std::uint32_t>(number) == (readable ? dword_from_bytes(value.data) : 0),
            "number " + value.name);
    }
  }
}

bool storable(std::string_view text, Encoding encoding) {
  std::u16string ignored;
  return encoding == Encoding::ansi || regfile::utf16_from_utf8(text, ignored);
}

// Makes the changes on the store and on the model; the folded paths of the
// keys they touched, and whether the registry changed at all.
void make_changes(Model& model, Encoding encoding, Choices& choices,
                  std::vector<std::string>& touched, bool& changed) {
  std::vector<std::string> paths;
  for (const auto& [folded_path, key] : model) {
    RootKey root;
    std::string below;
    if (reachable(key.path, root, below)) paths.push_back(folded_path);
  }
  for (std::size_t n = choices.below(5); n > 0 && !paths.empty(); --n) {
    const std::size_t pick = choices.below(paths.size());
    const std::string folded_path = paths[pick];
    support::ComparedKey& key = model.at(folded_path);
    RootKey root;
    std::string below;
    reachable(key.path, root, below);
    RegistryKey handle;
    check(reg_open_key(root, below, handle), "cannot open for a change " + key.path);
    std::string name = "fz" + std::to_string(choices.below(3));
    if (!key.values.empty() && choices.below(3) != 0) {
      auto value = key.values.begin();
      std::advance(value, choices.below(key.values.size()));
      name = other_case(value->second.name, choices);
    }
    const auto existing = key.values.find(folded(name));
    switch (choices.below(5)) {
      case 0:
      case 1: {
        const std::string text = some_text(choices);
        const bool done = reg_write_string(handle, name, text);
        const bool expected = storable(name, encoding);
        check(done == expected, "write_string " + key.path + " " + name);
        if (!done) break;
        const ComparedValue now{existing != key.values.end() ? existing->second.name : name, 1,
                             text + '\0'};
        changed = changed || existing == key.values.end() || existing->second.type != now.type ||
                  existing->second.data != now.data;
        key.values[folded(name)] = now;
        touched.push_back(folded_path);
        break;
      }
      case 2: {
        const auto number = static_cast<std::uint32_t>(choices.next());
        const bool done = reg_write_dword(handle, name, static_cast<std::int32_t>(number));
        check(done == storable(name, encoding), "write_dword " + key.path + " " + name);
        if (!done) break;
        const ComparedValue now{existing != key.values.end() ? existing->second.name : name, 4,
                             dword_bytes(number)};
        changed = changed || existing == key.values.end() || existing->second.type != now.type ||
                  existing->second.data != now.data;
        key.values[folded(name)] = now;
        touched.push_back(folded_path);
        break;
      }
      case 3: {
        const bool done = reg_delete_value(handle, name);
        check(done == (existing != key.values.end()), "delete_value " + key.path + " " + name);
        if (!done) break;
        key.values.erase(existing);
        changed = true;
        touched.push_back(folded_path);
        break;
      }
      default: {
        const bool leaf = !has_subkeys(model, folded_path);
        check(reg_delete_key(root, other_case(below, choices)) == leaf, "delete_key " + key.path);
        if (!leaf) break;
        std::uint32_t count = 0;
        check(!reg_count_values(handle, count), "a handle to a deleted key still works");
        model.erase(folded_path);
        paths.erase(paths.begin() + static_cast<std::ptrdiff_t>(pick));
        changed = true;
        touched.push_back(folded_path);
        break;
      }
    }
  }
}

void check_untouched_bytes(std::string_view before, std::string_view after,
                           const std::vector<std::string>& touched) {
  std::size_t preamble_end = 0;
  std::vector<Section> sections;
  const regfile::ByteOrderMark mark = regfile::sniff_byte_order_mark(before);
  if (mark.utf16le)
    split_sections<char16_t>(before, mark.size, preamble_end, sections);
  else
    split_sections<unsigned char>(before, mark.size, preamble_end, sections);
  check(after.substr(0, preamble_end) == before.substr(0, preamble_end),
        "the bytes before the first key changed");
  std::size_t from = preamble_end;
  for (const Section& section : sections) {
    const bool untouched = std::find(touched.begin(), touched.end(), section.key) == touched.end();
    const std::size_t kept = untouched ? section.begin : section.comments_kept;
    if (kept >= section.end) continue;
    const std::string_view text = before.substr(kept, section.end - kept);
    const std::size_t found = after.find(text, from);
    check(found != std::string_view::npos,
          "untouched section or comments at byte " + std::to_string(kept) + " not kept: " +
              std::string(text.substr(0, 80)));
    from = found + text.size();
  }
}

}  // namespace
}  // namespace morvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morvex;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Prefix& where = prefix();
  set_program_name("fuzz");
  reg_end_run();
  unlink((where.folder + "/registry.reg.saving").c_str());
  support::write_file(where.file, bytes);

  std::vector<RegTreeKey> keys;
  std::string error;
  const bool parses = read_reg_tree(bytes, keys, error);
  check(regfile::the_store().ready() == parses, "the store and the parse disagree: " + error);
  Choices choices(bytes);
  if (!parses) {
    RegistryKey key;
    check(!reg_open_key(RootKey::current_user, "Software", key), "a refused file opened a key");
    reg_commit();
    reg_end_run();
    check(support::read_file(where.file) == bytes, "a refused file was written");
    return 0;
  }

  Model model;
  support::add_keys(keys, model);
  check_reads(model, choices);
  std::vector<std::string> touched;
  bool changed = false;
  make_changes(model, encoding_of(bytes), choices, touched, changed);
  reg_commit();
  reg_end_run();

  const std::string after = support::read_file(where.file);
  check(access((where.folder + "/registry.reg.saving").c_str(), F_OK) != 0,
        "a temporary file was left");
  if (!changed) {
    check(after == bytes, "a run that changed nothing rewrote the file");
    return 0;
  }
  Model saved;
  check(support::add_reg_text(after, saved, error), "the saved file does not parse: " + error);
  std::string differences;
  for (const std::string& difference : support::compare_registries(model, saved))
    differences += "\n" + difference;
  check(differences.empty(), "the saved file means something else:" + differences);
  check_untouched_bytes(bytes, after, touched);
  return 0;
}
