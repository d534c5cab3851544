// The file and process layer over POSIX: descriptors for handles, system
// calls for directories, moves and deletions, posix_spawn for programs.
// Paths are converted to the locale's multibyte form at the boundary and are
// never handed to a shell.
#include "fs/file_layer.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "fs/path.h"
#include "text/convert.h"

extern char** environ;

namespace ordx {
namespace {

// One cell for the whole process: a caller reads it right after its own
// failing call, but both threads write it, so it must be atomic.
std::atomic<ErrorCode> g_lastError{kErrorSuccess};

std::mutex g_hookMutex;
std::shared_ptr<const FaultHook> g_hook;  // guarded by g_hookMutex
std::atomic<bool> g_hookSet{false};       // skips the lock when no hook is set

}  // namespace

ErrorCode InjectedFault(FileOp op, const WideString& path) {
  if (!g_hookSet.load(std::memory_order_acquire)) return kErrorSuccess;
  std::shared_ptr<const FaultHook> hook;
  {
    const std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_hook;
  }
  const ErrorCode code = hook && *hook ? (*hook)(op, path) : kErrorSuccess;
  // An injected failure has no errno; a reason left by an earlier call
  // must not be taken for its own.
  if (code != kErrorSuccess) NoteSystemFailure(0, path);
  return code;
}

namespace {

ErrorCode Fail(ErrorCode code) {
  g_lastError.store(code, std::memory_order_relaxed);
  return code;
}

// The system's own reason for the last failure on this thread, kept beside
// the code so that a message can later name the errno and the path.
thread_local int t_failureErrno = 0;
thread_local WideString t_failurePath;

// The file a descriptor names, for failure reports only.
WideString HandleTarget(Handle handle) {
  if (handle < 0) return WideString();
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", handle);
  char target[4096];
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n <= 0) return WideString();
  return ToWide(NarrowString(target, static_cast<std::size_t>(n)));
}

ErrorCode FailErrno(int err, const WideString& path) {
  NoteSystemFailure(err, path);
  return Fail(ErrnoToCode(err));
}

ErrorCode FailErrnoOn(int err, Handle handle) {
  NoteSystemFailure(err, HandleTarget(handle));
  return Fail(ErrnoToCode(err));
}

// Converts a path for a system call. A path that the locale cannot encode
// exactly (a character it lacks, an embedded zero unit) would name another
// file, so it is refused rather than approximated.
bool ToPath(const WideString& path, NarrowString* out) { return ToNarrowExact(path, out); }

bool IsDirectoryPath(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// One directory on the way down: its name in the parent, its identity (to
// tell that ".." still leads back to the parent), and the subdirectories
// still to empty. Names only: no descriptor is kept per level.
struct Level {
  std::string name;
  dev_t device;
  ino_t inode;
  std::vector<std::string> subdirectories;
};

// Removes the non-directories of the directory open as `fd` and returns the
// names of its subdirectories (links are removed as themselves).
std::vector<std::string> ClearFiles(int fd) {
  std::vector<std::string> subdirectories;
  const int listing = ::dup(fd);
  if (listing < 0) return subdirectories;
  UniqueDir dir(::fdopendir(listing));
  if (!dir) {
    ::close(listing);
    return subdirectories;
  }
  // Names first: removing entries while readdir walks them may skip some.
  std::vector<std::string> files;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (IsDotOrDotDot(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    (S_ISDIR(st.st_mode) ? subdirectories : files).emplace_back(entry->d_name);
  }
  for (const std::string& name : files) ::unlinkat(fd, name.c_str(), 0);
  return subdirectories;
}

// Empties the directory open as `top` (taken over) depth first, in time
// linear in the size of the tree whatever its depth. Each level below is
// entered with O_NOFOLLOW and left through "..", checked against the level's
// recorded identity, so a link swapped in meanwhile is never entered and a
// tree moved away is abandoned rather than followed.
void RemoveContents(int top) {
  struct stat st {};
  if (::fstat(top, &st) != 0) {
    ::close(top);
    return;
  }
  std::vector<Level> path;
  path.push_back(Level{std::string(), st.st_dev, st.st_ino, ClearFiles(top)});
  int fd = top;
  while (!path.empty()) {
    Level& level = path.back();
    if (!level.subdirectories.empty()) {
      std::string name = std::move(level.subdirectories.back());
      level.subdirectories.pop_back();
      const int child =
          ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0 || ::fstat(child, &st) != 0) {
        if (child >= 0) ::close(child);
        ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        continue;
      }
      ::close(fd);
      fd = child;
      path.push_back(Level{std::move(name), st.st_dev, st.st_ino, ClearFiles(fd)});
      continue;
    }
    // Emptied: go up and remove it.
    const std::string name = std::move(level.name);
    path.pop_back();
    if (path.empty()) break;
    const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = parent;
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_dev != path.back().device ||
        st.st_ino != path.back().inode) {
      break;  // the tree moved under us: stop rather than delete elsewhere
    }
    ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
  }
  if (fd >= 0) ::close(fd);
}

}  // namespace

