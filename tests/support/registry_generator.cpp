#include "registry_generator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <vector>

#include "registry/reg_file/reg_text.h"
#include "text/dword_bytes.h"
#include "registry_view.h"
#include "test_files.h"

namespace morvex::support {
namespace {

// splitmix64: the same seed gives the same file on every machine.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>((next() >> 32) * n >> 32);
  }
  std::uint32_t between(std::uint32_t low, std::uint32_t high) {
    return low + below(high - low + 1);
  }
  bool chance(std::uint32_t percent) { return below(100) < percent; }
  template <class T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  std::uint64_t state_;
};

constexpr const char* kWords[] = {
    "Settings", "Options",  "Recent",    "Shell",     "Window",    "Toolbar",   "Layout",
    "Cache",    "Plugins",  "Profiles",  "Fonts",     "Colors",    "History",   "Network",
    "Printers", "Devices",  "Sound",     "Keyboard",  "Mouse",     "Display",   "Desktop",
    "Search",   "Index",    "Sync",      "Update",    "Policies",  "Security",  "Accounts",
    "Mail",     "Calendar", "Editor",    "Viewer",    "Projects",  "Templates", "Macros",
    "Spelling", "Export",   "Import",    "Backup",    "Logs",      "Licenses",  "Filters",
    "Codecs",   "Themes",   "Panels",    "Commands",  "Shortcuts", "Servers",   "Proxy",
    "Columns",  "Sorting",  "Favorites", "Bookmarks", "Downloads", "Language",  "Startup"};
constexpr std::uint32_t kWordCount = std::size(kWords);
static_assert(kWordCount % 5 != 0);
// Of one length and in order, so that vendor names come in sorted order too.
constexpr const char* kSyllables[] = {"bro", "dor", "gan", "kel", "lor", "mar", "pha", "qui",
                                      "ren", "sal", "tix", "ulm", "vel", "wen", "xar", "zor"};
constexpr const char* kFileKinds[] = {".dll", ".exe", ".ocx", ".cpl", ".sys", ".dat", ".ini"};
constexpr const char* kShortTexts[] = {"1",       "0",    "Yes",    "No",        "en-US",
                                       "Default", "Both", "Normal", "Apartment", "100,100,640,480",
                                       "True"};

// Text is built as Latin-1, one byte a character, and comes out in the
// file's encoding: as those bytes, or each widened to a UTF-16LE unit.
class RegWriter {
 public:
  explicit RegWriter(FileFormat format) : wide_(format == FileFormat::utf16) {}

  void text(std::string_view latin1) { text_ += latin1; }
  void end_line() { text("\r\n"); }

  std::uint64_t bytes() const { return wide_ ? 2 + text_.size() * 2 : text_.size(); }
  bool wide() const { return wide_; }

  std::string finish() {
    if (!wide_) return std::move(text_);
    std::string units(bytes(), '\0');
    units[0] = '\xFF';
    units[1] = '\xFE';
    for (std::size_t i = 0; i < text_.size(); ++i) units[2 + 2 * i] = text_[i];
    return units;
  }

 private:
  bool wide_;
  std::string text_;
};

// Sections depth first, the way regedit walks a tree: a key's section, its
// values, then its subkeys. Values are written as the program writes them.
class TreeWriter {
 public:
  explicit TreeWriter(RegWriter& out) : out_(out) {}

  RegWriter& out() { return out_; }

  // Opens the key at root\path. With `ancestors`, every key above it that
  // has not had a section yet gets an empty one first, as in an export.
  void key(std::string_view root, const std::vector<std::string>& path, bool ancestors = true) {
    std::size_t common = 0;
    if (root == root_)
      while (common < path.size() && common < open_.size() && path[common] == open_[common])
        ++common;
    if (root != root_) {
      root_ = std::string(root);
      if (ancestors) section(path, 0);
    }
    open_.assign(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(common));
    for (std::size_t i = common; i < path.size(); ++i) {
      open_.push_back(path[i]);
      if (ancestors || i + 1 == path.size()) section(path, i + 1);
    }
  }

