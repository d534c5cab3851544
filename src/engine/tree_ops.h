// Whole-tree operations the install worker builds on: making a directory with
// its missing parents (and remembering which levels the run made), deleting
// a tree, and moving a backup tree back over the target. None of them ever
// deletes or moves anything through a symbolic link.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "fs/file_layer.h"

namespace ordx {

class InstallWorker;

// What one path names, looked up without following a final link for the
// link flag and with following it for the mode.
struct PathInfo {
  bool present = false;   // something has this name (a dangling link included)
  bool isLink = false;    // the name itself is a symbolic link
  bool resolved = false;  // the name resolves (links followed); `mode` is valid
  mode_t mode = 0;        // type and permissions of what it resolves to
  FILETIME lastWrite = 0; // its modification time, whole seconds
};

// Looks up one path exactly as named, even when the name holds "*", "?" or
// "[". A failed look-up reads as absent, so callers confirm absence with an
// operation that fails on its own when something is there.
PathInfo ExaminePath(const WideString& path);

// Makes `path` and every missing level above it. Each level that did not
// exist and was made now is appended to the worker's current rollback
// record, uppermost first, so that a rollback removes all of them. 0 when the
// directory exists afterwards (also when it existed before), else the first
// failing code; levels made before a failure stay recorded.
ErrorCode CreateDirectoryTree(InstallWorker* worker, const WideString& path);

// The same without recording anything.
ErrorCode CreateDirectoryTreeQuiet(const WideString& path);

// Removes `path` with everything below it; a link is removed as itself.
// Tries once more when the first attempt left the path in place. Always 0.
ErrorCode DeleteDirectoryTree(InstallWorker* worker, const WideString& path);

// Moves every file (and link) of the backup tree back to the same relative
// path under `root`, replacing what is there. Both paths end with "/".
// 0 when every file listed was moved back; otherwise the first failing code,
// and whatever could not be moved is still in the backup tree. A listing can
// end early without an error, so `moved` (when given) is increased by the
// number of files moved back, for the caller to compare with what it saved.
ErrorCode RestoreTree(InstallWorker* worker, const WideString& root, const WideString& backup,
                      std::size_t* moved = nullptr);

}  // namespace ordx
