// Kit decompression: block reads of the kit, one RawInflater, block writes
// of the unpacked copy, and the bounds checked before anything is written.
#include "kit/decompress.h"

#include <memory>

namespace ordx {
namespace {

// The kit side: one block read at a time, consumed by the inflater.
class KitBlocks {
 public:
  explicit KitBlocks(Handle kit)
      : kit_(kit), block_(std::make_unique_for_overwrite<std::uint8_t[]>(kDecompressBlock)) {}

  // Reads the next block once the last one is used up; at the end of the
  // kit there is nothing more to read.
  ErrorCode Refill(const DecompressOptions& options) {
    if (left != 0 || ended) return kErrorSuccess;
    std::uint32_t got = 0;
    const ErrorCode rc = ReadFileAt(kit_, readAt_, block_.get(), kDecompressBlock, &got);
    if (rc != kErrorSuccess) return rc;
    readAt_ += got;
    if (options.compressedBytesRead != nullptr) {
      options.compressedBytesRead->store(readAt_, std::memory_order_relaxed);
    }
    ended = got == 0;
    next = block_.get();
    left = got;
    return kErrorSuccess;
  }

  const std::uint8_t* next = nullptr;
  std::size_t left = 0;
  bool ended = false;

 private:
  Handle kit_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::uint64_t readAt_ = 0;  // next kit byte to read
};

// The unpacked side: one block filled by the inflater, written out whole
// (or at the end of the stream) once it has passed the bounds.
class UnpackedBlocks {
 public:
  explicit UnpackedBlocks(Handle out)
      : out_(out), block_(std::make_unique_for_overwrite<std::uint8_t[]>(kDecompressBlock)) {
    next = block_.get();
  }

  std::size_t pending() const { return kDecompressBlock - left; }

  // Bounds before the write: what passes them never reaches the disk.
  ErrorCode CheckBounds(const DecompressOptions& options) const {
    if (written_ + pending() > options.maxOutput) return kErrorInvalidData;
    if (written_ + pending() > options.spaceLimit) return kErrorDiskFull;
    return kErrorSuccess;
  }

  ErrorCode Flush() {
    const ErrorCode rc =
        WriteFileAt(out_, written_, block_.get(), static_cast<std::uint32_t>(pending()));
    if (rc != kErrorSuccess) return rc;
    written_ += pending();
    next = block_.get();
    left = kDecompressBlock;
    return kErrorSuccess;
  }

  std::uint8_t* next = nullptr;
  std::size_t left = kDecompressBlock;

 private:
  Handle out_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::uint64_t written_ = 0;  // unpacked bytes already in `out`
};

bool Cancelled(const DecompressOptions& options) {
  return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
}

}  // namespace

ErrorCode DecompressKit(Handle kit, Handle out, const DecompressOptions& options) {
  const std::unique_ptr<RawInflater> inflater = MakeRawInflater(options.backend);
  if (!inflater) return kErrorInvalidData;
  KitBlocks in(kit);
  UnpackedBlocks unpacked(out);
  for (;;) {
    if (Cancelled(options)) return kErrorCancelled;
    if (const ErrorCode rc = in.Refill(options); rc != kErrorSuccess) return rc;

    const std::size_t inBefore = in.left;
    const std::size_t outBefore = unpacked.left;
    const RawInflater::Result result =
        inflater->Inflate(&in.next, &in.left, &unpacked.next, &unpacked.left);
    if (result == RawInflater::Result::kBad) return kErrorInvalidData;

    const std::size_t pending = unpacked.pending();
    if (const ErrorCode rc = unpacked.CheckBounds(options); rc != kErrorSuccess) return rc;
    if (unpacked.left == 0 || (result == RawInflater::Result::kEnd && pending != 0)) {
      if (const ErrorCode rc = unpacked.Flush(); rc != kErrorSuccess) return rc;
    }
    if (result == RawInflater::Result::kEnd) return kErrorSuccess;

    // No step forward with room on both sides: the kit ended inside the
    // stream (or a decoder is stuck, which must not spin for ever).
    const bool moved =
        in.left != inBefore || unpacked.left != outBefore || pending == kDecompressBlock;
    if (!moved && (in.ended || in.left != 0)) return kErrorInvalidData;
  }
}

}  // namespace ordx
