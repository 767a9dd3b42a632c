// The directory-list splice behind remove_product_directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// Removes the first whole item of the ";"-separated `list` that equals
// `directory` when "A" to "Z" are folded (no locale), with one separator next
// to it. The rest of the list keeps its bytes, letter case included. Nothing
// when no item matches or `directory` is empty.
std::optional<std::string> remove_directory_from_list(std::string_view list,
                                                      std::string_view directory);

}  // namespace morvex
