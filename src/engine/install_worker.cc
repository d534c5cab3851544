// One installation run: examine, back up, create and copy each kit entry in
// stored order; commit at the end, or roll back on the first failure so that
// the template directory is left exactly as it was.
#include "engine/install_worker.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/install_state.h"
#include "engine/tree_ops.h"
#include "kit/kit_reader.h"
#include "text/convert.h"
#include "text/string_table.h"

namespace ordx {

namespace {

// Far more than any temporary directory holds; only a broken file system
// answers "exists" this often.
constexpr std::int32_t kMaxBackupNumber = 1000000;

WideString EntryTarget(const WideString& dir, const WideString& name) {
  WideString relative = name;
  ReplaceAll(relative, u"\\", u"/");
  return dir + relative;
}

// Everything before the last "/"; empty when there is none.
WideString ParentOf(const WideString& path) {
  const std::size_t slash = path.rfind(u'/');
  return slash == WideString::npos ? WideString() : path.substr(0, slash);
}

// The path with runs of "/" collapsed, so "a//b" and "a/b" count as one file.
WideString Canonical(const WideString& path) {
  WideString out;
  for (std::size_t i = 0; i < path.length(); ++i) {
    if (path[i] == u'/' && !out.empty() && out.back() == u'/') continue;
    out += path[i];
  }
  return out;
}

// Installed files carry whole seconds only, so comparing against the
// entry's sub-second part would rewrite such a file on every run.
FILETIME WholeSeconds(FILETIME time) { return time - time % kFileTimeTicksPerSecond; }

ErrorCode LastErrorOr(ErrorCode fallback) {
  const ErrorCode code = GetLastError();
  return code != kErrorSuccess ? code : fallback;
}

}  // namespace

ErrorCode CopyEntry(KitReader* kit, std::size_t index, const WideString& target) {
  if (kit == nullptr || index >= kit->entries().size() || kit->buffer() == nullptr ||
      kit->bufferSize() == 0) {
    return kErrorInvalidParameter;
  }
  const KitEntry& entry = kit->entries()[index];

  ScopedHandle out;
  ErrorCode code = CreateFile(target, kGenericWrite, 0, kCreateAlways, out.out(), kAttributeNormal);
  if (code != kErrorSuccess) return code;

  if (SetFilePointer(kit->file(), entry.dataOffset, 0, kFileBegin) < 0) {
    return LastErrorOr(kErrorInvalidHandle);
  }
  std::uint32_t remaining = entry.dataSize;
  while (remaining > 0) {
    const std::uint32_t want = std::min(remaining, kit->bufferSize());
    std::uint32_t got = 0;
    code = ReadFile(kit->file(), kit->buffer(), want, &got, nullptr);
    if (code != kErrorSuccess) return code;
    // The unpacked kit ended inside this entry: more reads would never
    // bring the missing bytes.
    if (got < want) return kErrorHandleEof;
    std::uint32_t written = 0;
    code = WriteFile(out.get(), kit->buffer(), got, &written, nullptr);
    if (code != kErrorSuccess) return code;
    remaining -= got;
  }
  // An older, longer file keeps nothing beyond the entry's bytes.
  code = SetEndOfFile(out.get());
  if (code != kErrorSuccess) return code;
  code = SetFileTime(out.get(), nullptr, nullptr, &entry.lastWriteTime);
  if (code != kErrorSuccess) return code;
  // A failing close can be the first sign of a lost write; it sets the last
  // error, which the successful SetFileTime left at 0.
  CloseHandle(out.Release());
  return GetLastError();
}

ErrorCode InstallWorker::Run(InstallState* state, const std::atomic<bool>* stop) {
  if (state == nullptr) return kErrorInvalidParameter;
  state_ = state;
  written_.clear();
  KitReader* kit = nullptr;
  WideString dir;
  state->GetJob(&kit, &dir);
  // Backslashes typed as separators would otherwise become part of a name
  // one level up, outside the chosen directory.
  ReplaceAll(dir, u"\\", u"/");
  if (kit == nullptr) return ReportError(kErrorInvalidParameter, 0);

  ErrorCode code = BeginRun(dir);
  if (code != kErrorSuccess) return ReportError(code, 0);

  const std::size_t count = kit->entries().size();
  for (std::size_t i = 0; i < count; ++i) {
    const WideString target = EntryTarget(dir, kit->entries()[i].name);
    const auto percent = static_cast<std::uint32_t>(std::uint64_t{i} * 100 / count);
    state->Post(kErrorSuccess, target, percent);
    bool copied = false;
    code = InstallEntry(kit, i, target, &copied);
    if (code != kErrorSuccess) return ReportError(code, percent);
    if (copied && state->IsCancelled()) {
      Rollback(kErrorCancelled);
      state->Post(kErrorCancelled, LoadString("IDS_CANCEL_FINISH"), percent);
      return kErrorCancelled;
    }
  }
  Commit();
  state->Post(kErrorSuccess, LoadString("IDS_INSTALL_FINISH"), 100);
  Pause(stop);
  return kErrorSuccess;
}

ErrorCode InstallWorker::InstallEntry(KitReader* kit, std::size_t index,
                                      const WideString& target, bool* copied) {
  const KitEntry& entry = kit->entries()[index];
  // The reader refuses such names; a name that slipped through must still
  // not write outside the target directory.
  if (!IsSafeEntryName(entry.name)) return kErrorInvalidData;

  const PathInfo info = ExaminePath(target);
  const bool regular = info.resolved && S_ISREG(info.mode);
  // A directory (or a device, a pipe...) is never moved into the backup: a
  // commit would delete it with everything in it.
  if (info.present && !info.isLink && !regular) return kErrorAlreadyExists;

  // Up to date: the installed copy is at least as new as the kit's. The
  // time comes from the look-up, so the file is never opened (an unreadable
  // file can still be judged, and a pipe swapped in cannot block the run).
  if (regular && info.lastWrite >= WholeSeconds(entry.lastWriteTime)) return kErrorSuccess;

  const WideString parent = ParentOf(target);
  if (!parent.empty()) NoteDirectoryTime(parent);
  const WideString key = Canonical(target);
  // A file this run wrote already has its original saved; backing it up
  // again would replace that original.
  if (written_.count(key) == 0) {
    const ErrorCode code = BackupFile(target);
    if (code == kErrorFileNotFound) {
      record()->createdFiles.push_back(target);
    } else if (code != kErrorSuccess) {
      return code;
    } else if (!info.present) {
      // Moved something the look-up could not see; it cannot be judged, so
      // the run ends and the rollback puts it back.
      return kErrorInvalidParameter;
    }
  }

  if (!parent.empty()) {
    const ErrorCode code = CreateDirectoryTree(this, parent);
    if (code != kErrorSuccess) return code;
  }
  written_.insert(key);
  const ErrorCode code = CopyEntry(kit, index, target);
  if (code != kErrorSuccess) return code;
  *copied = true;
  return kErrorSuccess;
}

ErrorCode InstallWorker::BeginRun(const WideString& targetDir) {
  records_.push_back(RollbackRecord{});
  RollbackRecord& record = records_.back();
  record.root = targetDir;

  WideString temp;
  GetTempPath(&temp);
  ErrorCode code = CreateDirectoryTreeQuiet(temp);
  if (code != kErrorSuccess) return code;
  if (temp.empty() || temp.back() != u'/') temp += u"/";

  // A name that exists in any form, made by anyone, is never entered.
  for (std::int32_t number = 0; number < kMaxBackupNumber; ++number) {
    const WideString candidate = temp + u"qzstp" + IntToWide(number, 10);
    code = CreatePrivateDirectory(candidate);
    if (code == kErrorAlreadyExists) continue;
    if (code != kErrorSuccess) return code;
    record.backup = candidate + u"/";
    return kErrorSuccess;
  }
  return kErrorAlreadyExists;
}

ErrorCode InstallWorker::BackupFile(const WideString& target) {
  RollbackRecord* const current = record();
  if (current == nullptr || current->backup.empty() ||
      !target.starts_with(current->root.view())) {
    return kErrorInvalidParameter;
  }
  const WideString destination = current->backup + target.substr(current->root.length());
  ErrorCode code = MoveFile(target, destination);
  if (code == kErrorFileNotFound) return code;
  if (code != kErrorSuccess) {
    // The backup tree may still lack this file's directory.
    const WideString parent = ParentOf(destination);
    if (parent.length() < current->backup.length()) return code;
    const ErrorCode made = CreateDirectoryTreeQuiet(parent);
    if (made != kErrorSuccess) return made;
    const ErrorCode retried = MoveFile(target, destination);
    // The file was there a moment ago: vanishing now is no "nothing to save".
    if (retried != kErrorSuccess) return retried == kErrorFileNotFound ? code : retried;
  }
  ++current->savedFiles;
  return kErrorSuccess;
}

void InstallWorker::Commit() {
  const RollbackRecord* const current = record();
  if (current != nullptr && !current->backup.empty()) DeleteDirectoryTree(this, current->backup);
}

ErrorCode InstallWorker::ReportError(ErrorCode code, std::uint32_t percent) {
  // Rolled back first, so that whoever reads the result finds the template
  // directory as it was.
  Rollback(code);
  if (state_ != nullptr) state_->Post(code, LoadString("IDS_INSTALL_ERROR"), percent);
  return code;
}

ErrorCode InstallWorker::Rollback(ErrorCode code) {
  const RollbackRecord* const current = record();
  if (current == nullptr) return code;
  bool keepBackup = false;
  if (!current->backup.empty()) {
    // A file that cannot be put back, or that a listing ending early never
    // showed, must not be deleted with the backup.
    std::size_t restored = 0;
    keepBackup = RestoreTree(this, current->root, current->backup, &restored) != kErrorSuccess ||
                 restored != current->savedFiles;
  }
  for (const WideString& dir : current->createdDirectories) DeleteDirectoryTree(this, dir);
  for (const WideString& file : current->createdFiles) DeleteFile(file);
  if (!current->backup.empty() && !keepBackup) DeleteDirectoryTree(this, current->backup);
  // Last, since every move and deletion above changes them again.
  for (const auto& [dir, time] : current->directoryTimes) {
    ScopedHandle handle;
    if (CreateFile(dir, kGenericRead, 0, kOpenExisting, handle.out(), kAttributeNormal) ==
        kErrorSuccess) {
      SetFileTime(handle.get(), nullptr, nullptr, &time);
    }
  }
  return code;
}

void InstallWorker::NoteDirectoryTime(const WideString& dir) {
  RollbackRecord* const current = record();
  if (current == nullptr) return;
  const WideString key = Canonical(dir);
  if (current->directoryTimes.count(key) != 0) return;
  // Looked up, not opened: opening a pipe in the place of a directory
  // would block the run.
  const PathInfo info = ExaminePath(dir);
  if (info.resolved && S_ISDIR(info.mode)) current->directoryTimes.emplace(key, info.lastWrite);
}

void InstallWorker::Pause(const std::atomic<bool>* stop) const {
  constexpr std::uint32_t kStepMs = 10;
  for (std::uint32_t waited = 0; waited < finishPauseMs_; waited += kStepMs) {
    if (stop != nullptr && stop->load(std::memory_order_acquire)) return;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::min(kStepMs, finishPauseMs_ - waited)));
  }
}

}  // namespace ordx
