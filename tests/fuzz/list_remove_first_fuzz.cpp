// list_remove_first against a plain model of a ";"-separated list: the first
// item equal to the one asked for goes with one separator next to it, and
// every other byte stays.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registrations/list_remove_first.h"

namespace {

struct Item {
  std::string_view text;
  std::size_t offset;
};

std::vector<Item> items_of(std::string_view list) {
  std::vector<Item> items;
  for (std::size_t i = 0; i < list.size();) {
    if (list[i] == ';') {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < list.size() && list[i] != ';') ++i;
    items.push_back({list.substr(start, i - start), start});
  }
  return items;
}

[[noreturn]] void fail(const char* what, std::string_view list, std::string_view item) {
  std::fprintf(stderr, "list_remove_first fuzz: %s\n  list \"%.*s\"\n  item \"%.*s\"\n", what,
               static_cast<int>(list.size()), list.data(), static_cast<int>(item.size()),
               item.data());
  std::abort();
}

}  // namespace

// First byte: with its high bit set, the item is one of the list's own items
// (so that most runs find something); otherwise it is the next bytes, as
// many as the low bits say.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view list = rest;
  std::string_view item;
  if (control & 0x80) {
    const std::vector<Item> items = items_of(list);
    if (!items.empty()) item = items[(control & 0x7F) % items.size()].text;
  } else {
    const std::size_t n = std::min<std::size_t>(control, rest.size());
    item = rest.substr(0, n);
    list = rest.substr(n);
  }

  const std::vector<Item> items = items_of(list);
  std::size_t match = items.size();
  for (std::size_t k = 0; k < items.size() && match == items.size(); ++k)
    if (items[k].text == item) match = k;

  const std::optional<std::string> result = morvex::list_remove_first(list, item);
  if (match == items.size()) {
    if (result) fail("found an item that is not in the list", list, item);
    return 0;
  }
  if (!result) fail("missed an item of the list", list, item);

  std::string expected(list);
  const std::size_t p = items[match].offset;
  if (p > 0)
    expected.erase(p - 1, item.size() + 1);
  else
    expected.erase(0, std::min(item.size() + 1, expected.size()));
  if (*result != expected) fail("cut the list at the wrong place", list, item);

  const std::vector<Item> left = items_of(*result);
  if (left.size() + 1 != items.size()) fail("lost or gained an item", list, item);
  for (std::size_t k = 0, j = 0; k < items.size(); ++k) {
    if (k == match) continue;
    if (left[j++].text != items[k].text) fail("changed another item", list, item);
  }
  return 0;
}
