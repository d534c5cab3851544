// Recording and undoing one run's changes below the target root. Every
// directory is reached from the root's descriptor, so nothing is ever
// written, moved or removed through a link that leads out of the root.
#include "engine/tree_ops.h"

#include <algorithm>

namespace ordx {

RollbackRecord RecordFromJournal(const std::vector<JournalRecord>& records) {
  RollbackRecord record;
  for (const JournalRecord& r : records) {
    switch (r.kind) {
      case JournalRecord::kLevel:
        record.targetLevels.push_back(r.path);
        break;
      case JournalRecord::kOuterTime:
        record.outerTimes.push_back(
            {r.path, FileStamp{static_cast<std::int64_t>(r.a), static_cast<std::int64_t>(r.b)}});
        break;
      case JournalRecord::kDirectory:
        record.createdDirectories.push_back(r.path);
        record.timedDirectories.insert(r.path);
        break;
      case JournalRecord::kTime:
        if (record.timedDirectories.insert(r.path).second) {
          record.directoryTimes.push_back(
              {r.path, FileStamp{static_cast<std::int64_t>(r.a), static_cast<std::int64_t>(r.b)}});
        }
        break;
      case JournalRecord::kTemporary:
        // The record after the creation names the inode made.
        if (r.a != 0 && !record.temporaries.empty() &&
            record.temporaries.back().relative == r.path && record.temporaries.back().inode == 0) {
          record.temporaries.back().inode = r.a;
        } else {
          record.temporaries.push_back({r.path, r.a});
        }
        break;
      case JournalRecord::kNewFile:
        record.createdFiles.push_back({r.path, r.a});
        break;
      case JournalRecord::kSaved:
        record.savedFiles.push_back({r.path, BackupName(r.a)});
        record.nextBackup = std::max(record.nextBackup, r.a + 1);
        break;
    }
  }
  return record;
}

ErrorCode NoteDirectoryTime(RollbackRecord* record, Handle dir, const WideString& relative) {
  if (record->timedDirectories.count(relative) != 0) return kErrorSuccess;
  NodeInfo info;
  ErrorCode code = InspectHandle(dir, &info);
  if (code != kErrorSuccess) return code;
  if (record->journal != nullptr) {
    code = record->journal->Append({JournalRecord::kTime, static_cast<std::uint64_t>(info.modified.seconds),
                                    static_cast<std::uint64_t>(info.modified.nanoseconds), relative});
    if (code != kErrorSuccess) return code;
  }
  record->timedDirectories.insert(relative);
  record->directoryTimes.push_back({relative, info.modified});
  return kErrorSuccess;
}

ErrorCode CreateDirectoryTree(RollbackRecord* record, const WideString& relative,
                              ScopedHandle* out) {
  const LevelHook beforeMake = [record](Handle parent, const WideString& level) {
    ErrorCode code = NoteDirectoryTime(record, parent, ParentPart(level));
    if (code != kErrorSuccess) return code;
    if (record->journal == nullptr) return kErrorInvalidParameter;
    code = record->journal->Append({JournalRecord::kDirectory, 0, 0, level});
    if (code != kErrorSuccess) return code;
    record->createdDirectories.push_back(level);
    // Its own time does not matter: a rollback removes it.
    record->timedDirectories.insert(level);
    return kErrorSuccess;
  };
  return OpenBeneath(record->rootDirectory, relative, &beforeMake, out);
}

ErrorCode CreateTargetLevels(const WideString& path, std::vector<WideString>* made,
                             std::vector<DirectoryTime>* times) {
  std::size_t begin = 0;  // where the current name starts
  for (std::size_t i = 0; i <= path.length(); ++i) {
    if (i < path.length() && path[i] != u'/') continue;
    const std::size_t nameStart = begin;
    const WideString name = path.substr(nameStart, i - nameStart);
    begin = i + 1;
    if (name.empty() || name == u"." || name == u"..") continue;
    // Each level as typed, so that "a/../b" makes "a" and then "b" beside it.
    const WideString level = path.substr(0, i);
    FileStamp stamp;
    if (GetModified(level, &stamp) == kErrorSuccess) continue;  // there already
    const WideString above = path.substr(0, nameStart > 0 ? nameStart - 1 : 0);
    const bool timed = GetModified(above.empty() ? WideString(u"/") : above, &stamp) == kErrorSuccess;
    const ErrorCode code = MakeDirectoryAt(kCurrentDirectory, level, 0777);
    if (code == kErrorSuccess) {
      // The first level made in an existing directory changes its time.
      if (timed && std::find(made->begin(), made->end(), above) == made->end()) {
        times->push_back({above, stamp});
      }
      made->push_back(level);
    } else if (code != kErrorAlreadyExists) {
      return kErrorFileNotFound;
    }
  }
  return kErrorSuccess;
}

void RemoveTargetLevels(const std::vector<WideString>& levels,
                        const std::vector<DirectoryTime>& times) {
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
    RemoveDirectoryAt(kCurrentDirectory, *it);
  }
  for (const DirectoryTime& time : times) {
    SetModified(time.relative.empty() ? WideString(u"/") : time.relative, time.stamp);
  }
}

