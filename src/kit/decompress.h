// Unpacks a kit (one raw deflate stream) from one descriptor into another in
// 1 MiB blocks, with positioned reads and writes, within fixed bounds.
#pragma once

#include <atomic>
#include <cstdint>

#include "fs/file_layer.h"
#include "kit/kit_limits.h"
#include "kit/raw_inflater.h"

namespace ordx {

// The size of each read of the kit and each write of the unpacked copy.
inline constexpr std::uint32_t kDecompressBlock = 1u << 20;

struct DecompressOptions {
  InflateBackend backend = DefaultInflateBackend();
  // More output than this is a damaged kit (13).
  std::uint64_t maxOutput = kMaxUnpackedKit;
  // More output than this fails with 112, as a full disk does: the room the
  // output's file system had when unpacking started.
  std::uint64_t spaceLimit = UINT64_MAX;
  // Checked before every block; when it reads true the result is 1223.
  const std::atomic<bool>* cancel = nullptr;
  // Kit bytes read so far, updated after every block (for a progress bar).
  std::atomic<std::uint64_t>* compressedBytesRead = nullptr;
};

// Decodes the kit from offset 0 of `kit` into `out` from offset 0. 0 once
// the deflate stream has ended (whatever follows it is not looked at); 13
// for bad data, a stream cut short (the kit ends first) or output beyond
// `maxOutput`; 112 beyond `spaceLimit` or when a write finds the disk full;
// 1223 when cancelled; otherwise the file layer's code of a failed read or
// write. On failure `out` holds an unspecified prefix.
ErrorCode DecompressKit(Handle kit, Handle out, const DecompressOptions& options = {});

}  // namespace ordx
