// Small settings files read and replaced whole. Reading never blocks and
// never takes more than a set number of bytes: a FIFO, a device, a directory
// or an oversized file is refused, not read. Replacing goes through a new
// file in the same directory that is renamed over the old one, so a failure
// half way leaves the old file as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "fs/file_layer.h"

namespace ordx {

// Replacing failed after the new file was made; the old file is unchanged.
inline constexpr ErrorCode kErrorWriteFault = 29;

// Reads the regular file at `path` whole into *bytes (replaced only on
// success). 2 when there is no file (also a link to a missing file); 13 when
// it is no regular file, holds more than `limit` bytes, or is a link that
// must not be followed (running as root, a link owned by another user); 87
// or the fault hook's code for other failures. Reported to the fault hook as
// kCreateFile and kReadFile.
ErrorCode ReadWholeFile(const WideString& path, std::size_t limit, std::string* bytes);

// Makes `bytes` the content of the file at `path`. A symbolic link is
// written through and stays a link; a link to a missing file creates that
// file. An existing file keeps its permission bits (and owner, where
// allowed); a new one gets 0666 less the umask. 1013 when the new content
// could not be started (a directory missing, a target that is no regular
// file, a link not to be followed); kErrorWriteFault when writing or the
// final rename failed.
ErrorCode ReplaceWholeFile(const WideString& path, std::string_view bytes);

// Creates a new, empty file exclusively inside `dir` itself (never in a
// fallback directory) and returns its path; 0 on success, else an error code.
ErrorCode CreateFileInDirectory(const WideString& dir, const WideString& prefix, WideString* out);

}  // namespace ordx
