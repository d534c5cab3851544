// The one door to the disk and to processes: Windows-style file, directory
// and process calls over POSIX. Every operation takes WideString paths,
// converts them at the boundary, and reports ErrorCode values (0 success).
// No path ever reaches a shell. Tests can fail any single operation through
// the fault hook at the bottom of this file.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "text/cow_string.h"

namespace ordx {

using ErrorCode = std::uint32_t;
// 100-nanosecond intervals since 1601-01-01 00:00 UTC.
using FILETIME = std::uint64_t;
// A POSIX file descriptor; -1 is the invalid handle.
using Handle = int;

inline constexpr Handle kInvalidHandle = -1;

inline constexpr ErrorCode kErrorSuccess = 0;
inline constexpr ErrorCode kErrorFileNotFound = 2;
inline constexpr ErrorCode kErrorPathNotFound = 3;
inline constexpr ErrorCode kErrorInvalidHandle = 6;
inline constexpr ErrorCode kErrorInvalidData = 13;
// The unpacked kit ended before an entry's bytes did.
inline constexpr ErrorCode kErrorHandleEof = 38;
inline constexpr ErrorCode kErrorInvalidParameter = 87;
inline constexpr ErrorCode kErrorAlreadyExists = 183;
inline constexpr ErrorCode kErrorCantWrite = 1013;
inline constexpr ErrorCode kErrorCancelled = 1223;
// Hard links are not supported where one was asked for.
inline constexpr ErrorCode kErrorNotSupported = 50;
// Another installation holds the target directory.
inline constexpr ErrorCode kErrorBusy = 170;
// A name inside a tree resolves, through a symbolic link, to a place outside it.
inline constexpr ErrorCode kErrorOutsideTree = 1921;

// CreateFile access bits and dispositions.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kCreateAlways = 2;     // O_CREAT, no truncation
inline constexpr std::uint32_t kOpenExisting = 3;     // nothing added
inline constexpr std::uint32_t kTruncateExisting = 5; // O_TRUNC
inline constexpr std::uint32_t kAttributeNormal = 0x80;

// ENOENT gives 2, every other errno 87.
ErrorCode ErrnoToCode(int err);

inline constexpr FILETIME kFileTimeTicksPerSecond = 10000000;
// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
inline constexpr std::int64_t kFileTimeEpochSeconds = 11644473600;

FILETIME FileTimeFromUnix(std::int64_t seconds);
std::int64_t UnixFromFileTime(FILETIME time);

// --- Handle operations. Each sets the process-wide last error to 0 when it
// starts and to its code when it fails.

ErrorCode CreateFile(const WideString& path, std::uint32_t access, std::uint32_t shareMode,
                     std::uint32_t disposition, Handle* out, std::uint32_t attributes);
// Reads until `count` bytes are in or end of file; a short read is success.
// Interrupted reads are retried.
ErrorCode ReadFile(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* read,
                   void* overlapped);
// One complete write of `count` bytes (continued after EINTR and partial
// writes); anything less is a failure.
ErrorCode WriteFile(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* written,
                    void* overlapped);
// True when the handle was closed without error; a failed close can mean
// lost data.
bool CloseHandle(Handle handle);
ErrorCode GetLastError();

// The system's reason for the last failing call of this thread: its errno
// and the path it worked on (for a handle, the file the handle names). Kept
// per thread beside the last-error cell; codes stay as they are.
struct SystemFailure {
  int error = 0;
  WideString path;
};
SystemFailure GetLastSystemFailure();
void NoteSystemFailure(int err, const WideString& path);
// The path the system knows for an open file (links resolved); empty when
// it knows none. For messages only.
WideString PathOfHandle(Handle handle);

// The one owner of a descriptor: closes it on every way out of a scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(Handle handle = kInvalidHandle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Close(); }
  Handle get() const { return handle_; }
  // For CreateFile's out parameter.
  Handle* out() { return &handle_; }
  // Closes now; false when the close failed.
  bool Close() {
    const Handle handle = handle_;
    handle_ = kInvalidHandle;
    return handle == kInvalidHandle || CloseHandle(handle);
  }
  Handle Release() {
    const Handle handle = handle_;
    handle_ = kInvalidHandle;
    return handle;
  }
  // Closes what it holds and takes over `handle`.
  void Reset(Handle handle) {
    Close();
    handle_ = handle;
  }

 private:
  Handle handle_;
};

// --- Path operations.

