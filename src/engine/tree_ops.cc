// Directory tree operations over the file layer. Directory levels are made
// one at a time from the top, so that every level a run makes is known and
// can be removed again; links are only ever moved or removed as themselves.
#include "engine/tree_ops.h"

#include <vector>

#include "engine/install_worker.h"

namespace ordx {

namespace {

WideString WithoutTrailingSlashes(const WideString& path) {
  std::size_t end = path.length();
  while (end > 1 && path[end - 1] == u'/') --end;
  return path.substr(0, end);
}

// The part before the last "/" with repeated slashes dropped; empty when
// the path has no parent to make (a single relative name, or "/x").
WideString ParentLevel(const WideString& path) {
  const std::size_t slash = path.rfind(u'/');
  if (slash == WideString::npos) return WideString();
  std::size_t end = slash;
  while (end > 0 && path[end - 1] == u'/') --end;
  return path.substr(0, end);
}

// Makes the missing levels of `path` from the top down; with a worker, each
// level made now is recorded in its current record.
ErrorCode MakeLevels(const WideString& path, InstallWorker* worker) {
  RollbackRecord* const record = worker != nullptr ? worker->record() : nullptr;
  const WideString dir = WithoutTrailingSlashes(path);
  if (dir.empty() || IsRootPath(dir)) return kErrorSuccess;

  std::vector<WideString> missing;  // deepest first
  WideString level = dir;
  for (;;) {
    const PathInfo info = ExaminePath(level);
    if (info.present) {
      // Something other than a directory where a directory must be.
      if (missing.empty() && !(info.resolved && S_ISDIR(info.mode))) return kErrorFileNotFound;
      break;
    }
    missing.push_back(level);
    level = ParentLevel(level);
    if (level.empty()) break;
  }

  // The directory that receives the first new level changes too.
  if (record != nullptr && !missing.empty() && !level.empty()) worker->NoteDirectoryTime(level);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    // The level above exists now, so this makes exactly one level. 183 means
    // it was there after all (the look-up missed it): not ours to record.
    const ErrorCode code = CreateDirectory(*it);
    if (code == kErrorAlreadyExists) continue;
    if (code != kErrorSuccess) return code;
    if (record != nullptr) record->createdDirectories.push_back(*it);
  }
  return kErrorSuccess;
}

// fnmatch pattern that matches exactly `name`.
WideString LiteralPattern(const WideString& name) {
  WideString pattern;
  for (std::size_t i = 0; i < name.length(); ++i) {
    const char16_t unit = name[i];
    if (unit == u'*' || unit == u'?' || unit == u'[') {
      const char16_t bracketed[] = {u'[', unit, u']', 0};
      pattern += bracketed;
    } else {
      pattern += unit;
    }
  }
  return pattern;
}

}  // namespace

PathInfo ExaminePath(const WideString& path) {
  PathInfo info;
  const WideString clean = WithoutTrailingSlashes(path);
  const std::size_t slash = clean.rfind(u'/');
  const WideString name = slash == WideString::npos ? clean : clean.substr(slash + 1);
  FindData data;
  if (name.find(u'*') == WideString::npos) {
    // The plain look-up: stat, and lstat for the link flag.
    info.resolved = FindFirstFile(&data, clean);
    info.isLink = IsFoundLink(data);
    info.present = info.resolved || info.isLink;
  } else {
    // A "*" in the name would make the look-up an enumeration: list the
    // parent with a pattern that matches only this name.
    const WideString dir = slash == WideString::npos ? WideString() : clean.substr(0, slash + 1);
    if (FindFirstFile(&data, dir + LiteralPattern(name))) {
      info.present = true;
      info.isLink = IsFoundLink(data);
      // A dangling link is listed with its own status.
      info.resolved = !S_ISLNK(data.status.st_mode);
    }
  }
  if (info.resolved) {
    info.mode = data.status.st_mode;
    info.lastWrite = FileTimeFromUnix(data.status.st_mtim.tv_sec);
  }
  FindClose(&data);
  return info;
}

ErrorCode CreateDirectoryTree(InstallWorker* worker, const WideString& path) {
  return MakeLevels(path, worker);
}

ErrorCode CreateDirectoryTreeQuiet(const WideString& path) { return MakeLevels(path, nullptr); }

ErrorCode DeleteDirectoryTree(InstallWorker* /*worker*/, const WideString& path) {
  if (path.empty()) return kErrorSuccess;
  DeleteTree(path);
  // A removal that failed part-way leaves the rest behind: one more try.
  if (ExaminePath(path).present) DeleteTree(path);
  return kErrorSuccess;
}

ErrorCode RestoreTree(InstallWorker* worker, const WideString& root, const WideString& backup,
                      std::size_t* moved) {
  FindData data;
  // Every existing directory lists at least "." and "..".
  if (!FindFirstFile(&data, backup + u"*")) {
    FindClose(&data);
    return kErrorPathNotFound;
  }
  ErrorCode first = kErrorSuccess;
  do {
    const WideString name = GetFoundName(data);
    if (name == u"." || name == u"..") continue;
    ErrorCode code;
    if (IsFoundDirectory(data) != 0 && !IsFoundLink(data)) {
      code = RestoreTree(worker, root + name + u"/", backup + name + u"/", moved);
    } else {
      code = MoveFile(backup + name, root + name);
      if (code == kErrorSuccess && moved != nullptr) ++*moved;
    }
    if (code != kErrorSuccess && first == kErrorSuccess) first = code;
  } while (FindNextFile(&data));
  FindClose(&data);
  return first;
}

}  // namespace ordx
