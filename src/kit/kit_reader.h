// The opened kit: its per-language texts, its file entries, and the private
// unpacked copy that the install worker copies entry bytes out of.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "fs/file_layer.h"

namespace ordx {

struct KitDescription {
  WideString languageCode;
  WideString product;
  WideString vendor;
  WideString descriptionPath;
};

struct KitEntry {
  WideString name;          // relative path as stored, "\" separators
  FILETIME lastWriteTime = 0;
  std::uint32_t dataOffset = 0;  // absolute position in the unpacked file after Open
  std::uint32_t dataSize = 0;
};

inline constexpr std::uint32_t kKitCopyBufferSize = 1048576;

class KitReader {
 public:
  // Closed reader: no file, empty lists; allocates the copy buffer.
  explicit KitReader(std::uint32_t bufferSize = kKitCopyBufferSize);
  // Closes the unpacked copy, which has no name and so is gone with it.
  ~KitReader();
  KitReader(const KitReader&) = delete;
  KitReader& operator=(const KitReader&) = delete;

  // Unpacks the kit into a private file without a name in the temporary
  // directory and reads its tables. 0 on success. Otherwise nothing is left
  // open or on disk, and the code says why: 2 when the kit is missing or not
  // a regular file (never waited for), 13 for a damaged kit (bad or cut
  // data, or beyond the bounds of kit_limits.h), 112 when the unpacked copy
  // would pass the room the temporary directory had at the start, 1223 when
  // cancelled, or the file layer's code.
  // May run on any one thread. Another thread may set `*cancel` to stop it
  // within one 1 MiB block, and may read `*compressedBytesRead`, the kit
  // bytes consumed so far (out of the kit file's size), for progress.
  ErrorCode Open(const WideString& kitPath, const std::atomic<bool>* cancel = nullptr,
                 std::atomic<std::uint64_t>* compressedBytesRead = nullptr);

  void GetProductInfo(const WideString& languageCode, WideString* product,
                      WideString* vendor) const;
  WideString GetDescriptionPath(const WideString& languageCode) const;

  const std::vector<KitDescription>& descriptions() const { return descriptions_; }
  const std::vector<KitEntry>& entries() const { return entries_; }
  // The unpacked copy, open for reading and writing; -1 when not open.
  Handle file() const { return file_; }
  // Absolute position of the first data byte and the size of the unpacked
  // file; an entry lies inside the data when offset + size <= unpackedSize.
  std::uint32_t dataStart() const { return dataStart_; }
  std::uint64_t unpackedSize() const { return unpackedSize_; }
  std::uint8_t* buffer() { return buffer_.get(); }
  std::uint32_t bufferSize() const { return bufferSize_; }

 private:
  void Close();
  void ReadTables();

  std::vector<KitDescription> descriptions_;
  std::vector<KitEntry> entries_;
  Handle file_ = kInvalidHandle;
  std::uint32_t dataStart_ = 0;
  std::uint64_t unpackedSize_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint32_t bufferSize_;
};

// Where an installation keeps its transaction (backups and journal) in the
// target root; no kit may write into it.
inline constexpr char16_t kTransactionDirectory[] = u".ordx-transaction";

// True when a kit entry name ("\" or "/" separated) falls inside the
// transaction directory.
bool IsTransactionEntry(const WideString& name);

// Reasons a name cannot be installed: empty, a zero unit, a trailing
// separator, a "." or ".." component, or a place inside the transaction
// directory. Used by the reader and by tools, so that a kit that packs and
// verifies also installs.
bool IsSafeEntryName(const WideString& name);

}  // namespace ordx
