// Reading and replacing small settings files whole, without blocking on
// what is not a regular file and without following links planted by
// another user into a superuser's folders.
#include "fs/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fs/path.h"
#include "fs/temp_file_guard.h"
#include "text/convert.h"

namespace ordx {
namespace {

constexpr std::uint32_t kReadChunk = 1u << 16;
constexpr std::uint32_t kWriteChunk = 1u << 20;
// Links followed before a path counts as a loop, as the kernel does.
constexpr int kMaxLinks = 40;

// A superuser follows only its own links: anyone else's link in a folder
// it writes could send its writes to any file of the system.
bool MayFollow(const struct stat& link) { return ::geteuid() != 0 || link.st_uid == 0; }

// The directory part of `path` with its "/", or "." for a bare name.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = LastSeparator(std::string_view(path));
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// The file a write to `path` lands in: the end of its chain of links, which
// may not exist yet. False for a loop or a link that must not be followed.
bool ResolveLinks(std::string path, std::string* target) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = path;
      return true;
    }
    if (!MayFollow(st)) return false;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return false;  // changed meanwhile
    link.resize(static_cast<std::size_t>(n));
    path = link.front() == '/' ? link : DirectoryOf(path) + link;
  }
  return false;
}

// 0666 less the umask, read without changing it (umask() would race with
// files made on other threads).
mode_t NewFileMode() {
  mode_t mask = 022;
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return 0666 & ~mask;
}

// True when `path` names an entry directly inside `dir`.
bool IsEntryOf(const WideString& path, const WideString& dir) {
  const std::u16string_view name = NamePart(path.view());
  const std::u16string_view above = path.view().substr(0, path.length() - name.length());
  return !dir.empty() && !name.empty() && !above.empty() &&
         TrimTrailingSlashes(above) == TrimTrailingSlashes(dir.view());
}

ErrorCode WriteAll(Handle handle, std::string_view bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const auto piece = static_cast<std::uint32_t>(
        bytes.size() - done < kWriteChunk ? bytes.size() - done : kWriteChunk);
    std::uint32_t written = 0;
    if (WriteFile(handle, bytes.data() + done, piece, &written, nullptr) != kErrorSuccess)
      return kErrorWriteFault;
    done += piece;
  }
  return kErrorSuccess;
}

// The file a replacement lands in, and what stood there before.
struct ReplacedFile {
  std::string target;
  bool hadFile = false;
  struct stat old {};
};

// Follows `path` to the file a replacement would land in, and refuses what
// must not be replaced.
ErrorCode FindReplaceable(const WideString& path, ReplacedFile* file) {
  NarrowString narrow;
  if (!ToNarrowExact(path, &narrow)) return kErrorCantWrite;
  if (!ResolveLinks(std::string(narrow.c_str(), narrow.length()), &file->target))
    return kErrorCantWrite;
  file->hadFile = ::lstat(file->target.c_str(), &file->old) == 0;
  // Renaming over a FIFO, a device or a directory would not replace a
  // settings file.
  if (file->hadFile && !S_ISREG(file->old.st_mode)) return kErrorCantWrite;
  // A file its owner made read-only is not to be changed: a rename in a
  // writable directory would replace it all the same.
  if (file->hadFile && ::faccessat(AT_FDCWD, file->target.c_str(), W_OK, AT_EACCESS) != 0)
    return kErrorCantWrite;
  return kErrorSuccess;
}

// Fills the temporary file and gives it the old file's owner and mode (a
// new file's mode for a new file), durably.
ErrorCode WriteReplacement(const WideString& tempPath, std::string_view bytes,
                           const ReplacedFile& file) {
  Handle raw = kInvalidHandle;
  if (CreateFile(tempPath, kGenericWrite, 0, kOpenExisting, &raw, kAttributeNormal) !=
      kErrorSuccess)
    return kErrorCantWrite;
  ScopedHandle handle(raw);
  if (WriteAll(handle.get(), bytes) != kErrorSuccess) return kErrorWriteFault;
  const bool hadFile = file.hadFile;
  const struct stat& old = file.old;
  if (hadFile && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    // The owner is kept where we may (root writing a user's file); a refused
    // change leaves the file ours.
    [[maybe_unused]] const int chowned = ::fchown(handle.get(), old.st_uid, old.st_gid);
  }
  if (::fchmod(handle.get(), hadFile ? (old.st_mode & 07777) : NewFileMode()) != 0 ||
      ::fsync(handle.get()) != 0)
    return kErrorWriteFault;
  handle.Close();
  return kErrorSuccess;
}

}  // namespace

