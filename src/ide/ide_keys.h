// The IDE's own keys below HKEY_CURRENT_USER that the product changes, named
// once for the uninstall that restores them and for --list and --check.
#pragma once

namespace morvex {

struct IdeKeys {
  int generation;  // 4 or 5
  const char* compiler_tool_key;
  const char* linker_tool_key;
  const char* tools_menu_key;
  const char* label_stem;  // the field that holds a Tools menu entry's label
};

inline constexpr IdeKeys kIdeKeys4{
    4,
    "Software\\Microsoft\\Developer\\Build System\\Components\\Platforms\\Win32 (x86)\\Tools\\"
    "32-bit C/C++ Compiler for 80x86",
    "Software\\Microsoft\\Developer\\Build System\\Components\\Platforms\\Win32 (x86)\\Tools\\"
    "COFF Linker for 80x86",
    "Software\\Microsoft\\Developer\\Tools",
    "DialogName#",
};

inline constexpr IdeKeys kIdeKeys5{
    5,
    "Software\\Microsoft\\DevStudio\\5.0\\Build System\\Components\\Platforms\\Win32 (x86)\\Tools\\"
    "32-bit C/C++ Compiler for 80x86",
    "Software\\Microsoft\\DevStudio\\5.0\\Build System\\Components\\Platforms\\Win32 (x86)\\Tools\\"
    "COFF Linker for 80x86",
    "Software\\Microsoft\\DevStudio\\5.0\\Tools",
    "MenuName#",
};

}  // namespace morvex