namespace fsinternal {
bool HookSet() { return g_hookSet.load(std::memory_order_acquire); }
WideString HandlePath(Handle handle) { return HandleTarget(handle); }
ErrorCode Fault(FileOp op, const WideString& path) { return InjectedFault(op, path); }
ErrorCode FailWith(ErrorCode code) { return Fail(code); }
ErrorCode FailErrno(int err, const WideString& path) { return ordx::FailErrno(err, path); }
bool ToSystemPath(const WideString& path, NarrowString* out) { return ToPath(path, out); }
void RemoveContents(int fd) { ordx::RemoveContents(fd); }
}  // namespace fsinternal

ErrorCode ErrnoToCode(int err) {
  return err == ENOENT ? kErrorFileNotFound : kErrorInvalidParameter;
}

FILETIME FileTimeFromUnix(std::int64_t seconds) {
  // Saturates outside 1601 .. year 60056 instead of wrapping around.
  constexpr std::int64_t kMaxSeconds =
      static_cast<std::int64_t>(std::numeric_limits<FILETIME>::max() / kFileTimeTicksPerSecond) -
      kFileTimeEpochSeconds;
  if (seconds <= -kFileTimeEpochSeconds) return 0;
  if (seconds >= kMaxSeconds) return std::numeric_limits<FILETIME>::max();
  return static_cast<FILETIME>(seconds + kFileTimeEpochSeconds) * kFileTimeTicksPerSecond;
}

std::int64_t UnixFromFileTime(FILETIME time) {
  return static_cast<std::int64_t>(time / kFileTimeTicksPerSecond) - kFileTimeEpochSeconds;
}

// --- Handle operations.

ErrorCode CreateFile(const WideString& path, std::uint32_t access, std::uint32_t /*shareMode*/,
                     std::uint32_t disposition, Handle* out, std::uint32_t /*attributes*/) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  if (const ErrorCode fault = InjectedFault(FileOp::kCreateFile, path)) return Fail(fault);
  NarrowString narrow;
  if (out == nullptr || !ToPath(path, &narrow)) return Fail(kErrorInvalidParameter);
  int flags = O_RDONLY;
  if (access >= (kGenericRead | kGenericWrite)) {
    flags = O_RDWR;
  } else if (access & kGenericWrite) {
    flags = O_WRONLY;
  }
  if (disposition == kTruncateExisting) flags |= O_TRUNC;
  if (disposition == kCreateAlways) flags |= O_CREAT;
  // Close-on-exec, so that programs started meanwhile do not inherit it.
  flags |= O_CLOEXEC;
  int fd;
  do {
    fd = ::open(narrow.c_str(), flags, 0660);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FailErrno(errno, path);
  *out = fd;
  return kErrorSuccess;
}

