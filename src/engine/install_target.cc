// Taking the target directory, recovering an interrupted run, and the
// commit and rollback of the run's transaction.
#include "engine/install_target.h"

#include <unistd.h>

#include <algorithm>

#include "fs/path.h"

namespace ordx {
namespace {

// A directory replaced between opening and locking is retried this often.
constexpr int kLockAttempts = 8;

// Only this user can have written it: anyone else's journal (in a shared
// template directory) is no instruction to this installer.
bool IsPrivate(const NodeInfo& info) {
  return info.present && !info.isLink && info.owner == geteuid() && (info.mode & 077) == 0;
}

// A record naming a level of the target path itself: the root or one of
// the directories above it, as the path was typed.
bool IsOnPath(const WideString& level, const WideString& path) {
  // "" is the top of a relative path, read as "/" like the level itself.
  if (level.empty() || level == path || level == u"/") return true;
  return path.starts_with((level + u"/").view());
}

}  // namespace

InstallTarget::~InstallTarget() { Release(); }

ErrorCode InstallTarget::Acquire(const WideString& directory) {
  Release();
  recovered_ = false;
  notRestored_ = false;
  finished_ = false;
  record_ = RollbackRecord{};
  const WideString path = TrimTrailingSlashes(directory);
  record_.root = path == u"/" ? path : path + u"/";
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    std::vector<WideString> made;
    std::vector<DirectoryTime> times;
    ErrorCode code = CreateTargetLevels(path, &made, &times);
    ScopedHandle dir;
    if (code == kErrorSuccess) code = OpenDirectory(path, &dir);
    // Busy: another installation holds it, and what it holds is not ours
    // to change; levels made just now (by a race) go again.
    if (code == kErrorSuccess) code = TryLockExclusive(dir.get());
    if (code != kErrorSuccess) {
      RemoveTargetLevels(made, times);
      return code;
    }
    // The path may have been replaced between open and lock: the lock must
    // be on what the path names now.
    if (!PathNamesHandle(path, dir.get())) continue;
    directory_.Reset(dir.Release());
    record_.rootDirectory = directory_.get();
    record_.targetLevels = made;
    record_.outerTimes = times;
    code = Recover();
    if (code == kErrorSuccess && !record_.targetLevels.empty()) code = BeginChanges();
    if (code != kErrorSuccess) {
      // Nothing of this run may remain; a transaction that could not be
      // undone stays as it is.
      finished_ = true;
      notRestored_ = code == kErrorNotRestored;
      if (code != kErrorNotRestored) RemoveTargetLevels(made, times);
      directory_.Close();
      return code;
    }
    return kErrorSuccess;
  }
  return kErrorBusy;
}

ErrorCode InstallTarget::Recover() {
  NodeInfo info;
  ErrorCode code = InspectAt(directory_.get(), kTransactionDirectory, &info);
  if (code != kErrorSuccess) return code;
  if (!info.present) return kErrorSuccess;
  // Something by that name that is no directory of ours is left alone.
  if (info.isLink || !info.isDirectory) return kErrorNotRestored;
  ScopedHandle transaction;
  std::vector<JournalRecord> records;
  NodeInfo directory, journal;
  if (OpenBeneath(directory_.get(), kTransactionDirectory, nullptr, &transaction) !=
          kErrorSuccess ||
      InspectHandle(transaction.get(), &directory) != kErrorSuccess ||
      InspectAt(transaction.get(), kJournalFileName, &journal) != kErrorSuccess) {
    return kErrorNotRestored;
  }
  if (!IsPrivate(directory) || (journal.present && !IsPrivate(journal)) ||
      ReadJournal(transaction.get(), &records) != kErrorSuccess) {
    return kErrorNotRestored;
  }
  RollbackRecord interrupted = RecordFromJournal(records);
  // Levels and times above the root only where the target path runs.
  const WideString path = TrimTrailingSlashes(record_.root);
  std::erase_if(interrupted.targetLevels,
                [&path](const WideString& level) { return !IsOnPath(level, path); });
  std::erase_if(interrupted.outerTimes,
                [&path](const DirectoryTime& time) { return !IsOnPath(time.relative, path); });
  interrupted.root = record_.root;
  interrupted.rootDirectory = directory_.get();
  if (!UndoChanges(interrupted, transaction.get())) return kErrorNotRestored;
  // A backup no record names (its record lost to a power cut) may be the
  // user's only copy of a file: it is not ours to delete.
  if (journal.present) {
    std::vector<WideString> names;
    if (ListAt(transaction.get(), &names) != kErrorSuccess) return kErrorNotRestored;
    for (const WideString& name : names) {
      if (name == kJournalFileName) continue;
      const bool named = std::any_of(interrupted.savedFiles.begin(), interrupted.savedFiles.end(),
                                     [&name](const SavedFile& saved) { return saved.backup == name; });
      if (!named) return kErrorNotRestored;
    }
  }
  transaction.Close();
  // Everything is back; what remains are backups of files that were never
  // replaced, and the journal.
  DeleteTreeAt(directory_.get(), kTransactionDirectory);
  RestoreDirectoryTimes(interrupted);
  // The levels the interrupted run made are this run's to keep or remove.
  interrupted.targetLevels.insert(interrupted.targetLevels.end(), record_.targetLevels.begin(),
                                  record_.targetLevels.end());
  record_.targetLevels = std::move(interrupted.targetLevels);
  interrupted.outerTimes.insert(interrupted.outerTimes.end(), record_.outerTimes.begin(),
                                record_.outerTimes.end());
  record_.outerTimes = std::move(interrupted.outerTimes);
  recovered_ = true;
  return kErrorSuccess;
}

