// Operations relative to an open directory, for work that must stay inside
// one tree: every name is looked up from a descriptor, a symbolic link is
// only followed when it resolves inside the tree, and paths of any depth are
// walked one level at a time with one descriptor held. Also the target's lock,
// its file-system flush, exact directory times, and the copy of a byte range
// between descriptors. Every changing operation passes the fault hook.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "fs/file_layer.h"

namespace ordx {

// A modification time with nanoseconds.
struct FileStamp {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// What one name is, looked up without following a final link; for a link,
// `isRegular`, `isDirectory` and `modified` describe what it resolves to.
struct NodeInfo {
  bool present = false;
  bool isLink = false;
  bool isRegular = false;
  bool isDirectory = false;
  FileStamp modified;
  std::uint64_t inode = 0;  // of the name itself
  std::uint64_t size = 0;   // of the name itself
  std::uint32_t owner = 0;  // of the name itself
  std::uint32_t mode = 0;   // permission bits of the name itself
};

// Stands for the current directory where a directory handle is asked for.
inline constexpr Handle kCurrentDirectory = -100;

// Opens a directory named by a path as typed (links followed). 2 when it is
// missing, 87 for anything else.
ErrorCode OpenDirectory(const WideString& path, ScopedHandle* out);

// Called before a missing level is made, with the directory it is made in
// and its path relative to the root; a non-zero result stops the walk.
using LevelHook = std::function<ErrorCode(Handle parent, const WideString& relative)>;

// Opens the directory `relative` ("/"-separated, empty for the root itself)
// below the directory open as `root`. A link among the levels is followed
// only when it resolves inside the root (kErrorOutsideTree otherwise); ".."
// is refused. With `beforeMake`, missing levels are made, each once.
ErrorCode OpenBeneath(Handle root, const WideString& relative, const LevelHook* beforeMake,
                      ScopedHandle* out);

// Looks `name` up in `dir`. A missing name is success with present false.
ErrorCode InspectAt(Handle dir, const WideString& name, NodeInfo* out);
ErrorCode InspectHandle(Handle handle, NodeInfo* out);
// True when `path` (links followed) names the file open as `handle`.
bool PathNamesHandle(const WideString& path, Handle handle);

// Creates `name` in `dir` for writing, never reusing an existing name and
// never through a link (mode 0660 before the umask). 183 when it exists.
ErrorCode CreateNewFileAt(Handle dir, const WideString& name, Handle* out);
// Opens `name` for appending (created when `create`, mode 0600).
ErrorCode OpenAppendAt(Handle dir, const WideString& name, bool create, Handle* out);
ErrorCode OpenReadAt(Handle dir, const WideString& name, Handle* out);
// Reads the whole file open as `handle` from its start.
ErrorCode ReadAll(Handle handle, std::string* out);

// Copies `size` bytes at `offset` of `in` to the current position of `out`,
// in the kernel where it can (copy_file_range), else through `buffer`. 38
// when `in` ends before the range does.
ErrorCode CopyRange(Handle in, std::uint64_t offset, Handle out, std::uint64_t size,
                    void* buffer, std::uint32_t bufferSize);

// Sets access and modification time of an open file.
ErrorCode SetStamp(Handle handle, const FileStamp& stamp);
// Sets the modification time of `name` in `dir` (the directory itself when
// `name` is empty) exactly, leaving its access time alone.
ErrorCode SetModifiedAt(Handle dir, const WideString& name, const FileStamp& stamp);
// The same pair for a path as typed.
ErrorCode GetModified(const WideString& path, FileStamp* out);
ErrorCode SetModified(const WideString& path, const FileStamp& stamp);

// A second name for a file, never following a link: kErrorNotSupported
// where the file system has no hard links.
ErrorCode LinkAt(Handle fromDir, const WideString& from, Handle toDir, const WideString& to);
// Renames, replacing a file at the destination.
ErrorCode RenameAt(Handle fromDir, const WideString& from, Handle toDir, const WideString& to);
// 0 when removed, 2 when there was nothing.
ErrorCode UnlinkAt(Handle dir, const WideString& name);
ErrorCode MakeDirectoryAt(Handle dir, const WideString& name, std::uint32_t mode);
// Removes an empty directory; 2 when missing, 87 when not empty or not ours.
ErrorCode RemoveDirectoryAt(Handle dir, const WideString& name);
// Removes `name` in `dir` with everything below it, never following a
// link, at any depth. Always 0.
ErrorCode DeleteTreeAt(Handle dir, const WideString& name);
// The names in the directory open as `dir`, "." and ".." left out.
ErrorCode ListAt(Handle dir, std::vector<WideString>* names);

// Writes everything the file system of `handle` holds to disk.
ErrorCode SyncFileSystem(Handle handle);
// Takes an exclusive lock on the open file without waiting: kErrorBusy when
// another open file description holds it.
ErrorCode TryLockExclusive(Handle handle);
// Opens (creating) `path` and waits for an exclusive lock on it.
ErrorCode LockFile(const WideString& path, ScopedHandle* out);

// The current working directory, without a trailing "/".
ErrorCode GetCurrentDirectory(WideString* out);

}  // namespace ordx
