#include "ide/directory_lists.h"

#include <optional>
#include <string>
#include <string_view>

#include "diag/diagnostics.h"
#include "ide/ide_messages.h"
#include "ide/ide_restore.h"
#include "registrations/list_items.h"
#include "registrations/list_remove_first.h"
#include "registry/product_keys.h"
#include "text/ascii_case.h"
#include "registry/registry.h"

namespace morvex {
namespace {

constexpr const char* kNoProductPath = "There was no path for the Vantor compiler";
constexpr const char* kNoListPath = "There was no path for the MSDEV compiler";

constexpr const char* kDirectoriesKey4 =
    "Software\\Microsoft\\Developer\\Build System\\Components\\Platforms\\Win32 (x86)\\Directories";
constexpr const char* kDirectoriesKey5 =
    "Software\\Microsoft\\DevStudio\\5.0\\Build System\\Components\\Platforms\\Win32 "
    "(x86)\\Directories";

struct DirectorySource {
  const char* product_key;
  const char* directories_key;
};

std::optional<DirectorySource> source_for(int directory_selector) {
  switch (directory_selector) {
    case 4: return DirectorySource{kSelectCompilerKey, kDirectoriesKey4};
    case 5: return DirectorySource{kSelectCompilerKey, kDirectoriesKey5};
    case 424: return DirectorySource{kRelease24Key, kDirectoriesKey4};
    case 524: return DirectorySource{kRelease24Key, kDirectoriesKey5};
    default: return std::nullopt;
  }
}

std::optional<std::string> read_text(const char* key_path, const std::string& value_name) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, key_path, key)) return std::nullopt;
  std::optional<std::string> text = reg_read_string(key, value_name);
  reg_close_key(key);
  return text;
}

}  // namespace

std::optional<std::string> remove_directory_from_list(std::string_view list,
                                                      std::string_view directory) {
  if (directory.empty()) return std::nullopt;
  // Match without regard to "A" to "Z", then splice with the item as stored:
  // no earlier item equals that spelling byte for byte (it would have matched
  // first), so exactly this item goes and every other keeps its letter case.
  for (std::size_t from = 0;;) {
    const std::optional<ListItem> item = next_list_item(list, from);
    if (!item) break;
    if (equal_folded(item->text, directory)) return list_remove_first(list, item->text);
    from = item->offset + item->text.size();
  }
  return std::nullopt;
}

bool restore_tool_executable(const std::string& executable, const std::string& tool_key_path) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, tool_key_path, key)) {
    report_error("%s.", kIdeKeyOpenFailed);
    return false;
  }
  const bool written = reg_write_string(key, "Executable Path", executable);
  reg_close_key(key);
  if (!written) {
    report_error("%s.", kIdeValueSetFailed);
    return false;
  }
  return true;
}

int remove_product_directory(const std::string& product_value, const std::string& list_value,
                             int directory_selector) {
  const std::optional<DirectorySource> source = source_for(directory_selector);
  if (!source) return 0;
  const char* pending_message = nullptr;

  const std::optional<std::string> directory = read_text(source->product_key, product_value);
  if (!directory) {
    report_error("%s.", kNoProductPath);
    pending_message = kNoProductPath;
  }
  const std::optional<std::string> list = read_text(source->directories_key, list_value);
  if (!list) {
    report_error("%s.", kNoListPath);
    pending_message = kNoListPath;
  }

  if (directory && list) {
    const std::optional<std::string> shortened = remove_directory_from_list(*list, *directory);
    // A list that would be left empty keeps the product's directory.
    if (shortened && !shortened->empty()) {
      RegistryKey key;
      if (!reg_open_key(RootKey::current_user, source->directories_key, key)) {
        pending_message = kIdeKeyOpenFailed;
      } else {
        if (!reg_write_string(key, list_value, *shortened)) pending_message = kIdeValueSetFailed;
        reg_close_key(key);
      }
    }
  }

  if (pending_message != nullptr) report_error("%s.", pending_message);
  return 0;
}

}  // namespace morvex
