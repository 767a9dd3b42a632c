#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "diag/diagnostics.h"
#include "ide/ide_keys.h"
#include "ide/ide_messages.h"
#include "ide/ide_restore.h"
#include "registry/registry.h"

namespace morvex {
namespace {

constexpr const char* kMarkerLabel = "&Select Compiler";

enum class FieldKind { number, text };

struct ToolField {
  const char* stem;
  FieldKind kind;
};

// One Tools entry, field by field, in the order the IDE's own tools copy it.
constexpr ToolField kFieldsGeneration5[] = {
    {"AskArgument#", FieldKind::number},     {"CloseWindow#", FieldKind::number},
    {"DefaultArguments#", FieldKind::text},  {"GUITool#", FieldKind::number},
    {"InitialDirectory#", FieldKind::text},  {"MenuName#", FieldKind::text},
    {"OutputRedirect#", FieldKind::number},  {"PathName#", FieldKind::text},
    {"ReloadNoPrompt#", FieldKind::number},  {"UseSearchPath#", FieldKind::number},
    {"VisibleOnMenu#", FieldKind::number},
};

constexpr ToolField kFieldsGeneration4[] = {
    {"AskArgument#", FieldKind::number},     {"CloseWindow#", FieldKind::number},
    {"DefaultArguments#", FieldKind::text},  {"DialogName#", FieldKind::text},
    {"GUITool#", FieldKind::number},         {"InitialDirectory#", FieldKind::text},
    {"MenuName#", FieldKind::text},          {"OutputRedirect#", FieldKind::number},
    {"PathName#", FieldKind::text},          {"ReloadNoPrompt#", FieldKind::number},
    {"UseSearchPath#", FieldKind::number},
};

struct ToolsMenu {
  const IdeKeys& keys;
  std::span<const ToolField> fields;
};

constexpr ToolsMenu kToolsMenu5{kIdeKeys5, kFieldsGeneration5};
constexpr ToolsMenu kToolsMenu4{kIdeKeys4, kFieldsGeneration4};

const ToolsMenu* tools_menu_for(int ide_generation) {
  if (ide_generation == 5) return &kToolsMenu5;
  if (ide_generation == 4) return &kToolsMenu4;
  return nullptr;
}

std::string field_name(const std::string& stem, int index) {
  return stem + std::to_string(index);
}

// A Tools list cannot hold more entries than its key holds values. A larger
// "NumTools" is not a count at all (text read as a number, or a stray
// dword): searching it would probe up to 2^31 labels, and moving from a
// marker would copy 11 missing fields for every index behind it.
bool plausible_tool_count(const RegistryKey& key, std::int32_t count) {
  if (count <= 0) return true;
  std::uint32_t values = 0;
  return reg_count_values(key, values) && static_cast<std::uint32_t>(count) <= values;
}

}  // namespace

void copy_tool_dword(const std::string& tools_key_path, const std::string& stem, int from, int to) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, tools_key_path, key)) {
    report_error("%s.", kIdeKeyOpenFailed);
    return;
  }
  std::int32_t number = 0;
  if (!reg_read_dword(key, field_name(stem, from), number)) {
    report_error("%s.", kIdeValueGetFailed);
  } else if (!reg_write_dword(key, field_name(stem, to), number)) {
    report_error("%s.", kIdeValueSetFailed);
  }
  reg_close_key(key);
}

void copy_tool_string(const std::string& tools_key_path, const std::string& stem, int from, int to) {
  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, tools_key_path, key)) {
    report_error("%s.", kIdeKeyOpenFailed);
    return;
  }
  const std::optional<std::string> text = reg_read_string(key, field_name(stem, from));
  if (!text) {
    report_error("%s.", kIdeValueGetFailed);
  } else if (!reg_write_string(key, field_name(stem, to), *text)) {
    report_error("%s.", kIdeValueSetFailed);
  }
  reg_close_key(key);
}

void remove_tools_menu_entry(int ide_generation) {
  const ToolsMenu* menu = tools_menu_for(ide_generation);
  if (menu == nullptr) return;
  const char* pending_message = nullptr;

  RegistryKey key;
  if (!reg_open_key(RootKey::current_user, menu->keys.tools_menu_key, key)) {
    report_error("%s.", kIdeKeyOpenFailed);
    return;
  }

  std::int32_t count = 0;
  if (!reg_read_dword(key, "NumTools", count) || !plausible_tool_count(key, count)) {
    pending_message = kIdeKeyOpenFailed;
  } else {
    std::optional<std::int32_t> found;
    for (std::int32_t j = 0; j < count; ++j) {
      const std::optional<std::string> label = reg_read_string(key, field_name(menu->keys.label_stem, j));
      if (!label) {
        pending_message = kIdeValueGetFailed;
      } else if (*label == kMarkerLabel) {
        found = j;
        break;
      }
    }
    if (found) {
      for (std::int32_t l = *found + 1; l < count; ++l) {
        for (const ToolField& field : menu->fields) {
          if (field.kind == FieldKind::number)
            copy_tool_dword(menu->keys.tools_menu_key, field.stem, l, l - 1);
          else
            copy_tool_string(menu->keys.tools_menu_key, field.stem, l, l - 1);
        }
      }
      // count >= 1 here, so count - 1 cannot overflow.
      if (!reg_write_dword(key, "NumTools", count - 1)) pending_message = kIdeValueSetFailed;
    }
  }

  reg_close_key(key);
  if (pending_message != nullptr) report_error("%s.", pending_message);
}

}  // namespace morvex