ErrorCode ReadFile(Handle handle, void* buffer, std::uint32_t count, std::uint32_t* read,
                   void* overlapped) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  if (const ErrorCode fault = InjectedFault(FileOp::kReadFile, WideString())) return Fail(fault);
  if (read == nullptr && overlapped == nullptr) return Fail(kErrorInvalidParameter);
  if (read == nullptr) return kErrorSuccess;
  *read = 0;
  if (handle == kInvalidHandle) return Fail(kErrorInvalidHandle);
  char* const bytes = static_cast<char*>(buffer);
  while (*read < count) {
    const ssize_t got = ::read(handle, bytes + *read, count - *read);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FailErrnoOn(errno, handle);
    }
    if (got == 0) break;
    *read += static_cast<std::uint32_t>(got);
  }
  return kErrorSuccess;
}

ErrorCode WriteFile(Handle handle, const void* buffer, std::uint32_t count, std::uint32_t* written,
                    void* overlapped) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  ErrorCode fault = InjectedFault(FileOp::kWriteFile, WideString());
  if (fault != kErrorSuccess && (fault & kFaultAfterHalf) == 0) return Fail(fault);
  if (written == nullptr && overlapped == nullptr) return Fail(kErrorInvalidParameter);
  if (handle == kInvalidHandle) return Fail(kErrorInvalidHandle);
  if (written == nullptr) return kErrorSuccess;
  *written = 0;
  if (fault != kErrorSuccess) {
    // Half of it reaches the file, then the disk is full.
    fault &= ~kFaultAfterHalf;
    count /= 2;
  }
  const char* const bytes = static_cast<const char*>(buffer);
  while (*written < count) {
    const ssize_t put = ::write(handle, bytes + *written, count - *written);
    if (put < 0) {
      if (errno == EINTR) continue;
      return FailErrnoOn(errno, handle);
    }
    // A write that makes no progress would loop forever: treat it as full.
    if (put == 0) return FailErrnoOn(ENOSPC, handle);
    *written += static_cast<std::uint32_t>(put);
  }
  if (fault != kErrorSuccess) {
    NoteSystemFailure(ENOSPC, HandleTarget(handle));
    return Fail(fault);
  }
  return kErrorSuccess;
}

bool CloseHandle(Handle handle) {
  if (handle == kInvalidHandle) {
    Fail(kErrorInvalidHandle);
    return false;
  }
  // Not retried on EINTR: on Linux the descriptor is gone either way.
  if (::close(handle) == 0) return true;
  FailErrno(errno, WideString());
  return false;
}

ErrorCode GetLastError() { return g_lastError.load(std::memory_order_relaxed); }

WideString PathOfHandle(Handle handle) { return HandleTarget(handle); }

SystemFailure GetLastSystemFailure() { return SystemFailure{t_failureErrno, t_failurePath}; }

void NoteSystemFailure(int err, const WideString& path) {
  t_failureErrno = err;
  t_failurePath = path;
}

// --- Path operations.

ErrorCode GetTempPath(WideString* out) {
  if (out == nullptr) return kErrorInvalidParameter;
  const char* env = std::getenv("TMPDIR");
  const char* directory = env != nullptr && IsDirectoryPath(env) ? env : "/tmp";
  WideString result = ToWide(NarrowString(directory));
  if (!result.empty() && !EndsWithSeparator(result)) result += u'/';
  *out = result;
  return kErrorSuccess;
}