bool UndoChanges(const RollbackRecord& record, Handle transaction) {
  const Handle root = record.rootDirectory;
  ScopedHandle parent;
  // The temporary file of an entry that did not reach its name, then the
  // new files: first what the run created, so that a full disk has room
  // again before anything is put back.
  // Only a file the run can tell as its own goes: the one of the inode it
  // made, or, killed before it could journal that inode, an empty file
  // under a name that was free when journaled. Anything else is left.
  for (auto it = record.temporaries.rbegin(); it != record.temporaries.rend(); ++it) {
    NodeInfo info;
    if (OpenBeneath(root, ParentPart(it->relative), nullptr, &parent) == kErrorSuccess &&
        InspectAt(parent.get(), NamePart(it->relative), &info) == kErrorSuccess && info.present &&
        !info.isLink &&
        (it->inode != 0 ? info.inode == it->inode : info.isRegular && info.size == 0)) {
      UnlinkAt(parent.get(), NamePart(it->relative));
    }
  }
  for (auto it = record.createdFiles.rbegin(); it != record.createdFiles.rend(); ++it) {
    NodeInfo info;
    if (OpenBeneath(root, ParentPart(it->relative), nullptr, &parent) == kErrorSuccess &&
        InspectAt(parent.get(), NamePart(it->relative), &info) == kErrorSuccess &&
        info.present && info.inode == it->inode) {
      UnlinkAt(parent.get(), NamePart(it->relative));
    }
  }
  // Deepest first, each only when empty: a level that holds someone else's
  // file stays. Each parent is opened from the root by its path: ".." of a
  // level reached through a link is not the parent the path names.
  for (auto it = record.createdDirectories.rbegin(); it != record.createdDirectories.rend(); ++it) {
    if (OpenBeneath(root, ParentPart(*it), nullptr, &parent) == kErrorSuccess) {
      RemoveDirectoryAt(parent.get(), NamePart(*it));
    }
  }
  // Then the saved files go back by rename, the latest save first so that
  // the user's own file is the one that ends up under its name.
  bool restored = true;
  for (auto it = record.savedFiles.rbegin(); it != record.savedFiles.rend(); ++it) {
    NodeInfo backup;
    if (transaction == kInvalidHandle) {
      restored = false;
      continue;
    }
    if (InspectAt(transaction, it->backup, &backup) != kErrorSuccess) {
      restored = false;
      continue;
    }
    if (!backup.present) continue;  // announced, never made: the original never moved
    if (OpenBeneath(root, ParentPart(it->relative), nullptr, &parent) != kErrorSuccess ||
        RenameAt(transaction, it->backup, parent.get(), NamePart(it->relative)) != kErrorSuccess) {
      restored = false;
    }
  }
  return restored;
}

void RestoreDirectoryTimes(const RollbackRecord& record) {
  // Through the directory itself: its name may be a link inside the root,
  // whose own time is not the one recorded. The earliest record goes last,
  // as a directory known by two names is noted again after it changed.
  for (auto time = record.directoryTimes.rbegin(); time != record.directoryTimes.rend(); ++time) {
    ScopedHandle dir;
    if (OpenBeneath(record.rootDirectory, time->relative, nullptr, &dir) == kErrorSuccess) {
      SetModifiedAt(dir.get(), WideString(), time->stamp);
    }
  }
}

}  // namespace ordx
