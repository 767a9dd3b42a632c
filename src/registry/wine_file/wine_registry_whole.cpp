// Wine's two files as a whole, for an undo record that gives them back byte
// for byte: copies of both as the run loaded them, kept under their own
// names, and a stamp naming what is now in their places.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "registry/wine_file/wine_registry.h"
#include "text/path_separator.h"

namespace morvex::winefile {

std::vector<regfile::NamedFile> WineRegistry::named_files() const {
  std::vector<regfile::NamedFile> files;
  for (const File* file : {&user_, &machine_}) files.push_back({std::string(file->name), folder_ + "/" + file->name});
  return files;
}

std::vector<std::string> WineRegistry::copy_files(const std::string& copy_path) {
  const std::string folder = host_folder_of(copy_path);
  return {folder + "/" + user_.name, folder + "/" + machine_.name};
}

bool WineRegistry::keep_copy(const std::string& copy_path, std::string& reason) {
  if (!ready()) return true;  // nothing a copy could give back
  if (!regfile::make_folder_durably(host_folder_of(copy_path), reason)) return false;
  const std::vector<std::string> copies = copy_files(copy_path);
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const File& file = i == 0 ? user_ : machine_;
    if (file.fd >= 0 &&
        !regfile::copy_durably(file.fd, file.status, copies[i], reason, (std::string(file.name) + ".saving").c_str()))
      return false;
  }
  return true;
}

std::string WineRegistry::file_stamp() {
  return regfile::stamp_of_files(named_files());
}

bool WineRegistry::unchanged_since(const std::string& stamp, const std::string& copy_path) {
  return regfile::files_as_stamped_or_kept(stamp, named_files(), host_folder_of(copy_path));
}

bool WineRegistry::put_back_copy(const std::string& copy_path, std::string& reason) {
  if (!ready()) {
    reason = "Wine's registry files cannot be read";
    return false;
  }
  const std::vector<std::string> copies = copy_files(copy_path);
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const File& file = i == 0 ? user_ : machine_;
    // A restore cut short may have put this one back already.
    if (regfile::same_bytes(copies[i], folder_ + "/" + file.name)) continue;
    const int copy_fd = open(copies[i].c_str(), O_RDONLY | O_CLOEXEC);
    if (copy_fd < 0 && errno == ENOENT) continue;  // the prefix had no such file
    struct stat copied {};
    bool put_back = copy_fd >= 0 && fstat(copy_fd, &copied) == 0;
    if (!put_back) reason = std::strerror(errno);
    // The copy's bytes, with the owner and permission bits of the file they replace.
    struct stat status = file.fd >= 0 ? file.status : copied;
    status.st_size = copied.st_size;
    put_back = put_back && regfile::copy_durably(copy_fd, status, folder_ + "/" + file.name, reason,
                                                 (std::string(file.name) + ".saving").c_str());
    if (copy_fd >= 0) close(copy_fd);
    if (!put_back) {
      unload();
      return false;
    }
  }
  unload();  // the next use reads the files anew
  return true;
}

}  // namespace morvex::winefile
