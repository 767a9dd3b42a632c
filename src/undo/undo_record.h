// The undo record of a run (--undo FILE): a .reg file in "Windows Registry
// Editor Version 5.00" form, UTF-16LE with CRLF line ends as `reg export`
// writes it, so that `reg import` puts the registry back by itself:
//
//   [HKEY_CURRENT_USER\Software\...]        a key the run changed or deleted
//   "Compiler_List"="30;24"                 what the run found there...
//   "Created"=-                             ...or that it found nothing
//   ;>"Compiler_List"="30"                  what the run left (";>" lines)
//   ;.                                      the end of one change
//   ;file C:\Program Files\Morvex\bin\xvxc4.exe   a file kept in FILE.files
//   ;registry file 2049 1311 48213 1765...   what identified registry.reg after the run
//   ;end of the run                          the run finished: nothing is missing
//
// Each change is appended and on disk before it is made. A value appears
// once with what the run found, the first time the run changed it, so an
// import in file order gives back the state before the run; the ";>" lines
// let a restore see whether a value changed again since.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry.h"

namespace morvex {

// The line that ends each change: a restore ignores whatever follows the
// last one, a change whose record the machine did not finish writing (and
// which therefore was never made).
inline constexpr std::string_view kUndoChangeEnd = ";.";
// The line written when the run has ended: a record without it was
// interrupted, or cut afterwards.
inline constexpr std::string_view kUndoRunEnd = ";end of the run";

// The record's first bytes, as --undo makes it before the first change.
std::string undo_record_start();

// The comment that names a product file kept instead of deleted.
inline constexpr std::string_view kUndoFileNote = "file ";

// Where the host's registry file is kept as the run found it, so that a
// restore can give it back byte for byte while nothing else changed it: the
// file in its place still has the stamp the record names after the run.
inline constexpr std::string_view kUndoRegistryFileNote = "registry file ";
std::string kept_registry_file_path(const std::string& undo_path);

// Where a product file removed under an undo record is kept: beside the
// record, in FILE.files, by its Windows path (C:\dir\name -> FILE.files/C/dir/name).
std::string kept_file_path(const std::string& undo_path, const std::string& windows_path);

struct UndoKey {
  RootKey root = RootKey::current_user;
  std::string path;
};

struct UndoValue {
  RootKey root = RootKey::current_user;
  std::string key;
  std::string name;
  bool found_known = false;
  std::optional<RegistryValue> found;  // none: the run created it
  bool left_known = false;
  std::optional<RegistryValue> left;  // none: the run deleted it
};

struct UndoStep {
  enum class Kind { key, value, file };
  Kind kind = Kind::key;
  std::size_t index = 0;  // into keys, values or files
};

struct UndoRecord {
  enum class Ending {
    ended,        // the end line follows the last change
    interrupted,  // the last change is whole, and no end line follows it
    cut,          // a change is cut short; it starts on cut_line
  };
  Ending ending = Ending::ended;
  std::size_t cut_line = 0;
  std::vector<UndoKey> keys;      // every key named: each was there before the run
  std::vector<UndoValue> values;  // every value the run changed
  std::vector<std::string> files; // Windows paths of the files kept
  std::string registry_file_stamp; // empty: give the registry back value by value
  std::vector<UndoStep> steps;    // in the order the run came to them
};

enum class RecordKind {
  nothing_recorded,  // empty, or the record's start cut short: the run changed nothing
  not_a_record,      // not a file that --undo wrote
  record,
};
RecordKind undo_record_kind(std::string_view bytes);

// Reads a record with the registry file's own scanner. False with
// "LINE: WHAT" when the text is not a record the program wrote.
bool read_undo_record(std::string_view bytes, UndoRecord& record, std::string& error);

}  // namespace morvex