ErrorCode GetTempFileName(const WideString& directory, const WideString& prefix, WideString* out) {
  if (const ErrorCode fault = InjectedFault(FileOp::kGetTempFileName, directory)) return fault;
  if (out == nullptr) return kErrorCantWrite;
  out->resize(0);
  NarrowString narrowDir;
  NarrowString narrowPrefix;
  // A "/" in the prefix would place the file outside the directory.
  if (!ToPath(directory, &narrowDir) || !ToPath(prefix, &narrowPrefix) ||
      narrowPrefix.find('/') != NarrowString::npos) {
    return kErrorCantWrite;
  }
  if (narrowDir.empty() || !IsDirectoryPath(narrowDir.c_str())) {
    WideString temp;
    GetTempPath(&temp);
    narrowDir = ToNarrow(temp);
  }
  if (!EndsWithSeparator(narrowDir.view())) narrowDir += '/';
  // mkostemp replaces the X's, opens with O_CREAT|O_EXCL and tries again on
  // a name that exists, so an existing file or link is never opened.
  std::string name(narrowDir.c_str(), narrowDir.length());
  name.append(narrowPrefix.c_str(), narrowPrefix.length());
  name += "XXXXXX";
  const ScopedHandle fd(::mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return kErrorCantWrite;
  // Private whatever the umask says.
  ::fchmod(fd.get(), 0600);
  *out = ToWide(NarrowString(name.c_str(), name.size()));
  return kErrorSuccess;
}

ErrorCode GetTempFreeSpace(std::uint64_t* out) {
  if (out == nullptr) return kErrorInvalidParameter;
  *out = 0;
  WideString temp;
  GetTempPath(&temp);
  struct statvfs fs {};
  if (::statvfs(ToNarrow(temp).c_str(), &fs) == 0) {
    *out = std::uint64_t{fs.f_frsize} * std::uint64_t{fs.f_bfree};
  }
  return kErrorSuccess;
}

ErrorCode GetFileSizeByName(const WideString& path, std::uint64_t* out) {
  NarrowString narrow;
  struct stat st {};
  if (out == nullptr || !ToPath(path, &narrow)) return kErrorInvalidParameter;
  if (::stat(narrow.c_str(), &st) != 0) return ErrnoToCode(errno);
  *out = static_cast<std::uint64_t>(st.st_size);
  return kErrorSuccess;
}

ErrorCode CreateDirectory(const WideString& path) {
  if (const ErrorCode fault = InjectedFault(FileOp::kCreateDirectory, path)) return fault;
  NarrowString narrow;
  if (!ToPath(path, &narrow) || narrow.empty()) {
    NoteSystemFailure(EINVAL, path);
    return kErrorFileNotFound;
  }
  if (IsDirectoryPath(narrow.c_str())) return kErrorAlreadyExists;
  // Every level from the top, as "mkdir -p" does, each tried once: a prefix
  // that ends just before a "/" (or at the end) is one level. Any failure
  // answers 2, as the tool's non-zero exit did.
  std::string level(narrow.c_str(), narrow.length());
  const std::size_t length = level.size();
  for (std::size_t end = 1; end <= length; ++end) {
    if (end < length && (level[end] != '/' || level[end - 1] == '/')) continue;
    if (end == length && level[end - 1] == '/') break;
    const char saved = level[end];
    level[end] = '\0';
    const int made = ::mkdir(level.c_str(), 0777);
    const int err = errno;
    const bool usable = made == 0 || (err == EEXIST && IsDirectoryPath(level.c_str()));
    level[end] = saved;
    if (usable) continue;
    NoteSystemFailure(made != 0 ? err : ENOTDIR, path);
    return kErrorFileNotFound;
  }
  return kErrorSuccess;
}

ErrorCode MoveFile(const WideString& source, const WideString& destination) {
  if (const ErrorCode fault = InjectedFault(FileOp::kMoveFile, source)) return fault;
  NarrowString from;
  NarrowString to;
  if (!ToPath(source, &from) || !ToPath(destination, &to)) return kErrorInvalidParameter;
  if (::rename(from.c_str(), to.c_str()) == 0) return kErrorSuccess;
  const int renameError = errno;
  NoteSystemFailure(renameError, source);
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    return kErrorFileNotFound;
  }
  if (renameError != EXDEV) return kErrorInvalidParameter;
  // Another file system: "mv" copies and removes. -T keeps rename's meaning
  // of the destination (replace it, never move into it).
  const int status = RunProgram({"mv", "-T", "--", from, to});
  if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return kErrorSuccess;
  return kErrorInvalidParameter;
}