ErrorCode ReadWholeFile(const WideString& path, std::size_t limit, std::string* bytes) {
  if (const ErrorCode fault = InjectedFault(FileOp::kCreateFile, path)) return fault;
  NarrowString narrow;
  if (bytes == nullptr || !ToNarrowExact(path, &narrow)) return kErrorInvalidParameter;
  struct stat link {};
  if (::lstat(narrow.c_str(), &link) != 0)
    return errno == ENOENT ? kErrorFileNotFound : kErrorInvalidParameter;
  // O_NONBLOCK: opening a FIFO must not wait for a writer. A path that was
  // no link a moment ago is opened as no link.
  int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  struct stat seen = link;
  if (S_ISLNK(link.st_mode)) {
    if (!MayFollow(link)) return kErrorInvalidData;
    if (::stat(narrow.c_str(), &seen) != 0) {
      if (errno == ENOENT) return kErrorFileNotFound;
      return errno == ELOOP ? kErrorInvalidData : kErrorInvalidParameter;
    }
  } else {
    flags |= O_NOFOLLOW;
  }
  // A device is never opened: opening one can act on it.
  if (!S_ISREG(seen.st_mode)) return kErrorInvalidData;
  int fd;
  do {
    fd = ::open(narrow.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ENOENT) return kErrorFileNotFound;
    return errno == ELOOP ? kErrorInvalidData : kErrorInvalidParameter;
  }
  const ScopedHandle file(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return kErrorInvalidParameter;
  if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > limit)
    return kErrorInvalidData;
  // Read to the end, not to the size seen: the file may grow meanwhile, and
  // no more than the limit is ever taken in.
  std::string content;
  for (;;) {
    const std::size_t have = content.size();
    if (have > limit) return kErrorInvalidData;
    content.resize(have + kReadChunk);
    std::uint32_t got = 0;
    const ErrorCode read = ReadFile(fd, content.data() + have, kReadChunk, &got, nullptr);
    if (read != kErrorSuccess) return read;
    content.resize(have + got);
    if (got == 0) break;
  }
  if (content.size() > limit) return kErrorInvalidData;
  *bytes = std::move(content);
  return kErrorSuccess;
}

ErrorCode CreateFileInDirectory(const WideString& dir, const WideString& prefix, WideString* out) {
  if (dir.empty()) return kErrorPathNotFound;
  WideString made;
  const ErrorCode err = GetTempFileName(dir, prefix, &made);
  if (err != kErrorSuccess) return err;
  if (!IsEntryOf(made, dir)) {
    // The layer fell back to the temporary directory: not the place asked for.
    DeleteFile(made);
    return kErrorCantWrite;
  }
  *out = made;
  return kErrorSuccess;
}

ErrorCode ReplaceWholeFile(const WideString& path, std::string_view bytes) {
  ReplacedFile file;
  if (const ErrorCode refused = FindReplaceable(path, &file)) return refused;
  const std::string directory = DirectoryOf(file.target);
  WideString tempPath;
  if (CreateFileInDirectory(ToWide(NarrowString(directory.c_str(), directory.size())),
                            u".ordolaunch", &tempPath) != kErrorSuccess)
    return kErrorCantWrite;
  NarrowString narrowTemp;
  // The layer made the name from bytes, so it goes back to them exactly.
  const bool named = ToNarrowExact(tempPath, &narrowTemp);
  TempFileGuard guard(named ? std::string(narrowTemp.c_str(), narrowTemp.length()) : std::string());
  if (!named) {
    DeleteFile(tempPath);
    return kErrorCantWrite;
  }
  if (const ErrorCode failed = WriteReplacement(tempPath, bytes, file)) return failed;
  if (MoveFile(tempPath, ToWide(NarrowString(file.target.c_str(), file.target.size()))) !=
      kErrorSuccess)
    return kErrorWriteFault;
  guard.Release();
  // Make the rename itself durable; the new content is complete either way.
  const ScopedHandle dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return kErrorSuccess;
}

}  // namespace ordx
