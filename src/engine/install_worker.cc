// One installation run: examine, write beside, save and rename each kit
// entry in stored order under the held target; flush and commit at the end,
// or roll back on the first failure or a cancel so that the template
// directory is left exactly as it was.
#include "engine/install_worker.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "engine/install_state.h"
#include "fs/dir_ops.h"
#include "fs/path.h"
#include "kit/kit_reader.h"
#include "text/convert.h"
#include "text/string_table.h"

namespace ordx {

namespace {

// The path with runs of "/" collapsed and without leading "/" or "."
// levels, so "a//b", "/a/b" and "./a/b" count as one file.
WideString Canonical(const WideString& path) {
  WideString out;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= path.length(); ++i) {
    if (i < path.length() && path[i] != u'/') continue;
    const WideString level = path.substr(begin, i - begin);
    const bool last = i == path.length();
    begin = i + 1;
    if (level == u"." || (level.empty() && !last)) continue;
    if (!out.empty()) out += u'/';
    out += level;
  }
  return out;
}

// Installed files carry whole seconds only, so comparing against the
// entry's sub-second part would rewrite such a file on every run.
FILETIME WholeSeconds(FILETIME time) { return time - time % kFileTimeTicksPerSecond; }

// The temporary name beside the final name `leaf` of entry `index`: the
// leaf behind a fixed prefix, or the entry's number where that would be too
// long a name; a later attempt (the name was taken) adds its number.
constexpr std::size_t kTemporaryAttempts = 16;
WideString TemporaryName(std::size_t index, const WideString& leaf, std::size_t attempt) {
  constexpr std::size_t kMaxName = 255;
  const WideString prefixed = u".ordx-new." + leaf;
  if (attempt == 0 && ToNarrow(prefixed).length() <= kMaxName) return prefixed;
  WideString numbered = u".ordx-new-" + ToWide(NarrowString(std::to_string(index).c_str()));
  if (attempt > 0) numbered += u"-" + ToWide(NarrowString(std::to_string(attempt).c_str()));
  return numbered;
}

// The installed copy is at least as new as the kit's.
bool IsUpToDate(const NodeInfo& installed, const KitEntry& entry) {
  return installed.isRegular &&
         FileTimeFromUnix(installed.modified.seconds) >= WholeSeconds(entry.lastWriteTime);
}

// A step on the entry's own file failed: the user knows that file by the
// entry's name, not by the temporary one it was written under.
ErrorCode EntryFailure(ErrorCode code, const WideString& relative) {
  NoteSystemFailure(GetLastSystemFailure().error, relative);
  return code;
}

bool IsLineBreaking(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

WideString EscapeForLine(const WideString& path) {
  WideString out;
  for (std::size_t i = 0; i < path.length(); ++i) {
    const char16_t c = path[i];
    switch (c) {
      case u'\\': out += u"\\\\"; continue;
      case u'"': out += u"\\\""; continue;
      case u'\n': out += u"\\n"; continue;
      case u'\r': out += u"\\r"; continue;
      case u'\t': out += u"\\t"; continue;
      default: break;
    }
    // Control and direction characters would break the line or reorder
    // what the reader sees.
    if (!IsLineBreaking(c)) {
      out += c;
      continue;
    }
    char code[8];
    std::snprintf(code, sizeof code, c <= 0xFF ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
    out += ToWide(NarrowString(code));
  }
  return out;
}

WideString ComposeFailureText(const WideString& headline, const WideString& path,
                              const WideString& reason) {
  if (path.empty() && reason.empty()) return headline;
  // A reason without a place keeps an empty place line, so that the lines
  // always mean the same.
  WideString text = headline + u"\n" + EscapeForLine(path);
  if (!reason.empty()) text += u"\n" + reason;
  return text;
}

WideString FailureReason(ErrorCode code, int error) {
  if (code == kErrorOutsideTree) return LoadString("IDS_REASON_OUTSIDE");
  if (code == kErrorHandleEof) return LoadString("IDS_REASON_KITEND");
  if (code == kErrorDiskFull) return LoadString("IDS_REASON_NOSPACE");
  switch (error) {
    case 0:
      break;
    case ENOSPC:
    case EDQUOT:
      return LoadString("IDS_REASON_NOSPACE");
    case EACCES:
    case EPERM:
      return LoadString("IDS_REASON_ACCESS");
    case EROFS:
      return LoadString("IDS_REASON_READONLY");
    case EISDIR:
      return LoadString("IDS_REASON_FOLDERINWAY");
    case ENOTDIR:
      return LoadString("IDS_REASON_FILEINWAY");
    default: {
      char buffer[256];
      // The GNU form: returns the text, in `buffer` or a static one.
      return ToWide(NarrowString(strerror_r(error, buffer, sizeof buffer)));
    }
  }
  // No errno: one of the layer's own codes.
  if (code == kErrorFileNotFound) return FailureReason(code, ENOENT);
  if (code == kErrorAlreadyExists) return FailureReason(code, EEXIST);
  return WideString();
}

WideString FailurePlace(const WideString& path, const WideString& root,
                        const WideString& resolvedRoot) {
  const WideString top = TrimTrailingSlashes(root);
  WideString relative;
  bool inside = path.empty() || path[0] != u'/';
  if (inside) relative = path;
  for (const WideString& base : {TrimTrailingSlashes(resolvedRoot), top}) {
    if (inside || base.empty()) continue;
    if (path == base) {
      inside = true;
    } else if (path.starts_with((base == u"/" ? base : base + u"/").view())) {
      inside = true;
      relative = path.substr(base == u"/" ? 1 : base.length() + 1);
    }
  }
  if (!inside) return path;
  while (!relative.empty() && relative[0] == u'/') relative = relative.substr(1);
  const WideString transaction(kTransactionDirectory);
  // The run's own bookkeeping is no place the user knows: the failure is
  // the template directory's.
  if (relative.empty() || relative == transaction ||
      relative.starts_with((transaction + u"/").view())) {
    return top.empty() ? path : top;
  }
  return relative;
}

ErrorCode MeasureWrites(InstallTarget* target, const KitReader& kit, std::uint64_t* bytes) {
  *bytes = 0;
  if (target == nullptr || !target->held()) return kErrorInvalidHandle;
  const Handle root = target->record()->rootDirectory;
  // Entries of one directory come together: its handle is kept for them.
  WideString openParent;
  ScopedHandle parent;
  ErrorCode opened = kErrorFileNotFound;
  bool first = true;
  for (const KitEntry& entry : kit.entries()) {
    if (!IsSafeEntryName(entry.name) || IsTransactionEntry(entry.name)) continue;
    WideString relative = entry.name;
    ReplaceAll(relative, u"\\", u"/");
    relative = Canonical(relative);
    const WideString parentPath = ParentPart(relative);
    if (first || parentPath != openParent) {
      first = false;
      openParent = parentPath;
      parent.Close();
      opened = OpenBeneath(root, parentPath, nullptr, &parent);
    }
    NodeInfo installed;
    if (opened == kErrorSuccess &&
        InspectAt(parent.get(), NamePart(relative), &installed) == kErrorSuccess &&
        IsUpToDate(installed, entry)) {
      continue;
    }
    // What a run can write of it: no more than the unpacked kit holds.
    const std::uint64_t end = kit.unpackedSize();
    if (entry.dataOffset < end) {
      *bytes += std::min<std::uint64_t>(entry.dataSize, end - entry.dataOffset);
    }
  }
  return kErrorSuccess;
}

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
  ownInodes_.clear();
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
    WideString text =
        code == kErrorBusy
            ? LoadString("IDS_ERROR_BUSY")
            : ComposeFailureText(LoadString("IDS_INSTALL_ERROR"),
                                 failure_.path.empty() && failure_.error == 0
                                     ? WideString()
                                     : FailurePlace(failure_.path, dir, WideString()),
                                 FailureReason(code, failure_.error));
    if (code == kErrorNotRestored) {
      notRestored_ = true;
      text = ComposeFailureText(LoadString("IDS_ERROR_NOTRESTORED"), own.transactionPath(),
                                WideString());
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
  // A failure names what this entry's steps met, never an earlier one's.
  NoteSystemFailure(0, WideString());

  ScopedHandle parent;
  NodeInfo old;
  ErrorCode code = OpenBeneath(record->rootDirectory, parentPath, nullptr, &parent);
  if (code == kErrorSuccess) {
    code = InspectAt(parent.get(), leaf, &old);
    if (code != kErrorSuccess) return EntryFailure(code, relative);
    // A directory (or a device, a pipe...) is never replaced.
    if (old.present && !old.isLink && !old.isRegular) {
      NoteSystemFailure(old.isDirectory ? EISDIR : EEXIST, relative);
      return kErrorAlreadyExists;
    }
    if (IsUpToDate(old, entry)) return kErrorSuccess;
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

  // Written beside its final name, so that the name never holds a part;
  // a name already taken (the user's own file, a link) is never the run's.
  WideString temporary;
  for (std::size_t attempt = 0; temporary.empty(); ++attempt) {
    if (attempt == kTemporaryAttempts) {
      NoteSystemFailure(EEXIST, relative);
      return kErrorAlreadyExists;
    }
    const WideString candidate = TemporaryName(index, leaf, attempt);
    NodeInfo taken;
    code = InspectAt(parent.get(), candidate, &taken);
    if (code != kErrorSuccess) return EntryFailure(code, relative);
    if (!taken.present) temporary = candidate;
  }
  const WideString temporaryPath = JoinPath(parentPath, temporary);
  code = journal->Append({JournalRecord::kTemporary, 0, 0, temporaryPath});
  if (code != kErrorSuccess) return code;
  NodeInfo made;
  {
    ScopedHandle out;
    code = CreateNewFileAt(parent.get(), temporary, out.out());
    if (code != kErrorSuccess) return EntryFailure(code, relative);
    code = InspectHandle(out.get(), &made);
    if (code != kErrorSuccess) return EntryFailure(code, relative);
    record->temporaries.push_back({temporaryPath, made.inode});
    code = journal->Append({JournalRecord::kTemporary, made.inode, 0, temporaryPath});
    if (code != kErrorSuccess) return code;
    code = CopyEntry(kit, index, out.get());
    if (code == kErrorSuccess) code = InspectHandle(out.get(), &made);
    if (code != kErrorSuccess) return EntryFailure(code, relative);
  }

  const auto earlier = written_.find(relative);
  const bool runsOwn = old.present && (earlier != written_.end()
                                           ? earlier->second
                                           : !old.isLink && ownInodes_.count(old.inode) != 0);
  if (old.present && earlier == written_.end() && !runsOwn) {
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
    if (code != kErrorSuccess) return EntryFailure(code, relative);
  } else if (!old.present || runsOwn) {
    // No file of the user's here (or only one this run made): a rollback
    // removes the new one, as long as it is still this one.
    code = journal->Append({JournalRecord::kNewFile, made.inode, 0, relative});
    if (code != kErrorSuccess) return code;
    record->createdFiles.push_back({relative, made.inode});
  }
  code = RenameAt(parent.get(), temporary, parent.get(), leaf);
  if (code != kErrorSuccess) return EntryFailure(code, relative);
  record->temporaries.pop_back();
  written_.emplace(relative, !old.present || runsOwn);
  if (!old.present || runsOwn) ownInodes_.insert(made.inode);
  *copied = true;
  return kErrorSuccess;
}

ErrorCode InstallWorker::Fail(InstallTarget* target, ErrorCode code, std::uint32_t percent) {
  if (code != kErrorCancelled) {
    failure_ = GetLastSystemFailure();
  }
  // Rolled back first, so that whoever reads the result finds the template
  // directory as it was.
  WideString text = LoadString("IDS_CANCEL_FINISH");
  if (code != kErrorCancelled) {
    const WideString resolved =
        target != nullptr && target->held() ? PathOfHandle(target->record()->rootDirectory)
                                            : WideString();
    // A step that failed without the system saying where has no place.
    const bool placed = !failure_.path.empty() || failure_.error != 0;
    text = ComposeFailureText(
        LoadString("IDS_INSTALL_ERROR"),
        placed ? FailurePlace(failure_.path, target != nullptr ? target->path() : WideString(),
                              resolved)
               : WideString(),
        FailureReason(code, failure_.error));
  }
  if (target != nullptr && !target->Rollback()) {
    notRestored_ = true;
    text = ComposeFailureText(LoadString("IDS_ERROR_NOTRESTORED"), target->transactionPath(),
                              WideString());
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
