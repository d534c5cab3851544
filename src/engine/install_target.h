// The target directory of one installation, held for the whole run: made
// when missing, locked against a second installer, cleared of what an
// interrupted run left, and the owner of the run's transaction directory.
// The window thread takes it before the copy starts (so that "busy" and
// "recovered" can be shown there); the worker then runs under the lock, and
// the window releases it after the registration in the starter file.
#pragma once

#include <vector>

#include "engine/journal.h"
#include "engine/tree_ops.h"

namespace ordx {

// A transaction directory stays that could not be undone: some saved files
// are still in it.
inline constexpr ErrorCode kErrorNotRestored = 1392;

class InstallTarget {
 public:
  InstallTarget() = default;
  // Gives up a target never installed into: undoes what Acquire made.
  ~InstallTarget();
  InstallTarget(const InstallTarget&) = delete;
  InstallTarget& operator=(const InstallTarget&) = delete;

  // Makes the directory and its missing levels, takes an exclusive lock on
  // it without waiting, checks that the path still names what was locked
  // (else starts over), and undoes an interrupted run's transaction.
  // 0; kErrorBusy when another installation holds it (nothing changed);
  // kErrorNotRestored when a leftover transaction cannot be undone (nothing
  // else changed); another code when the directory cannot be made or opened.
  ErrorCode Acquire(const WideString& directory);
  // Whether Acquire undid an interrupted run.
  bool recovered() const { return recovered_; }
  // Whether a transaction directory stayed with files that could not be
  // put back (by Acquire's recovery or by Rollback).
  bool notRestored() const { return notRestored_; }

  // The run's record, set up for the root; the journal starts on the first
  // change (BeginChanges).
  RollbackRecord* record() { return &record_; }
  // Makes the transaction directory and journal when not there yet, with
  // the levels of the root path this run and an interrupted one made.
  ErrorCode BeginChanges();
  // After a successful copy: flushes the file system, removes the journal
  // (the commit point) and the backups. The made levels stay.
  ErrorCode Commit();
  // Undoes the record. False when some saved file could not be put back;
  // the transaction directory then stays.
  bool Rollback();
  // The transaction directory's path, for messages.
  WideString transactionPath() const;
  const WideString& path() const { return record_.root; }
  bool held() const { return directory_.get() != kInvalidHandle; }
  // Ends the lock. A target never committed or rolled back is given up.
  void Release();

 private:
  ErrorCode Recover();

  ScopedHandle directory_;
  Journal journal_;
  RollbackRecord record_;
  bool recovered_ = false;
  bool notRestored_ = false;
  bool finished_ = false;
};

}  // namespace ordx