  void comment(std::string_view text) {
    out_.text("; ");
    out_.text(text);
    out_.end_line();
  }

  void value(std::string_view name, std::uint32_t type, std::string_view data) {
    line_.clear();
    regfile::format_value(name, type, data, regfile::Encoding::ansi, "\r\n", line_);
    out_.text(line_);
  }
  void string_value(std::string_view name, std::string_view text) {
    value(name, regfile::kTypeSz, std::string(text) + '\0');
  }
  void dword_value(std::string_view name, std::uint32_t number) {
    value(name, regfile::kTypeDword, dword_bytes(number));
  }

  // A text type given as hex: 8-bit text in a REGEDIT4 file, UTF-16LE in
  // a Version 5 one. `texts` are Latin-1; each gets its zero, and a
  // multi-string one more at the end.
  void text_hex_value(std::string_view name, std::uint32_t type,
                      const std::vector<std::string>& texts) {
    std::string bytes;
    const auto add = [&](unsigned char c) {
      bytes += static_cast<char>(c);
      if (out_.wide()) bytes += '\0';
    };
    for (const std::string& text : texts) {
      for (const char c : text) add(static_cast<unsigned char>(c));
      add(0);
    }
    if (type == regfile::kTypeMultiSz) add(0);
    value(name, type, bytes);
  }

  void end() { out_.end_line(); }

 private:
  void section(const std::vector<std::string>& path, std::size_t depth) {
    out_.end_line();
    out_.text("[");
    out_.text(root_);
    for (std::size_t i = 0; i < depth; ++i) {
      out_.text("\\");
      out_.text(path[i]);
    }
    out_.text("]");
    out_.end_line();
  }

  RegWriter& out_;
  std::string root_;
  std::vector<std::string> open_;
  std::string line_;
};

constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";

// The filler: keys of the kinds a real machine has plenty of.
class Filler {
 public:
  Filler(TreeWriter& tree, Random& random) : tree_(tree), random_(random) {}

  // Names that never repeat in one file, so no key gets two sections, in
  // sorted order as regedit lists subkeys.
  std::string vendor() {
    const std::uint32_t n = vendors_++;
    std::string name;
    for (const std::uint32_t digit : {n >> 12, n >> 8, n >> 4, n}) name += kSyllables[digit % 16];
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
  }