ErrorCode InstallTarget::BeginChanges() {
  if (journal_.open()) return kErrorSuccess;
  if (!held()) return kErrorInvalidHandle;
  // The root's time before the transaction directory changes it, kept in
  // memory first so that a rollback of this process puts it back whatever
  // happens to the journal.
  NodeInfo root;
  ErrorCode code = InspectHandle(directory_.get(), &root);
  if (code != kErrorSuccess) return code;
  if (record_.timedDirectories.insert(WideString()).second) {
    record_.directoryTimes.push_back({WideString(), root.modified});
  }
  code = journal_.Create(directory_.get());
  if (code != kErrorSuccess) return code;
  record_.journal = &journal_;
  code = journal_.Append({JournalRecord::kTime, static_cast<std::uint64_t>(root.modified.seconds),
                          static_cast<std::uint64_t>(root.modified.nanoseconds), WideString()});
  for (std::size_t i = 0; code == kErrorSuccess && i < record_.outerTimes.size(); ++i) {
    const DirectoryTime& outer = record_.outerTimes[i];
    code = journal_.Append({JournalRecord::kOuterTime, static_cast<std::uint64_t>(outer.stamp.seconds),
                            static_cast<std::uint64_t>(outer.stamp.nanoseconds), outer.relative});
  }
  for (std::size_t i = 0; code == kErrorSuccess && i < record_.targetLevels.size(); ++i) {
    code = journal_.Append({JournalRecord::kLevel, 0, 0, record_.targetLevels[i]});
  }
  return code;
}

ErrorCode InstallTarget::Commit() {
  if (journal_.open()) {
    // The new files reach the disk before the backups go: a power cut after
    // this point cannot leave empty files under the kit's names.
    ErrorCode code = SyncFileSystem(directory_.get());
    if (code == kErrorSuccess) code = journal_.Remove(directory_.get());
    if (code != kErrorSuccess) return code;
  }
  record_.journal = nullptr;
  finished_ = true;
  return kErrorSuccess;
}

bool InstallTarget::Rollback() {
  finished_ = true;
  if (!held()) return true;
  if (!UndoChanges(record_, journal_.open() ? journal_.directory() : kInvalidHandle)) {
    notRestored_ = true;
    return false;
  }
  if (journal_.Remove(directory_.get()) != kErrorSuccess) {
    // Everything is back, but the journal stays: the next run undoes the
    // same steps again, which finds nothing left to do.
    return true;
  }
  record_.journal = nullptr;
  RestoreDirectoryTimes(record_);
  RemoveTargetLevels(record_.targetLevels, record_.outerTimes);
  record_.targetLevels.clear();
  record_.outerTimes.clear();
  return true;
}

WideString InstallTarget::transactionPath() const {
  return record_.root + WideString(kTransactionDirectory);
}

void InstallTarget::Release() {
  if (held() && !finished_) Rollback();
  directory_.Close();
  record_.rootDirectory = kInvalidHandle;
}

}  // namespace ordx
