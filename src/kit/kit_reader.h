// The opened kit: its per-language texts, its file entries, and the private
// unpacked copy that the install worker copies entry bytes out of.
#pragma once

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
  // Closes the unpacked copy and deletes it.
  ~KitReader();
  KitReader(const KitReader&) = delete;
  KitReader& operator=(const KitReader&) = delete;

  // Unpacks the kit into a private temporary file ("kpx" prefix) and reads
  // its tables. 0 on success; otherwise the temporary file is gone and the
  // code says why (13 for damaged data or an implausible container).
  ErrorCode Open(const WideString& kitPath);

  void GetProductInfo(const WideString& languageCode, WideString* product,
                      WideString* vendor) const;
  WideString GetDescriptionPath(const WideString& languageCode) const;

  const std::vector<KitDescription>& descriptions() const { return descriptions_; }
  const std::vector<KitEntry>& entries() const { return entries_; }
  Handle file() const { return file_; }
  const WideString& tempPath() const { return tempPath_; }
  // Absolute position of the first data byte and the size of the unpacked
  // file; an entry lies inside the data when offset + size <= unpackedSize.
  std::uint32_t dataStart() const { return dataStart_; }
  std::uint64_t unpackedSize() const { return unpackedSize_; }
  std::uint8_t* buffer() { return buffer_.get(); }
  std::uint32_t bufferSize() const { return bufferSize_; }

 private:
  void CloseAndDelete();
  void ReadTables();

  std::vector<KitDescription> descriptions_;
  std::vector<KitEntry> entries_;
  WideString tempPath_;
  Handle file_ = kInvalidHandle;
  std::uint32_t dataStart_ = 0;
  std::uint64_t unpackedSize_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint32_t bufferSize_;
};

// Reasons a name cannot be installed: empty, a zero unit, a trailing
// separator, or a "." or ".." component. Used by the reader and by tools.
bool IsSafeEntryName(const WideString& name);

}  // namespace ordx
