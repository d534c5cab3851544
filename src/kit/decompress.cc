// Kit decompression: maps the kit one window at a time, inflates it as raw
// deflate and writes the result through the file layer.
#include "kit/decompress.h"

#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace ordx {

namespace {

// Read access with a hint for sequential scanning (the layer ignores it).
constexpr std::uint32_t kAttributeSequentialScan = 0x08000000u;

// One read-only private mapping of a piece of the kit. The mapping itself
// starts at a page boundary; `data()` points at the requested offset.
class ScopedMapping {
 public:
  ScopedMapping(Handle fd, std::uint64_t offset, std::size_t length) {
    static const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset - offset % page;
    lead_ = static_cast<std::size_t>(offset - start);
    length_ = lead_ + length;
    // MAP_POPULATE reads the window in one go instead of one fault a page.
    void* p = mmap(nullptr, length_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd,
                   static_cast<off_t>(start));
    if (p == MAP_FAILED) {
      error_ = errno;
      return;
    }
    base_ = p;
  }
  ~ScopedMapping() {
    if (base_ != nullptr) munmap(base_, length_);
  }
  ScopedMapping(const ScopedMapping&) = delete;
  ScopedMapping& operator=(const ScopedMapping&) = delete;

  bool ok() const { return base_ != nullptr; }
  int error() const { return error_; }
  const Bytef* data() const { return static_cast<const Bytef*>(base_) + lead_; }

 private:
  void* base_ = nullptr;
  std::size_t lead_ = 0;
  std::size_t length_ = 0;
  int error_ = 0;
};

class RawInflater {
 public:
  RawInflater() {
    std::memset(&stream_, 0, sizeof(stream_));
    ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
  }
  ~RawInflater() {
    if (ready_) inflateEnd(&stream_);
  }
  RawInflater(const RawInflater&) = delete;
  RawInflater& operator=(const RawInflater&) = delete;

  bool ready() const { return ready_; }
  z_stream* stream() { return &stream_; }

 private:
  z_stream stream_;
  bool ready_ = false;
};

}  // namespace

ErrorCode DecompressKit(const WideString& kitPath, const WideString& outputPath) {
  ScopedHandle kit;
  ErrorCode rc =
      CreateFile(kitPath, kGenericRead, 0, kOpenExisting, kit.out(), kAttributeSequentialScan);
  if (rc != kErrorSuccess) return rc;

  // The layer's "create" does not truncate, so a reused output file is cut
  // to zero explicitly (the handle is at position 0).
  ScopedHandle out;
  rc = CreateFile(outputPath, kGenericWrite, 0, kCreateAlways, out.out(), kAttributeNormal);
  if (rc != kErrorSuccess) return rc;
  rc = SetEndOfFile(out.get());
  if (rc != kErrorSuccess) return rc;

  const std::int64_t end = SetFilePointer(kit.get(), 0, 0, kFileEnd);
  if (end < 0) return GetLastError();
  const auto size = static_cast<std::uint64_t>(end);

  RawInflater inflater;
  if (!inflater.ready()) return kErrorInvalidData;
  z_stream* z = inflater.stream();
  const auto output = std::make_unique<Bytef[]>(kDecompressWindow);

  int status = Z_OK;
  for (std::uint64_t position = 0; position < size;) {
    const auto piece = static_cast<std::uint32_t>(
        size - position < kDecompressWindow ? size - position : kDecompressWindow);
    const ScopedMapping mapping(kit.get(), position, piece);
    if (!mapping.ok()) return ErrnoToCode(mapping.error());

    z->next_in = const_cast<Bytef*>(mapping.data());
    z->avail_in = piece;
    do {
      z->next_out = output.get();
      z->avail_out = kDecompressWindow;
      status = inflate(z, Z_NO_FLUSH);
      // No progress because the piece is used up just means "map the next
      // one"; with input left it is a real failure.
      if (status == Z_BUF_ERROR && z->avail_in == 0) status = Z_OK;
      const std::uint32_t produced = kDecompressWindow - z->avail_out;
      if (produced != 0) {
        std::uint32_t written = 0;
        // A failed write would leave a short unpacked copy that only the
        // container parse might notice; stop here instead.
        rc = WriteFile(out.get(), output.get(), produced, &written, nullptr);
        if (rc != kErrorSuccess) return rc;
      }
    } while (z->avail_out == 0 && status == Z_OK);

    // Bad data stays bad for every later call, and bytes after the end of
    // the stream are ignored, so neither needs the rest of the kit mapped.
    if (status < 0 || status == Z_NEED_DICT) return kErrorInvalidData;
    if (status == Z_STREAM_END) break;
    position += piece;
  }
  // A stream cut short ends here with status 0: the reader notices the
  // missing container bytes.
  return kErrorSuccess;
}

}  // namespace ordx
