// The ANSI calls give and take texts in the ANSI code page.
#include <windows.h>

#include <string>

#include "undo/record_text.h"

namespace morvex {
namespace {

bool is_text(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

bool convert(const std::string& text, UINT from, UINT to, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units);
  // No best-fit characters: a text the code page cannot hold fails instead.
  const DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  BOOL* defaulted_at = to == CP_UTF8 ? nullptr : &defaulted;
  const int bytes = WideCharToMultiByte(to, flags, wide.data(), units, nullptr, 0, nullptr, defaulted_at);
  if (bytes <= 0) return false;
  out.assign(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(to, flags, wide.data(), units, out.data(), bytes, nullptr, defaulted_at);
  return !defaulted;
}

bool converted(const RegistryValue& value, UINT from, UINT to, RegistryValue& out) {
  out = value;
  return convert(value.name, from, to, out.name) &&
         (!is_text(value.type) || convert(value.data, from, to, out.data));
}

}  // namespace

bool value_for_record(const RegistryValue& value, RegistryValue& out) {
  return converted(value, CP_ACP, CP_UTF8, out);
}

bool value_from_record(const RegistryValue& value, RegistryValue& out) {
  return converted(value, CP_UTF8, CP_ACP, out);
}

}  // namespace morvex
