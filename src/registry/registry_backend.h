// What the registry operations need from the platform's registry: raw
// access without any of the program's rules. registry_windows.cpp implements
// it with advapi32, registry_file.cpp over the prefix folder's store; the
// operations in registry_operations.cpp add the read limit, the change
// journal and the dry run on top, the same on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/registry.h"

namespace morvex::backend {

using Native = RegistryKey::Native;

bool open_key(RootKey root, const std::string& path, Native& native);
bool open_key_to_read(RootKey root, const std::string& path, Native& native);
// RegistryKey::close_native releases what open_key returned.

std::optional<RegistryValue> read_value(Native key, const std::string& name);
bool list_values(Native key, std::vector<RegistryValue>& values);
bool count_subkeys(Native key, std::uint32_t& count);
bool list_subkeys(Native key, std::vector<std::string>& names);
bool write_value(Native key, const RegistryValue& value);
bool delete_value(Native key, const std::string& name);
bool delete_key(RootKey root, const std::string& path);
bool create_key(RootKey root, const std::string& path);
bool commit();
bool keep_whole_file(const std::string& copy_path, std::string& reason);
std::string whole_file_stamp();
bool whole_files_unchanged(const std::string& stamp, const std::string& copy_path);
bool put_back_whole_file(const std::string& copy_path, std::string& reason);
bool could_commit();
bool changes_wait_for_commit();
std::vector<RegistryOwnFile> own_files();
bool place_exists();
bool use_windows_disk(const std::string& folder, const std::string& user);
std::vector<std::string> whole_file_copies(const std::string& copy_path);
void end_run();

}  // namespace morvex::backend