ErrorCode DeleteFile(const WideString& path) {
  if (InjectedFault(FileOp::kDeleteFile, path) != kErrorSuccess) return kErrorSuccess;
  NarrowString narrow;
  if (ToPath(path, &narrow)) ::unlink(narrow.c_str());
  return kErrorSuccess;
}

ErrorCode DeleteTree(const WideString& path) {
  if (InjectedFault(FileOp::kDeleteTree, path) != kErrorSuccess) return kErrorSuccess;
  NarrowString narrow;
  if (!ToPath(path, &narrow)) return kErrorSuccess;
  // Trailing slashes would make lstat follow a link named by the path.
  const std::string target(TrimTrailingSlashes(std::string_view(narrow.c_str(), narrow.length())));
  // Never the root, and never "." or "..", as rm refuses them too.
  const std::string last(NamePart(std::string_view(target)));
  if (target.empty() || target == "/" || IsDotOrDotDot(last.c_str())) return kErrorSuccess;
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0) return kErrorSuccess;
  if (!S_ISDIR(st.st_mode)) {
    ::unlink(target.c_str());
    return kErrorSuccess;
  }
  const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) RemoveContents(fd);
  ::rmdir(target.c_str());
  return kErrorSuccess;
}

int RunProgram(const std::vector<NarrowString>& arguments) {
  if (arguments.empty()) return -1;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const NarrowString& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited == pid ? status : -1;
}

