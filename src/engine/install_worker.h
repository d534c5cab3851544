// The install worker: one installation run that writes every kit entry into
// the template directory as one transaction on the target's own file
// system. Each entry is written under a temporary name beside its final one
// and renamed into place, the file it replaces kept as a hard link in the
// transaction directory; at the end the run flushes and commits, or rolls
// back so that the template directory is exactly as it was.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>

#include "engine/install_target.h"
#include "fs/file_layer.h"

namespace ordx {

class InstallState;
class KitReader;

class InstallWorker {
 public:
  InstallWorker() = default;
  InstallWorker(const InstallWorker&) = delete;
  InstallWorker& operator=(const InstallWorker&) = delete;

  // Runs one installation of the job in `state` and posts its outcome there:
  // 100 percent with the finish text after success; the failing code with
  // the error text, the place and the reason (ComposeFailureText) once the
  // rollback is done; 1223 with the cancel text after a cancel. When a
  // saved file could not be put back, the text is the not-restored message
  // and the transaction directory's path. The run works under the target
  // the state holds (taken by the window thread), or takes one itself for
  // the run's length. A set `stop` flag ends the pause after a success early.
  ErrorCode Run(InstallState* state, const std::atomic<bool>* stop = nullptr);

  // True after a rollback that left saved files in the transaction directory.
  bool notRestored() const { return notRestored_; }
  // The system's reason for the step that failed (errno and path).
  const SystemFailure& failure() const { return failure_; }
  // Seconds the commit spent flushing the file system.
  double flushSeconds() const { return flushSeconds_; }

  // How long a successful run keeps 100 percent on screen before it returns.
  void set_finish_pause_ms(std::uint32_t ms) { finishPauseMs_ = ms; }

 private:
  ErrorCode RunUnder(InstallTarget* target, KitReader* kit, const std::atomic<bool>* stop);
  // Installs entry `index` unless it is up to date; `copied` tells whether
  // anything was written.
  ErrorCode InstallEntry(InstallTarget* target, KitReader* kit, std::size_t index, bool* copied);
  // Rolls back and posts `code` with its text and `percent`.
  ErrorCode Fail(InstallTarget* target, ErrorCode code, std::uint32_t percent);
  void Pause(const std::atomic<bool>* stop) const;

  InstallState* state_ = nullptr;
  // Names this run has written, so that an entry named twice never saves
  // the run's own file over the user's original.
  std::map<WideString, bool> written_;  // true: no file of the user's was there
  // Inodes of the files this run put where none of the user's was: found
  // under another name, such a file is still the run's, never a backup.
  std::set<std::uint64_t> ownInodes_;
  bool notRestored_ = false;
  SystemFailure failure_;
  double flushSeconds_ = 0;
  std::uint32_t finishPauseMs_ = 1000;
};

// Bytes a run would write into the held target: the sizes of the entries
// that are not up to date there, as far as the unpacked kit holds them.
// Nothing is changed.
ErrorCode MeasureWrites(InstallTarget* target, const KitReader& kit, std::uint64_t* bytes);

// The text posted after a failed step: `headline`, then a line with the
// path (made readable by EscapeForLine), then a line with the reason. With
// neither, the headline alone; a reason without a path keeps an empty path
// line, so that the second line is always the place.
WideString ComposeFailureText(const WideString& headline, const WideString& path,
                              const WideString& reason);
// The path with backslashes, double quotes and control characters escaped
// as in C ("\\", "\"", "\n", "\x01", "\u202E"), so that it stays one line and
// reads the same inside quotes.
WideString EscapeForLine(const WideString& path);
// Why a step failed, in the user's words: a text of the table for the
// common cases, else the C library's own for `error`; empty when neither
// the code nor `error` says anything.
WideString FailureReason(ErrorCode code, int error);
// Where a failure happened, as the user knows the place: relative to the
// template directory `root` (as typed, or as the system resolved it:
// `resolvedRoot`) where it lies inside it, else as it is. The transaction
// directory and the root itself are shown as the root.
WideString FailurePlace(const WideString& path, const WideString& root,
                        const WideString& resolvedRoot);

// Copies entry `index` of the open kit into the new file open as `out` and
// gives it the entry's time (a time that cannot be set is no failure). 38
// when the unpacked kit ends before the entry does.
ErrorCode CopyEntry(KitReader* kit, std::size_t index, Handle out);

}  // namespace ordx