// TMPDIR when it names a directory, else /tmp; always ends with "/".
ErrorCode GetTempPath(WideString* out);
// Creates a new, empty, private (0600) file named prefix + random characters
// in `directory` (or in GetTempPath when that is missing), never reusing an
// existing name. 0 or 1013.
ErrorCode GetTempFileName(const WideString& directory, const WideString& prefix, WideString* out);
// Free bytes (superuser reserve included) of the temporary directory's file
// system; 0 when it cannot be queried. 87 without out pointer.
ErrorCode GetTempFreeSpace(std::uint64_t* out);
// 0 found, 2 not found, 87 for any other failure or without out pointer.
ErrorCode GetFileSizeByName(const WideString& path, std::uint64_t* out);
// Creates the directory and every missing parent. 183 when it already names
// a directory, 2 when it cannot be made, 87 for other failures.
ErrorCode CreateDirectory(const WideString& path);
// Renames; across file systems runs "mv" with an argument vector. 2 only
// when the source does not exist; any other failure 87.
ErrorCode MoveFile(const WideString& source, const WideString& destination);
// Unlinks; a missing path is no error. Always 0.
ErrorCode DeleteFile(const WideString& path);
// Removes a file or a whole tree without following symbolic links, at any
// depth, holding one directory descriptor at a time. Always 0.
ErrorCode DeleteTree(const WideString& path);
// Runs a program with an argument vector (searched in PATH), no shell, and
// waits. Returns the wait status, or -1 when it could not be started.
int RunProgram(const std::vector<NarrowString>& arguments);
// The expansion of "~", else the password database's home; empty if none.
WideString GetHomeDirectory();

// --- Looking a path up.

// True when `path` names an existing file or directory (links followed).
// "*" is an ordinary character here, never a pattern. An injected
// kFindFirstFile fault makes it false.
bool PathExists(const WideString& path);

// --- Fault injection for tests.

enum class FileOp {
  kCreateFile,
  kReadFile,
  kWriteFile,
  kSetFileTime,
  kGetTempFileName,
  kCreateDirectory,
  kMoveFile,
  kDeleteFile,
  kDeleteTree,
  kFindFirstFile,
  // Operations relative to an open directory (dir_ops.h).
  kLink,
  kRemoveDirectory,
  kSync,
  kLock,
};

// A fault code with this bit set makes WriteFile and CopyRange do half of
// their work before they fail with the code in the low bits: a disk that
// fills up in the middle of a write.
inline constexpr ErrorCode kFaultAfterHalf = 0x80000000u;

// Called at the start of every operation listed in FileOp with the path it
// works on (empty for handle operations). A non-zero result makes the
// operation fail with that code before it touches anything (PathExists
// then answers false; DeleteFile and DeleteTree do nothing).
// An empty hook, the default, disables injection. Set it only while no
// other thread uses the layer. A hook may also end the process (_exit) to
// stand for a crash between two operations.
using FaultHook = std::function<ErrorCode(FileOp op, const WideString& path)>;
void SetFaultHook(FaultHook hook);
// Asks the hook whether `op` on `path` should fail; 0 lets it run. For the
// layer's operations that live in other files of this folder.
ErrorCode InjectedFault(FileOp op, const WideString& path);

// --- The kit file and its unpacked copy.

// No room left on the file system (ENOSPC, EDQUOT).
inline constexpr ErrorCode kErrorDiskFull = 112;

// True when `path` names a regular file (links followed). Never opens it, so
// a FIFO or device named like the kit cannot block.
bool IsRegularFile(const WideString& path);
// Opens an existing regular file for reading without blocking: anything else
// (FIFO, device, directory, socket) gives 2 at once, as a missing file does.
// Reported to the fault hook as FileOp::kCreateFile.
ErrorCode OpenRegularFile(const WideString& path, Handle* out);
// A private (0600) file without a name in `directory`, open for reading and
// writing (O_TMPFILE; where the file system lacks it, a named file unlinked
// at once). Nothing of it outlives the descriptor, even after SIGKILL.
// Reported to the fault hook as FileOp::kGetTempFileName.
ErrorCode CreateAnonymousFile(const WideString& directory, Handle* out);
// Positioned read: until `count` bytes are in or end of file (short only
// there); the handle's position does not move. Hook: FileOp::kReadFile.
ErrorCode ReadFileAt(Handle handle, std::uint64_t offset, void* buffer, std::uint32_t count,
                     std::uint32_t* read);
// Positioned write of all `count` bytes; 112 when the file system is full.
// Hook: FileOp::kWriteFile.
ErrorCode WriteFileAt(Handle handle, std::uint64_t offset, const void* buffer,
                      std::uint32_t count);
// Bytes this process may still add to the file system holding `handle`
// (the superuser's reserve counts for the superuser only), and the size of
// the file behind it.
ErrorCode GetFreeSpaceOf(Handle handle, std::uint64_t* out);
ErrorCode GetFileSizeOf(Handle handle, std::uint64_t* out);

}  // namespace ordx
