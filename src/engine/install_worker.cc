// One installation run: examine, write beside, save and rename each kit
// entry in stored order under the held target; flush and commit at the end,
// or roll back on the first failure or a cancel so that the template
// directory is left exactly as it was.
#include "engine/install_worker.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "engine/install_state.h"
#include "fs/dir_ops.h"
#include "kit/kit_reader.h"
#include "text/convert.h"
#include "text/string_table.h"

namespace ordx {

namespace {

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

// The temporary name beside the final name `leaf` of entry `index`: the
// leaf behind a fixed prefix, or the entry's number where that would be too
// long a name.
WideString TemporaryName(std::size_t index, const WideString& leaf) {
  constexpr std::size_t kMaxName = 255;
  const WideString prefixed = u".ordx-new." + leaf;
  if (ToNarrow(prefixed).length() <= kMaxName) return prefixed;
  return u".ordx-new-" + ToWide(NarrowString(std::to_string(index).c_str()));
}

WideString Join(const WideString& parent, const WideString& name) {
  return parent.empty() ? name : parent + u"/" + name;
}

}  // namespace

ErrorCode CopyEntry(KitReader* kit, std::size_t index, Handle out) {
  if (kit == nullptr || index >= kit->entries().size() || kit->buffer() == nullptr ||
      kit->bufferSize() == 0) {
    return kErrorInvalidParameter;
  }
  const KitEntry& entry = kit->entries()[index];
  const ErrorCode code = CopyRange(kit->file(), entry.dataOffset, out, entry.dataSize,
                                   kit->buffer(), kit->bufferSize());
  if (code != kErrorSuccess) return code;
  // Shared template directories hold files the installer may write but not
  // re-date: the copy stands without its time.
  SetStamp(out, FileStamp{UnixFromFileTime(entry.lastWriteTime), 0});
  return kErrorSuccess;
}

ErrorCode InstallWorker::Run(InstallState* state, const std::atomic<bool>* stop) {
  if (state == nullptr) return kErrorInvalidParameter;
  state_ = state;
  written_.clear();
  notRestored_ = false;
  failure_ = SystemFailure{};
  KitReader* kit = nullptr;
  WideString dir;
  state->GetJob(&kit, &dir);
  InstallTarget* target = state->GetTarget();
  if (target != nullptr) return RunUnder(target, kit, stop);

  // Nobody took the target for this run: take it for the run's length.
  InstallTarget own;
  // Backslashes typed as separators would otherwise become part of a name
  // one level up, outside the chosen directory.
  ReplaceAll(dir, u"\\", u"/");
  const ErrorCode code = dir.empty() ? kErrorPathNotFound : own.Acquire(dir);
  if (code != kErrorSuccess) {
    failure_ = GetLastSystemFailure();
    state->PostFailure(failure_);
    WideString text = LoadString(code == kErrorBusy ? "IDS_ERROR_BUSY" : "IDS_INSTALL_ERROR");
    if (code == kErrorNotRestored) {
      notRestored_ = true;
      text = LoadString("IDS_ERROR_NOTRESTORED") + u"\n" + own.transactionPath();
    }
    state->Post(code, text, 0);
    return code;
  }
  return RunUnder(&own, kit, stop);
}

ErrorCode InstallWorker::RunUnder(InstallTarget* target, KitReader* kit,
                                  const std::atomic<bool>* stop) {
  if (kit == nullptr) return Fail(target, kErrorInvalidParameter, 0);
  const std::size_t count = kit->entries().size();
  std::uint32_t percent = 0;
  for (std::size_t i = 0; i < count; ++i) {
    // A cancel stops the run after the entry in progress.
    if (state_->IsCancelled()) return Fail(target, kErrorCancelled, percent);
    percent = static_cast<std::uint32_t>(std::uint64_t{i} * 100 / count);
    WideString name = kit->entries()[i].name;
    ReplaceAll(name, u"\\", u"/");
    state_->Post(kErrorSuccess, target->path() + name, percent);
    bool copied = false;
    const ErrorCode code = InstallEntry(target, kit, i, &copied);
    if (code != kErrorSuccess) return Fail(target, code, percent);
  }
  if (state_->IsCancelled()) return Fail(target, kErrorCancelled, percent);
  const auto start = std::chrono::steady_clock::now();
  const ErrorCode code = target->Commit();
  flushSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code != kErrorSuccess) return Fail(target, code, percent);
  state_->Post(kErrorSuccess, LoadString("IDS_INSTALL_FINISH"), 100);
  Pause(stop);
  return kErrorSuccess;
}

