// Walking the items of a ";"-separated list.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace morvex {

// An item is a maximal run of bytes other than ";"; empty places between
// separators are no items. `offset` is where the item starts in the list.
struct ListItem {
  std::string_view text;
  std::size_t offset;
};

// The item that starts at or after `from`, if any.
std::optional<ListItem> next_list_item(std::string_view list, std::size_t from);

// Calls `visit` with each item in order.
template <typename Visit>
void for_each_list_item(std::string_view list, Visit visit) {
  std::size_t from = 0;
  while (const auto item = next_list_item(list, from)) {
    visit(*item);
    from = item->offset + item->text.size();
  }
}

}  // namespace morvex
