#include "registrations/list_remove_first.h"

#include "registrations/list_items.h"

namespace morvex {

std::optional<ListItem> next_list_item(std::string_view list, std::size_t from) {
  const std::size_t start = list.find_first_not_of(';', from);
  if (start == std::string_view::npos) return std::nullopt;
  std::size_t end = list.find(';', start);
  if (end == std::string_view::npos) end = list.size();
  return ListItem{list.substr(start, end - start), start};
}

std::optional<std::string> list_remove_first(std::string_view list, std::string_view item) {
  // Only a whole item may match: a plain substring search would cut "V"
  // out of "VX" and leave a broken list behind.
  std::optional<std::size_t> found;
  for (std::size_t from = 0; !found;) {
    const auto candidate = next_list_item(list, from);
    if (!candidate) return std::nullopt;
    if (candidate->text == item) found = candidate->offset;
    from = candidate->offset + candidate->text.size();
  }

  // The item goes with the separator before it, or after it when it starts
  // the list; every other byte, empty places included, stays.
  const std::size_t p = *found;
  const std::size_t q = p == 0 ? 0 : p - 1;
  const std::size_t rest = q + item.size() + 1;
  std::string shortened(list.substr(0, q));
  if (rest < list.size()) shortened.append(list.substr(rest));
  return shortened;
}

}  // namespace morvex
