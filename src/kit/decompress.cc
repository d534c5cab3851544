// Kit decompression: block reads of the kit, one RawInflater, block writes
// of the unpacked copy, and the bounds checked before anything is written.
#include "kit/decompress.h"

#include <memory>

namespace ordx {

ErrorCode DecompressKit(Handle kit, Handle out, const DecompressOptions& options) {
  const std::unique_ptr<RawInflater> inflater = MakeRawInflater(options.backend);
  if (!inflater) return kErrorInvalidData;
  const auto input = std::make_unique_for_overwrite<std::uint8_t[]>(kDecompressBlock);
  const auto output = std::make_unique_for_overwrite<std::uint8_t[]>(kDecompressBlock);

  std::uint64_t readAt = 0;   // next kit byte to read
  std::uint64_t written = 0;  // unpacked bytes already in `out`
  const std::uint8_t* in = input.get();
  std::size_t inLeft = 0;
  bool kitEnded = false;
  std::uint8_t* next = output.get();
  std::size_t outLeft = kDecompressBlock;

  for (;;) {
    if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
      return kErrorCancelled;
    }
    if (inLeft == 0 && !kitEnded) {
      std::uint32_t got = 0;
      const ErrorCode rc = ReadFileAt(kit, readAt, input.get(), kDecompressBlock, &got);
      if (rc != kErrorSuccess) return rc;
      readAt += got;
      if (options.compressedBytesRead != nullptr) {
        options.compressedBytesRead->store(readAt, std::memory_order_relaxed);
      }
      kitEnded = got == 0;
      in = input.get();
      inLeft = got;
    }

    const std::size_t inBefore = inLeft;
    const std::size_t outBefore = outLeft;
    const RawInflater::Result result = inflater->Inflate(&in, &inLeft, &next, &outLeft);
    if (result == RawInflater::Result::kBad) return kErrorInvalidData;

    const std::size_t pending = kDecompressBlock - outLeft;
    // Bounds before the write: what passes them never reaches the disk.
    if (written + pending > options.maxOutput) return kErrorInvalidData;
    if (written + pending > options.spaceLimit) return kErrorDiskFull;
    if (outLeft == 0 || (result == RawInflater::Result::kEnd && pending != 0)) {
      const ErrorCode rc =
          WriteFileAt(out, written, output.get(), static_cast<std::uint32_t>(pending));
      if (rc != kErrorSuccess) return rc;
      written += pending;
      next = output.get();
      outLeft = kDecompressBlock;
    }
    if (result == RawInflater::Result::kEnd) return kErrorSuccess;

    // No step forward with room on both sides: the kit ended inside the
    // stream (or a decoder is stuck, which must not spin for ever).
    const bool moved = inLeft != inBefore || outLeft != outBefore || pending == kDecompressBlock;
    if (!moved && (kitEnded || inLeft != 0)) return kErrorInvalidData;
  }
}

}  // namespace ordx