  // Sibling names, sorted as regedit lists them.
  std::vector<std::string> siblings(std::uint32_t count, std::string_view suffix) {
    std::vector<std::string> names;
    const std::uint32_t first = random_.below(kWordCount);
    for (std::uint32_t i = 0; i < count; ++i)
      names.push_back(distinct_word(first, i) + std::string(suffix));
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return folded(a) < folded(b); });
    return names;
  }

  std::string word() { return random_.pick(kWords); }
  // The i-th of up to kWordCount different words from `first` on: names of siblings.
  static std::string distinct_word(std::uint32_t first, std::uint32_t i) {
    return kWords[(first + 5 * i) % kWordCount];  // 5 and kWordCount have no common factor
  }

  // Increasing from one call to the next, for the sorted list of classes.
  std::string guid() {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    guids_ += 1 + (random_.next() >> 24);
    std::string text = "{";
    for (int shift = 60; shift >= 0; shift -= 4) {
      if (shift == 28 || shift == 12) text += '-';
      text += kDigits[(guids_ >> shift) & 15];
    }
    text += '-';
    for (int i = 0; i < 16; ++i) {
      if (i == 4) text += '-';
      text += kDigits[random_.below(16)];
    }
    return text + "}";
  }

  std::string file_path() {
    std::string path = random_.chance(50) ? "C:\\Program Files\\" : "C:\\WINDOWS\\SYSTEM32\\";
    if (path.size() > 20) path += word() + "\\";
    path += word();
    if (random_.chance(30)) path += "\\" + word();
    path += "\\" + word() + std::to_string(random_.below(100)) + random_.pick(kFileKinds);
    return path;
  }

  // Words with now and then a letter outside ASCII.
  std::string sentence(std::uint32_t min_size, std::uint32_t max_size) {
    const std::uint32_t size = random_.between(min_size, max_size);
    std::string text;
    while (text.size() < size) {
      if (!text.empty()) text += random_.chance(10) ? ", " : " ";
      text += word();
      if (random_.chance(3)) text += "\xE9t\xFC";
    }
    return text;
  }

  std::string bytes(std::uint32_t size) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random_.chance(40) ? 0 : random_.below(256));
    return data;
  }

  void values(std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::string name = i == 0 && random_.chance(30) ? "" : word() + std::to_string(i);
      const std::uint32_t kind = random_.below(100);
      if (kind < 30) {
        tree_.string_value(name, random_.pick(kShortTexts));
      } else if (kind < 40) {
        tree_.string_value(name, sentence(60, 400));
      } else if (kind < 50) {
        tree_.string_value(name, file_path());
      } else if (kind < 72) {
        tree_.dword_value(name, random_.chance(50) ? random_.below(2)
                                                   : static_cast<std::uint32_t>(random_.next()));
      } else if (kind < 88) {
        tree_.value(
            name, regfile::kTypeBinary,
            bytes(random_.chance(85) ? random_.between(4, 120) : random_.between(200, 3000)));
      } else if (kind < 93) {
        tree_.text_hex_value(name, 2, {"%SystemRoot%\\system32\\" + word() + ".dll"});
      } else {
        std::vector<std::string> texts(random_.between(1, 6));
        for (std::string& text : texts) text = random_.chance(50) ? word() : file_path();
        tree_.text_hex_value(name, 7, texts);
      }
    }
  }

  // An application's settings: a tree of a few levels with values of
  // every type, a big binary blob here and there, now and then a comment.
  void application(std::string_view root, std::vector<std::string>& path, std::uint32_t depth,
                   std::uint64_t until) {
    tree_.key(root, path);
    if (random_.chance(1)) tree_.comment("settings of " + path.back() + ", kept by its installer");
    values(random_.chance(25) ? 0 : random_.between(1, 10));
    if (depth >= 7 || tree_.out().bytes() >= until) return;
    const std::uint32_t children = depth < 2 ? random_.between(2, 5) : random_.below(4 - depth / 3);
    for (const std::string& name :
         siblings(children, random_.chance(50) ? std::to_string(depth) : "")) {
      path.push_back(name);
      application(root, path, depth + 1, until);
      path.pop_back();
    }
  }

  // A class registration: a few small keys with default values.
  void class_entry(std::string_view root, std::vector<std::string>& path) {
    path.push_back(guid());
    const std::string program = word() + "." + word() + "." + std::to_string(random_.between(1, 9));
    tree_.key(root, path);
    tree_.string_value("", program + " Class");
    path.push_back("InprocServer32");
    tree_.key(root, path);
    tree_.string_value("", file_path());
    tree_.string_value("ThreadingModel", random_.chance(50) ? "Apartment" : "Both");
    path.back() = "ProgID";
    tree_.key(root, path);
    tree_.string_value("", program);
    if (random_.chance(30)) {
      path.back() = "Implemented Categories";
      path.push_back(guid());
      tree_.key(root, path);
      path.pop_back();
    }
    path.pop_back();
    path.pop_back();
  }

  // One key with many values, like a most-recently-used list or a cache.
  void flat_key(std::string_view root, std::vector<std::string>& path, std::uint64_t until) {
    tree_.key(root, path);
    const std::uint32_t count = random_.between(100, 1500);
    for (std::uint32_t i = 0; i < count && tree_.out().bytes() < until; ++i) {
      if (random_.chance(60))
        tree_.dword_value(file_path(), random_.between(1, 9));
      else
        tree_.string_value("@" + file_path() + ",-" + std::to_string(random_.between(100, 999)),
                           sentence(8, 40));
    }
  }

  // A long chain of single keys with values only at its end.
  void deep_chain(std::string_view root, std::vector<std::string>& path) {
    const std::size_t base = path.size();
    const std::uint32_t depth = random_.between(6, 14);
    for (std::uint32_t i = 0; i < depth; ++i) path.push_back(word() + std::to_string(i));
    tree_.key(root, path);
    values(random_.between(1, 4));
    path.resize(base);
  }

  // Software\<vendor>\... until the file reaches `until` bytes.
  void vendors(std::string_view root, std::uint64_t until) {
    while (tree_.out().bytes() < until) {
      std::vector<std::string> path = {"Software", vendor()};
      const std::string version = " " + std::to_string(random_.between(1, 12)) + ".0";
      for (const std::string& product : siblings(random_.between(1, 3), version)) {
        if (tree_.out().bytes() >= until) break;
        path.push_back(product);
        const std::uint32_t kind = random_.below(100);
        if (kind < 70) {
          application(root, path, 0, until);
        } else if (kind < 85) {
          deep_chain(root, path);
        } else {
          flat_key(root, path, until);
        }
        path.pop_back();
      }
    }
  }

  void classes(std::string_view root, std::uint64_t until) {
    std::vector<std::string> path = {"Software", "Classes", "CLSID"};
    while (tree_.out().bytes() < until) class_entry(root, path);
  }

  // Paths eight keys deep whose ancestors have no section of their own;
  // about one new key per section.
  void many_keys(std::string_view root, std::uint64_t until) {
    std::vector<std::string> path;
    for (std::uint32_t n = 0; tree_.out().bytes() < until; ++n) {
      if (n % 5000 == 0) path = {"Software", vendor()};
      path.resize(std::min<std::size_t>(path.size(), n % 50 == 0 ? 2 : 6 + random_.below(2)));
      while (path.size() < 8) path.push_back(word() + std::to_string(n % 97));
      tree_.key(root, path, false);
      if (random_.chance(10)) values(1);
    }
  }

  // Keys in no order at all, as joined exports or a hand-edited file give
  // them: below Software a wide level of keys with three subkeys each, their
  // sections shuffled, so most sections name an ancestor seen long before.
  // The shuffle is drawn once for the whole file, with room for `file_size`.
  void unsorted(std::string_view root, std::uint64_t until, std::uint64_t file_size) {
    constexpr std::uint32_t kKeysPerTop = 4;  // the key itself and three subkeys
    if (unsorted_keys_.empty()) {
      unsorted_keys_.resize(file_size / 70 + 64);  // sections take 75 to 95 bytes
      for (std::uint32_t i = 0; i < unsorted_keys_.size(); ++i) unsorted_keys_[i] = i;
      for (std::size_t i = unsorted_keys_.size() - 1; i > 0; --i)
        std::swap(unsorted_keys_[i], unsorted_keys_[random_.below(static_cast<std::uint32_t>(i + 1))]);
    }
    std::vector<std::string> path;
    while (tree_.out().bytes() < until && unsorted_next_ < unsorted_keys_.size()) {
      const std::uint32_t key = unsorted_keys_[unsorted_next_++];
      const std::uint32_t top = key / kKeysPerTop;
      path = {"Software", std::string(kWords[top % kWordCount]) + std::to_string(top)};
      if (key % kKeysPerTop != 0) path.push_back(distinct_word(top, key % kKeysPerTop));
      tree_.key(root, path, false);
      if (random_.chance(50))
        tree_.dword_value(word() + std::to_string(key % 10), random_.below(2));
      else
        tree_.string_value(word(), random_.pick(kShortTexts));
    }
  }

 private:
  TreeWriter& tree_;
  Random& random_;
  std::uint32_t vendors_ = 0;
  std::uint64_t guids_ = 0;
  std::vector<std::uint32_t> unsorted_keys_;
  std::size_t unsorted_next_ = 0;
};

