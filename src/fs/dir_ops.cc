// Descriptor-relative file operations over Linux system calls. A walk below a
// root holds one descriptor at a time; links are resolved with openat2 and
// RESOLVE_BENEATH, or, where the kernel lacks it, by comparing real paths.
#include "fs/dir_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "fs/layer_internal.h"
#include "text/convert.h"

namespace ordx {
namespace {

using fsinternal::FailErrno;
using fsinternal::FailWith;
using fsinternal::Fault;

// The path the hook and failure reports see: the directory's path and the
// name. Computed only when someone looks.
WideString Describe(Handle dir, const WideString& name) {
  if (!name.empty() && (name[0] == u'/' || dir == kCurrentDirectory)) return name;
  WideString path = fsinternal::HandlePath(dir);
  if (!name.empty()) path += u"/" + name;
  return path;
}

ErrorCode FaultAt(FileOp op, Handle dir, const WideString& name) {
  if (!fsinternal::HookSet()) return kErrorSuccess;
  return Fault(op, Describe(dir, name));
}

ErrorCode FailAt(int err, Handle dir, const WideString& name) {
  return FailErrno(err, Describe(dir, name));
}

bool Narrow(const WideString& name, std::string* out) {
  NarrowString narrow;
  if (!fsinternal::ToSystemPath(name, &narrow)) {
    // The locale cannot spell the name: that is the reason to report.
    NoteSystemFailure(EILSEQ, name);
    return false;
  }
  out->assign(narrow.c_str(), narrow.length());
  return true;
}

FileStamp StampOf(const struct stat& st) {
  return FileStamp{st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return std::string();
  std::string out(real);
  std::free(real);
  return out;
}

// Opens directory `relative` below `root`, following links only while they
// stay inside it; errno EXDEV when one leads out.
int OpenDirectoryBeneath(Handle root, const std::string& relative) {
  open_how how{};
  how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
  // No openat2 (or a filter refuses it): compare the real paths.
  const std::string top = RealPath("/proc/self/fd/" + std::to_string(root));
  const std::string target = RealPath(top + "/" + relative);
  if (top.empty() || target.empty()) {
    errno = ENOENT;
    return -1;
  }
  if (target != top && target.rfind(top == "/" ? top : top + "/", 0) != 0) {
    errno = EXDEV;
    return -1;
  }
  return ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

ErrorCode OpenDirectory(const WideString& path, ScopedHandle* out) {
  std::string narrow;
  if (!Narrow(path, &narrow) || narrow.empty()) return FailWith(kErrorInvalidParameter);
  const int fd = ::open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailErrno(errno, path);
  out->Reset(fd);
  return kErrorSuccess;
}

ErrorCode OpenBeneath(Handle root, const WideString& relative, const LevelHook* beforeMake,
                      ScopedHandle* out) {
  std::string path;
  if (!Narrow(relative, &path)) return FailWith(kErrorInvalidParameter);
  ScopedHandle current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
  if (current.get() < 0) return FailErrno(errno, relative);
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    // Converted only when needed: doing it per level would cost time
    // quadratic in the depth.
    const auto levelPath = [&path, end] { return ToWide(NarrowString(path.substr(0, end).c_str())); };
    if (name == "..") {
      NoteSystemFailure(EXDEV, levelPath());
      return FailWith(kErrorOutsideTree);
    }
    int fd = ::openat(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && beforeMake != nullptr && *beforeMake) {
      const WideString level = levelPath();
      if (const ErrorCode refused = (*beforeMake)(current.get(), level)) return refused;
      if (const ErrorCode fault = FaultAt(FileOp::kCreateDirectory, current.get(), ToWide(NarrowString(name.c_str())))) {
        return FailWith(fault);
      }
      if (::mkdirat(current.get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
        return FailErrno(errno, level);
      }
      fd = ::openat(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
      struct stat st {};
      if (::fstatat(current.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(st.st_mode)) {
        fd = OpenDirectoryBeneath(root, path.substr(0, end));
      } else {
        errno = ENOTDIR;
      }
    }
    if (fd < 0) {
      const int err = errno;
      if (err == EXDEV) {
        NoteSystemFailure(EXDEV, levelPath());
        return FailWith(kErrorOutsideTree);
      }
      return FailErrno(err, levelPath());
    }
    current.Reset(fd);
  }
  out->Reset(current.Release());
  return kErrorSuccess;
}

namespace {

// What a look-up tells of the name itself, whatever it resolves to.
void FillIdentity(const struct stat& st, NodeInfo* out) {
  out->present = true;
  out->inode = st.st_ino;
  out->size = static_cast<std::uint64_t>(st.st_size);
  out->owner = st.st_uid;
  out->mode = st.st_mode & 07777;
}

}  // namespace

ErrorCode InspectAt(Handle dir, const WideString& name, NodeInfo* out) {
  *out = NodeInfo{};
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  struct stat st {};
  if (::fstatat(dir, narrow.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return kErrorSuccess;
    return FailAt(errno, dir, name);
  }
  FillIdentity(st, out);
  out->isLink = S_ISLNK(st.st_mode);
  // Only read through a link: the time of what it names.
  if (out->isLink && ::fstatat(dir, narrow.c_str(), &st, 0) != 0) return kErrorSuccess;
  out->isRegular = S_ISREG(st.st_mode);
  out->isDirectory = S_ISDIR(st.st_mode);
  out->modified = StampOf(st);
  return kErrorSuccess;
}

ErrorCode InspectHandle(Handle handle, NodeInfo* out) {
  *out = NodeInfo{};
  struct stat st {};
  if (::fstat(handle, &st) != 0) return FailAt(errno, handle, WideString());
  FillIdentity(st, out);
  out->isRegular = S_ISREG(st.st_mode);
  out->isDirectory = S_ISDIR(st.st_mode);
  out->modified = StampOf(st);
  return kErrorSuccess;
}

bool PathNamesHandle(const WideString& path, Handle handle) {
  std::string narrow;
  struct stat byPath {}, byHandle {};
  return Narrow(path, &narrow) && ::stat(narrow.c_str(), &byPath) == 0 &&
         ::fstat(handle, &byHandle) == 0 && byPath.st_dev == byHandle.st_dev &&
         byPath.st_ino == byHandle.st_ino;
}

ErrorCode CreateNewFileAt(Handle dir, const WideString& name, Handle* out) {
  if (const ErrorCode fault = FaultAt(FileOp::kCreateFile, dir, name)) return FailWith(fault);
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  const int fd =
      ::openat(dir, narrow.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0660);
  if (fd < 0) {
    if (errno == EEXIST) {
      NoteSystemFailure(EEXIST, Describe(dir, name));
      return FailWith(kErrorAlreadyExists);
    }
    return FailAt(errno, dir, name);
  }
  *out = fd;
  return kErrorSuccess;
}

ErrorCode OpenAppendAt(Handle dir, const WideString& name, bool create, Handle* out) {
  if (create) {
    if (const ErrorCode fault = FaultAt(FileOp::kCreateFile, dir, name)) return FailWith(fault);
  }
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0);
  const int fd = ::openat(dir, narrow.c_str(), flags, 0600);
  if (fd < 0) return FailAt(errno, dir, name);
  *out = fd;
  return kErrorSuccess;
}

ErrorCode OpenReadAt(Handle dir, const WideString& name, Handle* out) {
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  const int fd = ::openat(dir, narrow.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return FailAt(errno, dir, name);
  *out = fd;
  return kErrorSuccess;
}

ErrorCode ReadAll(Handle handle, std::string* out) {
  out->clear();
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(handle, buffer, sizeof buffer, offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FailAt(errno, handle, WideString());
    }
    if (got == 0) return kErrorSuccess;
    out->append(buffer, static_cast<std::size_t>(got));
    offset += got;
  }
}

ErrorCode CopyRange(Handle in, std::uint64_t offset, Handle out, std::uint64_t size,
                    void* buffer, std::uint32_t bufferSize) {
  ErrorCode fault = FaultAt(FileOp::kWriteFile, out, WideString());
  if (fault != kErrorSuccess && (fault & kFaultAfterHalf) == 0) return FailWith(fault);
  if (fault != kErrorSuccess) {
    fault &= ~kFaultAfterHalf;
    size /= 2;  // half of it reaches the file, then the disk is full
  }
  auto position = static_cast<off_t>(offset);
  std::uint64_t remaining = size;
  bool inKernel = true;
  while (remaining > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, 1u << 30));
    ssize_t done;
    if (inKernel) {
      done = ::copy_file_range(in, &position, out, nullptr, want, 0);
      if (done < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                       errno == EOPNOTSUPP)) {
        inKernel = false;  // another file system or an old kernel: by hand
        continue;
      }
    } else {
      done = ::pread(in, buffer, std::min<std::size_t>(want, bufferSize), position);
      for (ssize_t put = 0; done > 0 && put < done;) {
        const ssize_t n = ::write(out, static_cast<const char*>(buffer) + put,
                                  static_cast<std::size_t>(done - put));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FailAt(n < 0 ? errno : ENOSPC, out, WideString());
        put += n;
      }
      if (done > 0) position += done;
    }
    if (done < 0) {
      if (errno == EINTR) continue;
      return FailAt(errno, out, WideString());
    }
    // The source ended inside the range: more reads would never bring it.
    if (done == 0) return FailWith(kErrorHandleEof);
    remaining -= static_cast<std::uint64_t>(done);
  }
  if (fault != kErrorSuccess) {
    NoteSystemFailure(ENOSPC, Describe(out, WideString()));
    return FailWith(fault);
  }
  return kErrorSuccess;
}

ErrorCode SetStamp(Handle handle, const FileStamp& stamp) {
  if (const ErrorCode fault = FaultAt(FileOp::kSetFileTime, handle, WideString())) {
    return FailWith(fault);
  }
  const timespec times[2] = {{static_cast<time_t>(stamp.seconds), stamp.nanoseconds},
                             {static_cast<time_t>(stamp.seconds), stamp.nanoseconds}};
  if (::futimens(handle, times) != 0) return FailAt(errno, handle, WideString());
  return kErrorSuccess;
}

ErrorCode SetModifiedAt(Handle dir, const WideString& name, const FileStamp& stamp) {
  if (const ErrorCode fault = FaultAt(FileOp::kSetFileTime, dir, name)) return FailWith(fault);
  const timespec times[2] = {{0, UTIME_OMIT},
                             {static_cast<time_t>(stamp.seconds), stamp.nanoseconds}};
  if (name.empty()) {
    if (::futimens(dir, times) != 0) return FailAt(errno, dir, name);
    return kErrorSuccess;
  }
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  if (::utimensat(dir, narrow.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    return FailAt(errno, dir, name);
  }
  return kErrorSuccess;
}

ErrorCode GetModified(const WideString& path, FileStamp* out) {
  std::string narrow;
  struct stat st {};
  if (!Narrow(path, &narrow)) return FailWith(kErrorInvalidParameter);
  if (::stat(narrow.c_str(), &st) != 0) return FailErrno(errno, path);
  *out = StampOf(st);
  return kErrorSuccess;
}

ErrorCode SetModified(const WideString& path, const FileStamp& stamp) {
  if (const ErrorCode fault = Fault(FileOp::kSetFileTime, path)) return FailWith(fault);
  std::string narrow;
  if (!Narrow(path, &narrow)) return FailWith(kErrorInvalidParameter);
  const timespec times[2] = {{0, UTIME_OMIT},
                             {static_cast<time_t>(stamp.seconds), stamp.nanoseconds}};
  if (::utimensat(AT_FDCWD, narrow.c_str(), times, 0) != 0) return FailErrno(errno, path);
  return kErrorSuccess;
}

ErrorCode LinkAt(Handle fromDir, const WideString& from, Handle toDir, const WideString& to) {
  if (const ErrorCode fault = FaultAt(FileOp::kLink, fromDir, from)) return FailWith(fault);
  std::string a, b;
  if (!Narrow(from, &a) || !Narrow(to, &b)) return FailWith(kErrorInvalidParameter);
  if (::linkat(fromDir, a.c_str(), toDir, b.c_str(), 0) == 0) return kErrorSuccess;
  const int err = errno;
  const ErrorCode code = FailAt(err, fromDir, from);
  // File systems without hard links (and hardened link rules) say so in
  // these ways; the caller then moves the file instead.
  if (err == EPERM || err == EOPNOTSUPP || err == EMLINK || err == EXDEV) {
    return FailWith(kErrorNotSupported);
  }
  return code;
}

ErrorCode RenameAt(Handle fromDir, const WideString& from, Handle toDir, const WideString& to) {
  if (const ErrorCode fault = FaultAt(FileOp::kMoveFile, fromDir, from)) return FailWith(fault);
  std::string a, b;
  if (!Narrow(from, &a) || !Narrow(to, &b)) return FailWith(kErrorInvalidParameter);
  if (::renameat(fromDir, a.c_str(), toDir, b.c_str()) != 0) return FailAt(errno, fromDir, from);
  return kErrorSuccess;
}

ErrorCode UnlinkAt(Handle dir, const WideString& name) {
  if (const ErrorCode fault = FaultAt(FileOp::kDeleteFile, dir, name)) return FailWith(fault);
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  if (::unlinkat(dir, narrow.c_str(), 0) != 0) {
    if (errno == ENOENT) return kErrorFileNotFound;
    return FailAt(errno, dir, name);
  }
  return kErrorSuccess;
}

ErrorCode MakeDirectoryAt(Handle dir, const WideString& name, std::uint32_t mode) {
  if (const ErrorCode fault = FaultAt(FileOp::kCreateDirectory, dir, name)) {
    return FailWith(fault);
  }
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  if (::mkdirat(dir, narrow.c_str(), static_cast<mode_t>(mode)) != 0) {
    if (errno == EEXIST) return kErrorAlreadyExists;
    return FailAt(errno, dir, name);
  }
  return kErrorSuccess;
}

ErrorCode RemoveDirectoryAt(Handle dir, const WideString& name) {
  if (const ErrorCode fault = FaultAt(FileOp::kRemoveDirectory, dir, name)) {
    return FailWith(fault);
  }
  std::string narrow;
  if (!Narrow(name, &narrow)) return FailWith(kErrorInvalidParameter);
  if (::unlinkat(dir, narrow.c_str(), AT_REMOVEDIR) != 0) {
    if (errno == ENOENT) return kErrorFileNotFound;
    return FailAt(errno, dir, name);
  }
  return kErrorSuccess;
}

ErrorCode DeleteTreeAt(Handle dir, const WideString& name) {
  if (FaultAt(FileOp::kDeleteTree, dir, name) != kErrorSuccess) return kErrorSuccess;
  std::string narrow;
  if (!Narrow(name, &narrow) || narrow.empty()) return kErrorSuccess;
  const int fd = ::openat(dir, narrow.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    fsinternal::RemoveContents(fd);
    ::unlinkat(dir, narrow.c_str(), AT_REMOVEDIR);
  } else {
    ::unlinkat(dir, narrow.c_str(), 0);
  }
  return kErrorSuccess;
}

ErrorCode ListAt(Handle dir, std::vector<WideString>* names) {
  names->clear();
  // A descriptor of its own: closedir closes it.
  const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailAt(errno, dir, WideString());
  DIR* const stream = ::fdopendir(fd);
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    return FailAt(error, dir, WideString());
  }
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(ToWide(NarrowString(name.c_str())));
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) return FailAt(error, dir, WideString());
  return kErrorSuccess;
}

ErrorCode SyncFileSystem(Handle handle) {
  if (const ErrorCode fault = FaultAt(FileOp::kSync, handle, WideString())) return FailWith(fault);
  if (::syncfs(handle) != 0) return FailAt(errno, handle, WideString());
  return kErrorSuccess;
}

ErrorCode TryLockExclusive(Handle handle) {
  if (const ErrorCode fault = FaultAt(FileOp::kLock, handle, WideString())) return FailWith(fault);
  while (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return FailWith(kErrorBusy);
    return FailAt(errno, handle, WideString());
  }
  return kErrorSuccess;
}

ErrorCode LockFile(const WideString& path, ScopedHandle* out) {
  if (const ErrorCode fault = Fault(FileOp::kLock, path)) return FailWith(fault);
  std::string narrow;
  if (!Narrow(path, &narrow) || narrow.empty()) return FailWith(kErrorInvalidParameter);
  ScopedHandle fd(::open(narrow.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return FailErrno(errno, path);
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return FailErrno(errno, path);
  }
  out->Reset(fd.Release());
  return kErrorSuccess;
}

ErrorCode GetCurrentDirectory(WideString* out) {
  char* cwd = ::getcwd(nullptr, 0);
  if (cwd == nullptr) return FailErrno(errno, WideString());
  *out = ToWide(NarrowString(cwd));
  std::free(cwd);
  return kErrorSuccess;
}

}  // namespace ordx
