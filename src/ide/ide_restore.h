// Putting an IDE generation's own settings back once no release is left
// registered with it.
#pragma once

#include <string>

namespace morvex {

// Tools menu: removes the first "&Select Compiler" entry of generation 4 or
// 5, moving the later entries down. Other generations: nothing at all.
void remove_tools_menu_entry(int ide_generation);
void copy_tool_dword(const std::string& tools_key_path, const std::string& stem, int from, int to);
void copy_tool_string(const std::string& tools_key_path, const std::string& stem, int from, int to);

// Sets the tool's "Executable Path"; true when written.
bool restore_tool_executable(const std::string& executable, const std::string& tool_key_path);

// Takes the product's directory named by `product_value` out of the IDE
// list `list_value`; `directory_selector` is 4, 5, 424 or 524. Returns 0.
int remove_product_directory(const std::string& product_value, const std::string& list_value,
                             int directory_selector);

}  // namespace morvex
