// The registry operations on hosts without the Windows registry, over the
// registry file of the prefix folder (see reg_file/reg_store.h).
#include <cstring>
#include <vector>

#include "registry/reg_file/reg_store.h"
#include "registry/registry.h"

namespace morvex {
namespace {

using regfile::kNoKey;

// What an open handle names. The key number is refreshed by path when the
// store numbers its keys anew; a key deleted meanwhile is then not found,
// as it would not be through a handle on Windows either.
struct Handle {
  RootKey root = RootKey::current_user;
  std::string path;
  std::uint32_t key = kNoKey;
  std::uint64_t generation = 0;
};

std::vector<Handle>& handles() {
  static std::vector<Handle> table;
  return table;
}

std::vector<RegistryKey::Native>& free_handles() {
  static std::vector<RegistryKey::Native> natives;
  return natives;
}

std::size_t root_index(RootKey root) {
  return root == RootKey::current_user ? regfile::kRootCurrentUser : regfile::kRootLocalMachine;
}

// The handle's live key, or kNoKey.
std::uint32_t key_of(const RegistryKey& key) {
  regfile::Store& store = regfile::the_store();
  if (!key.is_open() || !store.ready()) return kNoKey;
  Handle& handle = handles()[key.native() - 1];
  if (handle.generation != store.generation()) {
    handle.key = store.find_key(root_index(handle.root), handle.path);
    handle.generation = store.generation();
  }
  return store.alive(handle.key) ? handle.key : kNoKey;
}

// Data the program may read: present and within the read limit.
const std::string* readable(const RegistryKey& key, const std::string& name) {
  const std::uint32_t found = key_of(key);
  if (found == kNoKey) return nullptr;
  const regfile::StoredValue* value = regfile::the_store().find_value(found, name);
  return value != nullptr && value->data.size() <= kRegistryReadLimit ? &value->data : nullptr;
}

}  // namespace

void RegistryKey::close_native(Native native) {
  handles()[native - 1] = Handle{};
  free_handles().push_back(native);
}

bool reg_open_key(RootKey root, const std::string& path, RegistryKey& key) {
  regfile::Store& store = regfile::the_store();
  const std::uint32_t found = store.find_key(root_index(root), path);
  if (found == kNoKey) return false;
  Handle handle{root, path, found, store.generation()};
  RegistryKey::Native native = 0;
  if (free_handles().empty()) {
    handles().push_back(std::move(handle));
    native = handles().size();
  } else {
    native = free_handles().back();
    free_handles().pop_back();
    handles()[native - 1] = std::move(handle);
  }
  key.adopt(native);
  return true;
}

bool reg_read_dword(const RegistryKey& key, const std::string& name, std::int32_t& number) {
  number = 0;
  const std::string* data = readable(key, name);
  if (data == nullptr) return false;
  std::uint32_t raw = 0;
  for (std::size_t i = std::min<std::size_t>(data->size(), 4); i-- > 0;)
    raw = raw << 8 | static_cast<unsigned char>((*data)[i]);
  number = static_cast<std::int32_t>(raw);
  return true;
}

std::optional<std::string> reg_read_string(const RegistryKey& key, const std::string& name) {
  const std::string* data = readable(key, name);
  if (data == nullptr) return std::nullopt;
  return std::string(data->data(), strnlen(data->data(), data->size()));
}

bool reg_write_dword(const RegistryKey& key, const std::string& name, std::int32_t number) {
  const auto raw = static_cast<std::uint32_t>(number);
  std::string data;
  for (int i = 0; i < 4; ++i) data += static_cast<char>(raw >> (8 * i));
  const std::uint32_t found = key_of(key);
  return found != kNoKey &&
         regfile::the_store().set_value(found, name, regfile::kTypeDword, std::move(data));
}

bool reg_write_string(const RegistryKey& key, const std::string& name, const std::string& text) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey &&
         regfile::the_store().set_value(found, name, regfile::kTypeSz, text + '\0');
}

bool reg_delete_value(const RegistryKey& key, const std::string& name) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey && regfile::the_store().delete_value(found, name);
}

bool reg_delete_key(RootKey root, const std::string& path) {
  return regfile::the_store().delete_key(root_index(root), path);
}

bool reg_has_subkeys(const RegistryKey& key) {
  const std::uint32_t found = key_of(key);
  return found != kNoKey && regfile::the_store().has_subkeys(found);
}

bool reg_count_values(const RegistryKey& key, std::uint32_t& count) {
  count = 0;
  const std::uint32_t found = key_of(key);
  return found != kNoKey && regfile::the_store().count_values(found, count);
}

void reg_commit() { regfile::the_store().commit(); }

}  // namespace morvex