WideString GetHomeDirectory() {
  wordexp_t words{};
  const int result = ::wordexp("~", &words, WRDE_NOCMD);
  std::string home;
  if (result == 0 && words.we_wordc > 0 && words.we_wordv[0] != nullptr) {
    home = words.we_wordv[0];
  }
  if (result == 0 || result == WRDE_NOSPACE) ::wordfree(&words);
  if (home.empty() || home == "~") {
    home.clear();
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int err;
    while ((err = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
    }
    if (err == 0 && found != nullptr && found->pw_dir != nullptr) home = found->pw_dir;
  }
  return ToWide(NarrowString(home.c_str(), home.size()));
}

// --- Directory enumeration.

bool PathExists(const WideString& path) {
  if (path.empty()) return false;
  if (InjectedFault(FileOp::kFindFirstFile, path) != kErrorSuccess) return false;
  NarrowString narrow;
  if (!ToPath(path, &narrow)) return false;
  struct stat status {};
  return ::stat(narrow.c_str(), &status) == 0;
}

void SetFaultHook(FaultHook hook) {
  std::shared_ptr<const FaultHook> next;
  if (hook) next = std::make_shared<const FaultHook>(std::move(hook));
  const std::lock_guard<std::mutex> lock(g_hookMutex);
  g_hookSet.store(next != nullptr, std::memory_order_release);
  g_hook = std::move(next);
}

// --- The kit file and its unpacked copy.

bool IsRegularFile(const WideString& path) {
  NarrowString narrow;
  struct stat st {};
  return ToPath(path, &narrow) && ::stat(narrow.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

ErrorCode OpenRegularFile(const WideString& path, Handle* out) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  if (const ErrorCode fault = InjectedFault(FileOp::kCreateFile, path)) return Fail(fault);
  NarrowString narrow;
  if (out == nullptr || !ToPath(path, &narrow)) return Fail(kErrorInvalidParameter);
  // Opening a device can act on it (a tape rewinds, a modem hangs up) and a
  // socket cannot be opened at all: only what looks like a regular file is.
  struct stat seen {};
  if (::stat(narrow.c_str(), &seen) != 0) return Fail(ErrnoToCode(errno));
  if (!S_ISREG(seen.st_mode)) return Fail(kErrorFileNotFound);
  // O_NONBLOCK: a FIFO swapped in meanwhile must not wait for a writer. It
  // changes nothing for the regular file that is checked again below.
  int fd;
  do {
    fd = ::open(narrow.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(ErrnoToCode(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail(kErrorFileNotFound);
  }
  *out = fd;
  return kErrorSuccess;
}

ErrorCode CreateAnonymousFile(const WideString& directory, Handle* out) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  if (const ErrorCode fault = InjectedFault(FileOp::kGetTempFileName, directory)) {
    return Fail(fault);
  }
  NarrowString narrow;
  if (out == nullptr || !ToPath(directory, &narrow)) return Fail(kErrorCantWrite);
  int fd;
  do {
    fd = ::open(narrow.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No O_TMPFILE here: a named file that is gone again before any byte
    // is written to it.
    std::string name(narrow.c_str(), narrow.length());
    if (!EndsWithSeparator(std::string_view(name))) name += '/';
    name += "kpxXXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::unlink(name.c_str());
      ::fchmod(fd, 0600);
    }
  }
  if (fd < 0) {
    NoteSystemFailure(errno, directory);
    return Fail(kErrorCantWrite);
  }
  *out = fd;
  return kErrorSuccess;
}

ErrorCode ReadFileAt(Handle handle, std::uint64_t offset, void* buffer, std::uint32_t count,
                     std::uint32_t* read) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  if (const ErrorCode fault = InjectedFault(FileOp::kReadFile, WideString())) return Fail(fault);
  if (read == nullptr) return Fail(kErrorInvalidParameter);
  *read = 0;
  if (handle == kInvalidHandle) return Fail(kErrorInvalidHandle);
  char* const bytes = static_cast<char*>(buffer);
  while (*read < count) {
    const ssize_t got =
        ::pread(handle, bytes + *read, count - *read, static_cast<off_t>(offset + *read));
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(ErrnoToCode(errno));
    }
    if (got == 0) break;
    *read += static_cast<std::uint32_t>(got);
  }
  return kErrorSuccess;
}

ErrorCode WriteFileAt(Handle handle, std::uint64_t offset, const void* buffer,
                      std::uint32_t count) {
  g_lastError.store(kErrorSuccess, std::memory_order_relaxed);
  if (const ErrorCode fault = InjectedFault(FileOp::kWriteFile, WideString())) return Fail(fault);
  if (handle == kInvalidHandle) return Fail(kErrorInvalidHandle);
  const char* const bytes = static_cast<const char*>(buffer);
  std::uint32_t written = 0;
  while (written < count) {
    const ssize_t put =
        ::pwrite(handle, bytes + written, count - written, static_cast<off_t>(offset + written));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const int err = put < 0 ? errno : ENOSPC;
      return Fail(err == ENOSPC || err == EDQUOT ? kErrorDiskFull : ErrnoToCode(err));
    }
    written += static_cast<std::uint32_t>(put);
  }
  return kErrorSuccess;
}

ErrorCode GetFreeSpaceOf(Handle handle, std::uint64_t* out) {
  struct statvfs fs {};
  if (out == nullptr || handle == kInvalidHandle || ::fstatvfs(handle, &fs) != 0) {
    return kErrorInvalidParameter;
  }
  // The superuser may also fill the reserve that others may not.
  *out = std::uint64_t{fs.f_frsize} * std::uint64_t{::geteuid() == 0 ? fs.f_bfree : fs.f_bavail};
  return kErrorSuccess;
}

ErrorCode GetFileSizeOf(Handle handle, std::uint64_t* out) {
  struct stat st {};
  if (out == nullptr || handle == kInvalidHandle || ::fstat(handle, &st) != 0) {
    return kErrorInvalidHandle;
  }
  *out = static_cast<std::uint64_t>(st.st_size);
  return kErrorSuccess;
}

}  // namespace ordx
