// Packing: walk the tree, plan the container, stream it through deflate.
#include "kit_packer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>

#include "fs/file_layer.h"
#include "fs/temp_file_guard.h"
#include "kit/kit_limits.h"
#include "kit/kit_reader.h"
#include "text/utf8.h"

namespace ordx {

namespace {

constexpr std::size_t kChunk = 1 << 20;

std::string ErrnoText(int err) { return std::strerror(err); }

class UniqueDir {
 public:
  explicit UniqueDir(const std::string& path) : dir_(::opendir(path.c_str())) {}
  ~UniqueDir() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  UniqueDir(const UniqueDir&) = delete;
  UniqueDir& operator=(const UniqueDir&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size != 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Raw deflate (no header, no checksum) straight into a descriptor.
class DeflateWriter {
 public:
  DeflateWriter(int fd, int level) : fd_(fd), out_(std::make_unique<Bytef[]>(kChunk)) {
    std::memset(&z_, 0, sizeof(z_));
    ready_ = deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~DeflateWriter() {
    if (ready_) deflateEnd(&z_);
  }
  DeflateWriter(const DeflateWriter&) = delete;
  DeflateWriter& operator=(const DeflateWriter&) = delete;

  bool ready() const { return ready_; }
  bool Write(const void* data, std::size_t size) { return Run(data, size, Z_NO_FLUSH); }
  bool Finish() { return Run(nullptr, 0, Z_FINISH); }

 private:
  bool Run(const void* data, std::size_t size, int flush) {
    z_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z_.avail_in = static_cast<uInt>(size);
    int rc;
    do {
      z_.next_out = out_.get();
      z_.avail_out = kChunk;
      rc = deflate(&z_, flush);
      if (rc == Z_STREAM_ERROR) return false;
      if (!WriteAll(fd_, out_.get(), kChunk - z_.avail_out)) return false;
    } while (z_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    return true;
  }

  int fd_;
  z_stream z_;
  bool ready_ = false;
  std::unique_ptr<Bytef[]> out_;
};

void PutU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void PutU64(std::string* out, std::uint64_t v) {
  PutU32(out, static_cast<std::uint32_t>(v));
  PutU32(out, static_cast<std::uint32_t>(v >> 32));
}

void PutString(std::string* out, std::u16string_view text) {
  PutU32(out, static_cast<std::uint32_t>(text.size()));
  for (const char16_t unit : text) {
    out->push_back(static_cast<char>(unit & 0xFF));
    out->push_back(static_cast<char>(unit >> 8));
  }
}

// What one language says of the product: its name, vendor and document.
void PutProductTexts(std::string* out, const PackText& t) {
  PutString(out, t.product);
  PutString(out, t.vendor);
  PutString(out, t.descriptionPath);
}

void PutRecord(std::string* out, const std::string& body) {
  PutU32(out, static_cast<std::uint32_t>(body.size() + 4));
  out->append(body);
}

// Turns one relative path (with "/") into the stored name, or says why not.
bool StoredName(const std::string& relative, std::u16string* name, std::string* why) {
  if (relative.find('\\') != std::string::npos) {
    *why = "its name contains a backslash, which the installer reads as a separator";
    return false;
  }
  if (!Utf8ToUtf16(relative, name)) {
    *why = "its name is not valid UTF-8";
    return false;
  }
  std::replace(name->begin(), name->end(), u'/', u'\\');
  if (!IsSafeEntryName(WideString(std::u16string_view(*name)))) {
    *why = "its name cannot be installed safely";
    return false;
  }
  if (!NameWithinLimits(*name)) {
    *why = "its name passes the kit limits (" + std::to_string(kMaxNameUnits) + " UTF-16 units, " +
           std::to_string(kMaxNameLevels) + " levels, " + std::to_string(kMaxLevelBytes) +
           " bytes per level)";
    return false;
  }
  return true;
}

struct PendingDir {
  std::string path;
  std::string relative;  // "" for the source directory itself
};

// The source tree as the walk sees it: the kit from an earlier run, if it
// lies inside, is the one file never to pack.
struct SourceTree {
  bool havePrevious = false;
  struct stat previous {};
};

bool OpenSourceTree(const PackOptions& options, SourceTree* tree, std::string* error) {
  struct stat top {};
  if (::stat(options.sourceDir.c_str(), &top) != 0) {
    *error = options.sourceDir + ": " + ErrnoText(errno);
    return false;
  }
  if (!S_ISDIR(top.st_mode)) {
    *error = options.sourceDir + ": not a directory";
    return false;
  }
  tree->havePrevious = ::stat(options.outputPath.c_str(), &tree->previous) == 0;
  return true;
}

// One regular file found by the walk, checked against the kit's limits.
bool AddFile(const PackOptions& options, const std::string& path, const std::string& relative,
             const struct stat& st, std::vector<PackFile>* files, std::string* error) {
  PackFile file;
  file.sourcePath = path;
  std::string why;
  if (!StoredName(relative, &file.name, &why)) {
    *error = path + ": cannot be packed: " + why;
    return false;
  }
  file.sortKey = Utf16ToUtf8(file.name);
  file.size = static_cast<std::uint64_t>(st.st_size);
  if (file.size > UINT32_MAX) {
    *error = path + ": " + std::to_string(file.size) +
             " bytes; a kit holds only files smaller than 4 GiB";
    return false;
  }
  if (!KitTimeFromPosix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec, options.preciseTimes,
                        &file.time)) {
    *error = path + ": its modification time cannot be written into a kit";
    return false;
  }
  files->push_back(std::move(file));
  if (files->size() > kMaxKitEntries) {
    *error = options.sourceDir + ": more than " + std::to_string(kMaxKitEntries) +
             " files; a kit holds no more";
    return false;
  }
  return true;
}

// Sorts one directory entry: a subdirectory goes onto `pending`, a regular
// file into `files`, anything else is skipped with a warning.
bool VisitEntry(const PackOptions& options, const PackWarning& warn, const SourceTree& tree,
                const PendingDir& dir, const std::string& leaf, std::vector<PendingDir>* pending,
                std::vector<PackFile>* files, std::string* error) {
  const std::string path = dir.path + "/" + leaf;
  const std::string relative = dir.relative.empty() ? leaf : dir.relative + "/" + leaf;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    *error = path + ": " + ErrnoText(errno);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    warn("skipping symbolic link " + path + " (links are not followed)");
    return true;
  }
  if (S_ISDIR(st.st_mode)) {
    pending->push_back({path, relative});
    return true;
  }
  if (!S_ISREG(st.st_mode)) {
    warn("skipping " + path + ": not a regular file");
    return true;
  }
  if (tree.havePrevious && st.st_dev == tree.previous.st_dev &&
      st.st_ino == tree.previous.st_ino) {
    warn("skipping " + path + ": it is the output kit");
    return true;
  }
  return AddFile(options, path, relative, st, files, error);
}

bool CollectFiles(const PackOptions& options, const PackWarning& warn, std::vector<PackFile>* files,
                  std::string* error) {
  SourceTree tree;
  if (!OpenSourceTree(options, &tree, error)) return false;
  std::vector<PendingDir> pending{{options.sourceDir, ""}};
  while (!pending.empty()) {
    const PendingDir dir = std::move(pending.back());
    pending.pop_back();
    const UniqueDir stream(dir.path);
    if (stream.get() == nullptr) {
      *error = dir.path + ": " + ErrnoText(errno);
      return false;
    }
    for (;;) {
      errno = 0;
      const dirent* item = ::readdir(stream.get());
      if (item == nullptr) break;
      const std::string leaf = item->d_name;
      if (leaf == "." || leaf == "..") continue;
      if (!VisitEntry(options, warn, tree, dir, leaf, &pending, files, error)) return false;
    }
    if (errno != 0) {
      *error = dir.path + ": " + ErrnoText(errno);
      return false;
    }
  }
  return true;
}

// The bounds on texts that the installer checks when it reads the kit.
bool TextsWithinLimits(const PackOptions& options, const std::vector<PackFile>& files,
                       std::string* error) {
  if (options.texts.size() > kMaxKitDescriptions) {
    *error = "more than " + std::to_string(kMaxKitDescriptions) + " languages";
    return false;
  }
  std::uint64_t units = 0;
  for (const PackText& t : options.texts) {
    for (const std::u16string* text : {&t.code, &t.product, &t.vendor, &t.descriptionPath}) {
      if (text->size() > kMaxStringUnits) {
        *error = "a text of more than " + std::to_string(kMaxStringUnits) + " UTF-16 units";
        return false;
      }
      units += text->size();
    }
  }
  for (const PackFile& f : files) units += f.name.size();
  if (units > kMaxTotalTextUnits) {
    *error = "names and texts hold " + std::to_string(units) + " UTF-16 units together; a kit " +
             "holds at most " + std::to_string(kMaxTotalTextUnits);
    return false;
  }
  return true;
}

// The open file is still the regular file, of the size and time, that the
// plan saw.
bool IsAsPlanned(int fd, const PackFile& file, bool precise) {
  struct stat st {};
  FILETIME now = 0;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
         static_cast<std::uint64_t>(st.st_size) == file.size &&
         KitTimeFromPosix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec, precise, &now) &&
         now == file.time;
}

// Copies exactly `file.size` bytes of `fd` into the deflate stream; one more
// read must then find the end, or the file grew.
bool CopyPlannedBytes(int fd, const PackFile& file, std::vector<char>* buffer, DeflateWriter* z,
                      std::string* error) {
  std::uint64_t left = file.size;
  for (;;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(left == 0 ? 1 : left, buffer->size()));
    const ssize_t n = ::read(fd, buffer->data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = file.sourcePath + ": " + ErrnoText(errno);
      return false;
    }
    if (left == 0) {
      if (n == 0) return true;
      *error = file.sourcePath + ": grew while the kit was being packed";
      return false;
    }
    if (n == 0) {
      *error = file.sourcePath + ": shrank while the kit was being packed";
      return false;
    }
    if (!z->Write(buffer->data(), static_cast<std::size_t>(n))) {
      *error = "cannot write the kit";
      return false;
    }
    left -= static_cast<std::uint64_t>(n);
  }
}

// Reads the file into the deflate stream and insists that it is still what
// the plan saw.
bool StreamFile(const PackFile& file, bool precise, std::vector<char>* buffer, DeflateWriter* z,
                std::string* error) {
  const ScopedHandle fd(::open(file.sourcePath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    *error = file.sourcePath + ": " + ErrnoText(errno);
    return false;
  }
  if (!IsAsPlanned(fd.get(), file, precise)) {
    *error = file.sourcePath + ": changed while the kit was being packed";
    return false;
  }
  return CopyPlannedBytes(fd.get(), file, buffer, z, error);
}

}  // namespace

bool KitTimeFromPosix(std::int64_t seconds, std::int64_t nanoseconds, bool precise, FILETIME* out) {
  if (seconds < -kFileTimeEpochSeconds) return false;
  // Unsigned: the sum must not overflow for times far in the future.
  const std::uint64_t since1601 =
      static_cast<std::uint64_t>(seconds) + static_cast<std::uint64_t>(kFileTimeEpochSeconds);
  const std::uint64_t ticks = precise ? static_cast<std::uint64_t>(nanoseconds) / 100 : 0;
  if (since1601 > (UINT64_MAX - ticks) / kFileTimeTicksPerSecond) return false;
  *out = since1601 * kFileTimeTicksPerSecond + ticks;
  return true;
}

std::string EncodeContainerHeader(bool singleLanguage, const std::vector<PackText>& texts,
                                  const std::vector<PackFile>& files) {
  std::string out;
  if (singleLanguage) {
    const PackText empty;
    const PackText& t = texts.empty() ? empty : texts.front();
    PutU32(&out, 0);
    PutProductTexts(&out, t);
  } else {
    PutU32(&out, 1);
    PutU32(&out, static_cast<std::uint32_t>(texts.size()));
    for (const PackText& t : texts) {
      std::string body;
      PutString(&body, t.code);
      PutProductTexts(&body, t);
      PutRecord(&out, body);
    }
  }
  PutU32(&out, static_cast<std::uint32_t>(files.size()));
  for (const PackFile& f : files) {
    std::string body;
    PutString(&body, f.name);
    PutU64(&body, f.time);
    PutU32(&body, f.offset);
    PutU32(&body, static_cast<std::uint32_t>(f.size));
    PutRecord(&out, body);
  }
  return out;
}

bool PlanKit(const PackOptions& options, const PackWarning& warn, PackPlan* plan,
             std::string* error) {
  plan->files.clear();
  if (!CollectFiles(options, warn, &plan->files, error) ||
      !TextsWithinLimits(options, plan->files, error))
    return false;
  std::sort(plan->files.begin(), plan->files.end(),
            [](const PackFile& a, const PackFile& b) { return a.sortKey < b.sortKey; });

  std::uint64_t data = 0;
  for (PackFile& f : plan->files) {
    if (data > kMaxUnpackedKit) break;  // refused below
    f.offset = static_cast<std::uint32_t>(data);
    data += f.size;
  }
  plan->header = EncodeContainerHeader(options.singleLanguage, options.texts, plan->files);
  plan->containerSize = plan->header.size() + data;
  if (plan->containerSize > kMaxUnpackedKit) {
    *error = "the unpacked kit would hold " + std::to_string(plan->containerSize) +
             " bytes; a kit cannot pass 4 GiB";
    return false;
  }

  std::set<std::u16string> names;
  for (const PackFile& f : plan->files) names.insert(f.name);
  for (const PackText& t : options.texts) {
    std::u16string path = t.descriptionPath;
    std::replace(path.begin(), path.end(), u'/', u'\\');
    if (!path.empty() && names.count(path) == 0)
      warn("description path " + Utf16ToUtf8(t.descriptionPath) + " is not a file of the kit");
  }
  return true;
}

bool WritePlannedKit(const PackOptions& options, const PackPlan& plan, std::string* error) {
  std::string tempName = options.outputPath + ".XXXXXX";
  ScopedHandle fd(::mkstemp(tempName.data()));
  if (fd.get() < 0) {
    *error = options.outputPath + ": " + ErrnoText(errno);
    return false;
  }
  TempFileGuard guard(tempName);

  DeflateWriter z(fd.get(), options.level);
  if (!z.ready()) {
    *error = "compression level " + std::to_string(options.level) + " is not available";
    return false;
  }
  const char* const writeFailed = ": write failed";
  if (!z.Write(plan.header.data(), plan.header.size())) {
    *error = options.outputPath + writeFailed;
    return false;
  }
  std::vector<char> buffer(kChunk);
  for (const PackFile& f : plan.files)
    if (!StreamFile(f, options.preciseTimes, &buffer, &z, error)) return false;
  if (!z.Finish()) {
    *error = options.outputPath + writeFailed;
    return false;
  }

  // mkstemp makes the file private; a kit is for everyone to read.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd.get(), 0666 & ~mask) != 0 || !fd.Close()) {
    *error = options.outputPath + writeFailed;
    return false;
  }
  if (::rename(tempName.c_str(), options.outputPath.c_str()) != 0) {
    *error = options.outputPath + ": " + ErrnoText(errno);
    return false;
  }
  guard.Release();
  return true;
}

}  // namespace ordx
