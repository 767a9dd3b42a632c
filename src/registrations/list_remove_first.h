// The splice shared by the registration list and the IDE's directory lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// Removes the first item of a ";"-separated list that equals `item` byte for
// byte, together with one separator next to it; every other byte of the
// list stays as it was. Nothing when no whole item matches.
std::optional<std::string> list_remove_first(std::string_view list, std::string_view item);

}  // namespace morvex