ErrorCode InstallWorker::InstallEntry(InstallTarget* target, KitReader* kit, std::size_t index,
                                      bool* copied) {
  const KitEntry& entry = kit->entries()[index];
  // The reader refuses such names; a name that slipped through must still
  // not write outside the target directory, nor into the transaction.
  if (!IsSafeEntryName(entry.name) || IsTransactionEntry(entry.name)) return kErrorInvalidData;
  WideString relative = entry.name;
  ReplaceAll(relative, u"\\", u"/");
  relative = Canonical(relative);
  const WideString parentPath = ParentPart(relative);
  const WideString leaf = NamePart(relative);
  RollbackRecord* const record = target->record();

  ScopedHandle parent;
  NodeInfo old;
  ErrorCode code = OpenBeneath(record->rootDirectory, parentPath, nullptr, &parent);
  if (code == kErrorSuccess) {
    code = InspectAt(parent.get(), leaf, &old);
    if (code != kErrorSuccess) return code;
    // A directory (or a device, a pipe...) is never replaced.
    if (old.present && !old.isLink && !old.isRegular) return kErrorAlreadyExists;
    // Up to date: the installed copy is at least as new as the kit's.
    if (old.isRegular &&
        FileTimeFromUnix(old.modified.seconds) >= WholeSeconds(entry.lastWriteTime)) {
      return kErrorSuccess;
    }
  } else if (code != kErrorFileNotFound) {
    return code;  // a link out of the target, a file where a level must be...
  }

  code = target->BeginChanges();
  if (code != kErrorSuccess) return code;
  Journal* const journal = record->journal;
  if (parent.get() == kInvalidHandle) {
    code = CreateDirectoryTree(record, parentPath, &parent);
    if (code != kErrorSuccess) return code;
  }
  code = NoteDirectoryTime(record, parent.get(), parentPath);
  if (code != kErrorSuccess) return code;

  // Written beside its final name, so that the name never holds a part.
  const WideString temporary = TemporaryName(index, leaf);
  const WideString temporaryPath = Join(parentPath, temporary);
  code = journal->Append({JournalRecord::kTemporary, 0, 0, temporaryPath});
  if (code != kErrorSuccess) return code;
  record->temporaries.push_back(temporaryPath);
  NodeInfo made;
  {
    ScopedHandle out;
    code = CreateNewFileAt(parent.get(), temporary, out.out());
    if (code != kErrorSuccess) return code;
    code = CopyEntry(kit, index, out.get());
    if (code == kErrorSuccess) code = InspectHandle(out.get(), &made);
    if (code != kErrorSuccess) return code;
  }

  const auto earlier = written_.find(relative);
  if (old.present && earlier == written_.end()) {
    // The user's file is kept as a second name in the transaction; the
    // final name holds it until the new file replaces it at once.
    const std::uint64_t number = record->nextBackup++;
    code = journal->Append({JournalRecord::kSaved, number, 0, relative});
    if (code != kErrorSuccess) return code;
    record->savedFiles.push_back({relative, BackupName(number)});
    code = LinkAt(parent.get(), leaf, journal->directory(), BackupName(number));
    if (code == kErrorNotSupported) {
      code = RenameAt(parent.get(), leaf, journal->directory(), BackupName(number));
    }
    if (code != kErrorSuccess) return code;
  } else if (!old.present || earlier->second) {
    // No file of the user's here (or only one this run made): a rollback
    // removes the new one, as long as it is still this one.
    code = journal->Append({JournalRecord::kNewFile, made.inode, 0, relative});
    if (code != kErrorSuccess) return code;
    record->createdFiles.push_back({relative, made.inode});
  }
  code = RenameAt(parent.get(), temporary, parent.get(), leaf);
  if (code != kErrorSuccess) return code;
  record->temporaries.pop_back();
  written_.emplace(relative, !old.present || (earlier != written_.end() && earlier->second));
  *copied = true;
  return kErrorSuccess;
}

ErrorCode InstallWorker::Fail(InstallTarget* target, ErrorCode code, std::uint32_t percent) {
  if (code != kErrorCancelled) {
    failure_ = GetLastSystemFailure();
    state_->PostFailure(failure_);
  }
  // Rolled back first, so that whoever reads the result finds the template
  // directory as it was.
  WideString text =
      LoadString(code == kErrorCancelled ? "IDS_CANCEL_FINISH" : "IDS_INSTALL_ERROR");
  if (target != nullptr && !target->Rollback()) {
    notRestored_ = true;
    text = LoadString("IDS_ERROR_NOTRESTORED") + u"\n" + target->transactionPath();
  }
  state_->Post(code, text, percent);
  return code;
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
