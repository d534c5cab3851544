// What one run changed in the target, and the tree operations that record
// and undo it. Every change is announced in the journal before it is made,
// so the same undo serves a failing run and the recovery of a killed one.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "engine/journal.h"
#include "fs/dir_ops.h"
#include "fs/path.h"

namespace ordx {

struct CreatedFile {
  WideString relative;
  std::uint64_t inode = 0;  // a file of another inode is no longer the run's
};

struct SavedFile {
  WideString relative;
  WideString backup;  // its name inside the transaction directory
};

struct DirectoryTime {
  WideString relative;  // empty for the root
  FileStamp stamp;
};

// What one run changed, so that it can be undone.
struct RollbackRecord {
  WideString root;                         // the target directory, ending with "/"
  Handle rootDirectory = kInvalidHandle;   // the open (and locked) root; not owned
  Journal* journal = nullptr;              // null until the run's first change; not owned
  std::vector<WideString> targetLevels;    // levels of the root path made, uppermost first
  // Times of existing directories above the root that received a new level.
  std::vector<DirectoryTime> outerTimes;
  std::vector<WideString> createdDirectories;  // relative, uppermost first
  std::vector<CreatedFile> createdFiles;
  std::vector<SavedFile> savedFiles;
  // Temporary files; inode 0 when the run may have died before it could
  // say which file it made.
  std::vector<CreatedFile> temporaries;
  std::vector<DirectoryTime> directoryTimes;
  // Directories whose time is recorded, or that the run made (whose time
  // nobody needs back).
  std::set<WideString> timedDirectories;
  std::uint64_t nextBackup = 0;
};

// Rebuilds the record of an interrupted run from its journal.
RollbackRecord RecordFromJournal(const std::vector<JournalRecord>& records);

// Journals and remembers the time of directory `relative`, open as `dir`,
// before the run first changes its entries (once per directory).
ErrorCode NoteDirectoryTime(RollbackRecord* record, Handle dir, const WideString& relative);

// Opens directory `relative` below the root, making each missing level once
// (each journaled, with its parent's time, before it is made). Nothing is
// followed out of the root.
ErrorCode CreateDirectoryTree(RollbackRecord* record, const WideString& relative,
                              ScopedHandle* out);

// Makes the missing levels of an absolute target path, each once, from the
// top; `made` receives the levels made, uppermost first, and `times` the
// earlier times of the existing directories they were made in. 0, or 2 for
// every failure.
ErrorCode CreateTargetLevels(const WideString& path, std::vector<WideString>* made,
                             std::vector<DirectoryTime>* times);
// Removes the levels (deepest first) that are empty, then sets the times
// of the directories they were made in back.
void RemoveTargetLevels(const std::vector<WideString>& levels,
                        const std::vector<DirectoryTime>& times);

// Undoes the record in the safe order: the temporary files, the files the
// run created (those still of its inode), the directories it made (deepest
// first, only when empty), then the saved files renamed back from the
// transaction directory open as `transaction`. True when every saved file
// is back; a backup that could not be put back stays where it is.
bool UndoChanges(const RollbackRecord& record, Handle transaction);
// Sets the recorded directory times back (nanoseconds, access time left
// alone); a time that cannot be set is left as it is.
void RestoreDirectoryTimes(const RollbackRecord& record);

}  // namespace ordx
