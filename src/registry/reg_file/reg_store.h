// The registry of a run on a host without the Windows registry: the file
// registry.reg in the prefix folder, in the format regedit exports.
//
// The file is read once, at the first use, under an exclusive lock on the
// prefix folder that is held until the process ends, so a second run waits
// for the first. Only an index of its keys stays in memory; a key's values
// are read when the program first touches them. reg_commit writes the
// changes back in one atomic replace that copies every untouched byte as it
// was; a run that changed nothing writes nothing.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/host_store.h"
#include "registry/reg_file/reg_index.h"
#include "registry/reg_file/reg_save.h"
#include "registry/reg_file/reg_scanner.h"
#include "registry/reg_file/reg_text.h"

namespace morvex::regfile {

using StoredValue = morvex::StoredValue;

class Store final : public HostStore {
 public:
  // Locks and loads at the first use. False when the registry cannot be
  // used; the reason was reported once, and the file is never written.
  bool ready() override;
  // Changes whenever keys are numbered anew (after a save), so that an open
  // handle finds its key again by path.
  std::uint64_t generation() const override { return generation_; }

  // Keys are numbers valid for one generation; kNoKey when missing.
  std::uint32_t find_key(std::size_t root, std::string_view path) override;
  bool alive(std::uint32_t key) const override;
  bool count_subkeys(std::uint32_t key, std::uint32_t& count) const override;
  // Names as the file first spelled them, in the order the file names them.
  bool list_subkeys(std::uint32_t key, std::vector<std::string>& names) override;
  const StoredValue* find_value(std::uint32_t key, std::string_view name) override;
  // The key's present values, valid until the next change.
  bool list_values(std::uint32_t key, std::vector<const StoredValue*>& values) override;
  bool set_value(std::uint32_t key, std::string_view name, std::uint32_t type, std::string data) override;
  bool delete_value(std::uint32_t key, std::string_view name) override;
  bool delete_key(std::size_t root, std::string_view path) override;
  // Makes the key and its missing ancestors (only a restore does); a key
  // made gets a section of its own at the end of the file when saved.
  bool create_key(std::size_t root, std::string_view path) override;
  // Saves the changes, if any; false, reported, when they could not be.
  bool commit(const BeforeReplace& before_replace) override;
  // What a save would meet, for a dry run that holds its changes back:
  // false, reported as the save would report it, when the file's folder
  // cannot be written.
  bool could_save() override;

  // The file as a whole, for an undo record that gives it back byte for
  // byte (reg_store_whole.cpp). keep_copy writes the file as loaded to
  // `copy_path`, durably; without a file there is nothing to keep. The stamp
  // identifies the file now in registry.reg's place (device, inode, size,
  // time); empty when there is none. put_back_copy replaces registry.reg
  // with the copy in one rename, as a save does.
  bool keep_copy(const std::string& copy_path, std::string& reason) override;
  std::string file_stamp() override;
  bool put_back_copy(const std::string& copy_path, std::string& reason) override;
  std::vector<std::string> copy_files(const std::string& copy_path) override;

  // Forgets the run without saving and gives up the lock, as the end of the
  // process does: for tests that act out several runs in one process.
  void end_run() override;

 private:
  template <class Unit>
  friend class IndexSink;
  template <class Unit>
  friend class ValueSink;

  enum class State { unloaded, ready, failed, saved };

  struct Value {
    StoredValue now;
    bool present = false;
    bool stored = false;  // in the file as loaded
    std::uint32_t stored_type = 0;
    std::string stored_data;
    struct Lines {
      std::uint64_t begin;
      std::uint64_t end;
    };
    std::vector<Lines> lines;  // every occurrence in the file; the last one counts
  };
  struct KeyValues {
    std::vector<Value> values;
    std::unordered_map<std::string, std::size_t> by_name;  // folded name -> values index
    std::uint64_t append_at = 0;  // after the last value line of its last section
    Value* find(std::string_view name);
  };

  bool load();
  bool load_failed();
  bool empty_registry();
  bool find_save_target();
  void forget_file();
  void fail_reading(const std::string& reason);
  // Bytes of the loaded file; false with errno set.
  bool read_at(void* data, std::size_t size, std::uint64_t offset) const;
  // Checks the whole file after its byte-order mark and notes its sections.
  bool check_file(const ByteOrderMark& mark, ScanError& error);
  template <class Unit>
  bool scan_file(std::uint64_t begin, ScanError& error);
  template <class Unit>
  std::uint64_t split_point(std::uint64_t begin) const;
  template <class Unit>
  bool scan_whole(std::uint64_t begin, ScanError& error);
  // What the check found out about the text as a whole.
  void take_header(bool utf16, FileHeader header, std::string_view line_end,
                   std::uint64_t text_begin, std::uint64_t text_end);
  // Indexes the keys a lookup of root\path needs: its bucket, or every key
  // for a path above the buckets, so that a key above them is only ever seen
  // with all its subkeys. False when the file could no longer be read
  // (reported).
  bool index_for(std::size_t root, std::string_view path);
  bool index_all();
  std::uint32_t bucket_of_path(std::size_t root, std::string_view path) const;
  template <class Unit>
  bool index_bucket(std::uint32_t bucket, ScanError& error);
  template <class Unit>
  bool index_rest(ScanError& error);
  std::size_t depth_of(std::uint32_t key) const;
  template <class Unit>
  std::uint32_t find_child(std::uint32_t parent, const Unit* name, std::size_t size);
  std::uint32_t find_named_child(std::uint32_t parent, std::string_view name);
  template <class Unit>
  bool load_values(std::uint32_t key, KeyValues& values, std::string& reason);
  KeyValues* values_of(std::uint32_t key);
  bool read_name(std::uint32_t key, std::string& name);
  bool key_path(std::uint32_t key, std::string& path);
  bool plan(std::vector<Edit>& edits);
  // Where a deleted section's bytes end, short of the comments it keeps.
  bool deleted_section_end(std::uint64_t begin, std::uint64_t& end);
  template <class Unit>
  bool deleted_section_tail(std::uint64_t begin, std::uint64_t& end);

  State state_ = State::unloaded;
  std::uint64_t generation_ = 0;
  std::string folder_;
  std::string path_;
  int dir_fd_ = -1;   // the prefix folder, locked
  int file_fd_ = -1;  // registry.reg as loaded; -1 when there is none
  std::uint64_t file_size_ = 0;  // up to a DOS end-of-file byte, which stays last
  struct stat file_status_ {};
  // Where a save goes: registry.reg itself, or the file it links to.
  std::string save_folder_;
  std::string save_name_;
  Encoding encoding_ = Encoding::ansi;
  FileHeader header_ = FileHeader::regedit4;
  std::string line_end_ = "\r\n";
  bool ends_with_line_end_ = true;
  KeyIndex index_;
  std::uint64_t text_begin_ = 0;  // after the byte-order mark
  bool all_indexed_ = false;
  std::vector<std::uint32_t> indexed_buckets_;
  std::unordered_map<std::uint32_t, KeyValues> values_;  // keys whose values were read
  std::vector<std::uint32_t> deleted_;                   // in the order of deletion
  std::vector<std::uint32_t> created_;  // keys made, parents first
};

// The one store of the process.
Store& the_store();

}  // namespace morvex::regfile
