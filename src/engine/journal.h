// The journal of one installation run: the transaction directory
// ".ordx-transaction" in the target root, holding the run's backups and a
// file of records, each appended before the step it announces, from which
// this process or the next one can undo an interrupted run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fs/file_layer.h"
#include "kit/kit_reader.h"  // the transaction directory's name

namespace ordx {

// The file of records inside the transaction directory.
inline constexpr char16_t kJournalFileName[] = u"journal";

struct JournalRecord {
  enum Kind : char {
    kLevel = 'L',      // the run made this level of the target path (absolute)
    kOuterTime = 'A',  // time of the existing directory (absolute) a level was made in
    kDirectory = 'D',  // about to make this directory (relative to the root)
    kTime = 'M',       // this directory's time before the run changed it: a = s, b = ns
    // About to create this temporary file (a = 0, its name free), then
    // created as inode a.
    kTemporary = 'T',
    kNewFile = 'N',    // about to rename a new file (inode a) to this name, where none was
    kSaved = 'S',      // about to save the file of this name as backup "b<a>"
  };
  Kind kind = kLevel;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  WideString path;
  bool operator==(const JournalRecord&) const = default;
};

// One record as bytes: kind, two numbers, then the path's length and bytes,
// so that any byte may appear in a name.
std::string EncodeRecord(const JournalRecord& record);
// Every complete record, in order; a torn last record (the process died in
// its write) and anything after a damaged one are ignored.
std::vector<JournalRecord> DecodeJournal(const std::string& bytes);

// The backup name of saved file number n inside the transaction directory.
WideString BackupName(std::uint64_t number);

// The transaction directory and the open journal file.
class Journal {
 public:
  Journal() = default;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Makes the transaction directory (private) in the root open as `root`,
  // and the journal file in it.
  ErrorCode Create(Handle root);
  // Opens an existing transaction directory and its journal for appending.
  ErrorCode Open(Handle root);
  // Appends one record; the step it announces must not run when this fails.
  ErrorCode Append(const JournalRecord& record);
  // Removes the journal file first (the commit point), then every other
  // name in the directory, then the directory. A journal that cannot be
  // removed is a failure (it would undo the run later); the rest is tidying.
  ErrorCode Remove(Handle root);
  bool open() const { return directory_.get() != kInvalidHandle; }
  Handle directory() const { return directory_.get(); }

 private:
  ScopedHandle directory_;
  ScopedHandle file_;
};

// Reads the journal of the transaction directory open as `directory`
// (empty when it has none).
ErrorCode ReadJournal(Handle directory, std::vector<JournalRecord>* out);

}  // namespace ordx
