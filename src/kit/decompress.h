// Unpacks a kit (one raw deflate stream) into a file, reading the kit through
// read-only mappings of one window at a time so memory stays flat.
#pragma once

#include "fs/file_layer.h"

namespace ordx {

inline constexpr std::uint32_t kDecompressWindow = 32768;

// 0 on success (trailing data after the stream and a cut-short stream are no
// error here), 13 for bad compressed data, or the file layer's code when a
// file cannot be opened.
ErrorCode DecompressKit(const WideString& kitPath, const WideString& outputPath);

}  // namespace ordx
