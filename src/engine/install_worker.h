// The install worker: one installation run that writes every kit entry into
// the template directory, keeps a rollback record of everything it changes,
// and at the end either commits (drops the backups) or rolls back so that the
// template directory is exactly as it was before the run.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "fs/file_layer.h"

namespace ordx {

class InstallState;
class KitReader;

// What one run changed, so that it can be undone.
struct RollbackRecord {
  WideString root;    // the target directory, as the job gave it
  WideString backup;  // the private backup directory, ending with "/"; empty until made
  std::vector<WideString> createdDirectories;  // uppermost levels first
  std::vector<WideString> createdFiles;        // targets that did not exist before
  std::size_t savedFiles = 0;                  // files moved into the backup tree
  // Modification times of existing directories from before the run first
  // added or removed something in them; a rollback sets them back.
  std::map<WideString, FILETIME> directoryTimes;
};

class InstallWorker {
 public:
  InstallWorker() = default;
  InstallWorker(const InstallWorker&) = delete;
  InstallWorker& operator=(const InstallWorker&) = delete;

  // Runs one installation of the job in `state` and posts its outcome there:
  // 100 percent with the finish text after success, or the failing code with
  // the error text once the rollback is done. Returns 0, the failing code, or
  // 1223 after a cancel (posted with the cancel text). A set `stop` flag ends the
  // pause after a success early.
  ErrorCode Run(InstallState* state, const std::atomic<bool>* stop = nullptr);

  // Pushes a fresh record for `targetDir` and makes the run's private backup
  // directory "qzstp<N>" in the temporary directory.
  ErrorCode BeginRun(const WideString& targetDir);
  // Moves `target` into the backup tree. 0 when moved, 2 when there was
  // nothing to move; anything else is a failure.
  ErrorCode BackupFile(const WideString& target);
  // Drops the backup tree; the run's files and directories stay.
  void Commit();
  // Rolls back, then posts `code` with the error text and `percent`.
  ErrorCode ReportError(ErrorCode code, std::uint32_t percent);
  // Puts replaced files back, removes what the run created and the backup
  // tree (kept when a file could not be put back). Returns `code`.
  ErrorCode Rollback(ErrorCode code);

  // Remembers the time of existing directory `dir` before the run changes
  // its entries (once per directory; nothing when it is no directory).
  void NoteDirectoryTime(const WideString& dir);

  // The record the run works on; null before BeginRun.
  RollbackRecord* record() { return records_.empty() ? nullptr : &records_.back(); }

  // How long a successful run keeps 100 percent on screen before it returns.
  void set_finish_pause_ms(std::uint32_t ms) { finishPauseMs_ = ms; }

 private:
  // Handles entry `index` with target path `target`: skip, or back up and
  // copy. `copied` tells whether anything was written.
  ErrorCode InstallEntry(KitReader* kit, std::size_t index, const WideString& target,
                         bool* copied);
  void Pause(const std::atomic<bool>* stop) const;

  std::vector<RollbackRecord> records_;
  InstallState* state_ = nullptr;
  // Targets this run has written, so that an entry named twice never backs
  // up the run's own file over the saved original.
  std::set<WideString> written_;
  std::uint32_t finishPauseMs_ = 1000;
};

// Copies entry `index` of the open kit into `target` (created when missing,
// cut to the entry's size, given the entry's time). 38 when the unpacked kit
// ends before the entry does.
ErrorCode CopyEntry(KitReader* kit, std::size_t index, const WideString& target);

}  // namespace ordx