// Releases below the product's registration key, each registered with both
// IDE generations; release 40 stays and is each generation's default.
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
    parts.install_keys += "[HKEY_CURRENT_USER\\" + install_key(release) + "]\r\n\"IDE\"=\"3\"\r\n\r\n";
  parts.install_keys += "[HKEY_CURRENT_USER\\" + install_key(kKeptRelease) + "]\r\n\"IDE\"=\"3\"\r\n\r\n";
  parts.generation_4 = generation_sections(4, releases);
  parts.generation_5 = generation_sections(5, releases);
  return parts;
}

std::string product_registry(const std::vector<std::string>& releases, std::size_t bulk_bytes) {
  const ProductParts parts = product_parts(releases);
  RegWriter out(FileFormat::regedit4);
  out.text("REGEDIT4\r\n\r\n");
  TreeWriter tree(out);
  Random random(1);
  Filler filler(tree, random);
  for (const std::string& part : {parts.install_keys, parts.generation_4, parts.generation_5}) {
    filler.vendors(kCurrentUser, out.bytes() + bulk_bytes / 4);
    out.text(part);
  }
  filler.vendors(kCurrentUser, out.bytes() + bulk_bytes / 4);
  return out.finish();
}

std::string remaining_list(const std::vector<std::string>& all, const std::vector<std::string>& gone) {
  std::string list;
  for (const std::string& release : all)
    if (std::find(gone.begin(), gone.end(), release) == gone.end()) list += release + ";";
  return list + kKeptRelease;
}

bool generate_registry(const GenerateOptions& options, const std::string& path,
                       std::string& error) {
  constexpr std::string_view kHeader = "REGEDIT4\r\n";
  const std::string example = read_file(std::string(kExamplePrefix) + "/registry.reg");
  if (!example.starts_with(kHeader)) {
    error = std::string(kExamplePrefix) + "/registry.reg: not a REGEDIT4 file";
    return false;
  }
  const std::string_view product = std::string_view(example).substr(kHeader.size());
  RegWriter out(options.format);
  out.text(options.format == FileFormat::utf16 ? "Windows Registry Editor Version 5.00"
                                               : "REGEDIT4");
  out.end_line();
  TreeWriter tree(out);
  Random random(options.seed);
  Filler filler(tree, random);
  const std::uint64_t size = options.size_bytes;
  // The filler makes up what the example installation leaves of the size.
  const std::uint64_t product_bytes = product.size() * (out.wide() ? 2 : 1);
  const std::uint64_t bulk = size - std::min(size, product_bytes);
  const auto at = [&](unsigned percent) { return bulk * percent / 100; };
  tree.out().end_line();
  tree.comment("Exported from a developer's machine");

  // The local machine's half, then the user's, with the product in the middle.
  const auto fill = [&](std::string_view root, std::uint64_t until) {
    switch (options.shape) {
      case Shape::mixed:
        return filler.vendors(root, until);
      case Shape::many_keys:
        return filler.many_keys(root, until);
      case Shape::unsorted:
        return filler.unsorted(root, until, size);
    }
  };
  if (options.shape == Shape::mixed) filler.classes(kLocalMachine, at(20));
  // Most of the unsorted file goes below one key, to make its level wide.
  fill(kLocalMachine, options.shape == Shape::unsorted ? at(2) : at(40));
  fill(kCurrentUser, at(50));
  out.text(product);
  fill(kCurrentUser, size);
  tree.end();
  if (write_file(path, out.finish())) return true;
  error = path + ": " + std::strerror(errno);
  return false;
}

bool place_product_files(const std::string& prefix, std::string& error) {
  std::error_code failure;
  std::filesystem::copy(std::string(kExamplePrefix) + "/drive_c", prefix + "/drive_c",
                        std::filesystem::copy_options::recursive |
                            std::filesystem::copy_options::overwrite_existing,
                        failure);
  if (failure) error = prefix + "/drive_c: " + failure.message();
  return !failure;
}

}  // namespace morvex::support
