// The kit reader: unpacks the kit into a private file without a name, reads
// the texts and the entry table within the kit bounds, and keeps the file
// open for the install worker.
#include "kit/kit_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "kit/decompress.h"
#include "fs/path.h"
#include "kit/kit_limits.h"
#include "text/convert.h"

namespace ordx {

namespace {

// Smallest records the rest of the file must be able to hold: a description
// is four counted strings, an entry a counted name plus 16 bytes of fields.
constexpr std::uint64_t kMinDescriptionRecord = 4 + 4 * 4;
constexpr std::uint64_t kMinEntryRecord = 4 + 4 + 16;
// Reads of the tables go through one buffer of this size.
constexpr std::uint32_t kTableBuffer = 64 * 1024;

[[noreturn]] void Damaged() { throw ErrorCode{kErrorInvalidData}; }

std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Front-to-back reads of the unpacked copy through one buffer. Every read
// is checked against a limit (the file's end, or the current record's end)
// before anything is read or allocated; running past it is a damaged kit.
// Every failure is thrown as the ErrorCode that Open returns.
class ContainerInput {
 public:
  ContainerInput(Handle file, std::uint64_t size)
      : file_(file), size_(size), limit_(size), buffer_(kTableBuffer) {}

  std::uint64_t position() const { return position_; }
  std::uint64_t left() const { return limit_ - position_; }

  void ReadExact(void* to, std::uint64_t count) {
    if (count > left()) Damaged();
    auto* out = static_cast<std::uint8_t*>(to);
    while (count != 0) {
      if (position_ < bufferStart_ || position_ >= bufferStart_ + bufferLength_) Fill();
      const std::uint64_t at = position_ - bufferStart_;
      const std::uint64_t n = std::min<std::uint64_t>(count, bufferLength_ - at);
      std::memcpy(out, buffer_.data() + at, n);
      out += n;
      position_ += n;
      count -= n;
    }
  }

  // Moves past bytes without reading them.
  void Skip(std::uint64_t count) {
    if (count > left()) Damaged();
    position_ += count;
  }

  std::uint32_t U32() {
    std::uint8_t bytes[4];
    ReadExact(bytes, sizeof(bytes));
    return LoadU32(bytes);
  }

  std::uint64_t U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return high << 32 | low;
  }

  // A counted string. Its units count against the kit's text budget.
  WideString String(std::uint64_t* textUnits) {
    const std::uint32_t units = U32();
    if (units > kMaxStringUnits || std::uint64_t{units} * 2 > left()) Damaged();
    *textUnits += units;
    if (*textUnits > kMaxTotalTextUnits) Damaged();
    WideString text;
    if (units == 0) return text;
    units_.resize(std::size_t{units} * 2);
    ReadExact(units_.data(), units_.size());
    text.resize(units);
    char16_t* out = text.mutable_data();
    for (std::size_t i = 0; i < units; ++i)
      out[i] = static_cast<char16_t>(units_[2 * i] | units_[2 * i + 1] << 8);
    return text;
  }

  // A count of records that each need at least `minRecord` bytes.
  std::uint32_t Count(std::uint64_t minRecord, std::uint32_t most) {
    const std::uint32_t count = U32();
    if (count > most || count > left() / minRecord) Damaged();
    return count;
  }

  // Starts a record: reads its length and limits the reads that follow to
  // its body, until EndRecord.
  void BeginRecord() {
    const std::uint32_t length = U32();
    if (length < 4 || length - 4 > left()) Damaged();
    limit_ = position_ + (length - 4);
  }

  // Skips what is left of the record (padding is never read) and lifts the
  // limit to the file's end again.
  void EndRecord() {
    position_ = limit_;
    limit_ = size_;
  }

 private:
  void Fill() {
    const std::uint64_t want = std::min<std::uint64_t>(kTableBuffer, size_ - position_);
    std::uint32_t got = 0;
    const ErrorCode rc =
        ReadFileAt(file_, position_, buffer_.data(), static_cast<std::uint32_t>(want), &got);
    if (rc != kErrorSuccess) throw rc;
    // The copy is private, so it cannot shrink; a short read is damage all the same.
    if (got == 0) Damaged();
    bufferStart_ = position_;
    bufferLength_ = got;
  }

  Handle file_;
  std::uint64_t size_;
  std::uint64_t limit_;
  std::uint64_t position_ = 0;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t bufferStart_ = 0;
  std::uint64_t bufferLength_ = 0;
  std::vector<std::uint8_t> units_;
};

// `count` records of at least `minRecord` bytes each (at most `most`), each
// read by `readOne` within its record's bounds.
template <typename ReadOne>
auto ReadRecords(ContainerInput* in, std::uint32_t minRecord, std::uint32_t most,
                 ReadOne readOne) {
  std::vector<decltype(readOne())> records;
  const std::uint32_t count = in->Count(minRecord, most);
  records.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    in->BeginRecord();
    records.push_back(readOne());
    in->EndRecord();
  }
  return records;
}

// What one language says of the product: its name, vendor and document.
KitDescription ReadProductTexts(ContainerInput* in, std::uint64_t* textUnits,
                                WideString languageCode) {
  KitDescription d;
  d.languageCode = std::move(languageCode);
  d.product = in->String(textUnits);
  d.vendor = in->String(textUnits);
  d.descriptionPath = in->String(textUnits);
  return d;
}

// The texts of every language: counted records, or in the single-language
// layout (a zero count) three strings in a row, read as English.
std::vector<KitDescription> ReadDescriptions(ContainerInput* in, std::uint64_t* textUnits) {
  if (in->U32() == 0) return {ReadProductTexts(in, textUnits, u"en")};
  return ReadRecords(in, kMinDescriptionRecord, kMaxKitDescriptions, [&] {
    WideString code = in->String(textUnits);
    return ReadProductTexts(in, textUnits, std::move(code));
  });
}

// The entry table; a name that cannot be installed damages the kit.
std::vector<KitEntry> ReadEntries(ContainerInput* in, std::uint64_t* textUnits) {
  return ReadRecords(in, kMinEntryRecord, kMaxKitEntries, [&] {
    KitEntry e;
    e.name = in->String(textUnits);
    e.lastWriteTime = in->U64();
    e.dataOffset = in->U32();
    e.dataSize = in->U32();
    if (!IsSafeEntryName(e.name) || !NameWithinLimits(e.name.view())) Damaged();
    return e;
  });
}

// Turns the entries' offsets, relative to the data behind the tables that
// end at `tablesEnd`, into offsets in the file; returns where the data starts.
std::uint32_t PlaceEntryData(std::uint64_t tablesEnd, std::vector<KitEntry>* entries) {
  // Absolute offsets are 32-bit: a table that ends past 4 GiB, or an offset
  // that would wrap around to the front of the file, cannot be addressed.
  if (tablesEnd > UINT32_MAX) Damaged();
  const auto dataStart = static_cast<std::uint32_t>(tablesEnd);
  for (KitEntry& e : *entries) {
    if (e.dataOffset > UINT32_MAX - dataStart) Damaged();
    e.dataOffset += dataStart;
  }
  return dataStart;
}

}  // namespace

bool IsTransactionEntry(const WideString& name) {
  std::size_t start = 0;
  // Leading separators would still name the root's child.
  while (start < name.length() && (name[start] == u'/' || name[start] == u'\\')) ++start;
  std::size_t end = start;
  while (end < name.length() && name[end] != u'/' && name[end] != u'\\') ++end;
  return name.substr(start, end - start) == kTransactionDirectory;
}

bool IsSafeEntryName(const WideString& name) {
  constexpr Separators kSeparators = Separators::kSlashOrBackslash;
  if (name.empty() || IsTransactionEntry(name) || name.view().find(u'\0') != WideString::npos)
    return false;
  const bool dotted = AnyComponent(name.view(), kSeparators, [](std::u16string_view component) {
    return component == u"." || component == u"..";
  });
  return !dotted && !EndsWithSeparator(name, kSeparators);
}

KitReader::KitReader(std::uint32_t bufferSize)
    : buffer_(std::make_unique<std::uint8_t[]>(bufferSize)), bufferSize_(bufferSize) {}

KitReader::~KitReader() { Close(); }

void KitReader::Close() {
  if (file_ != kInvalidHandle) {
    CloseHandle(file_);
    file_ = kInvalidHandle;
  }
  dataStart_ = 0;
  unpackedSize_ = 0;
}

ErrorCode KitReader::Open(const WideString& kitPath, const std::atomic<bool>* cancel,
                          std::atomic<std::uint64_t>* compressedBytesRead) {
  // A reader is opened once; a second Open starts from a clean slate.
  Close();
  descriptions_.clear();
  entries_.clear();
  try {
    ScopedHandle kit;
    ErrorCode rc = OpenRegularFile(kitPath, kit.out());
    if (rc != kErrorSuccess) throw rc;
    WideString tempDir;
    rc = GetTempPath(&tempDir);
    if (rc != kErrorSuccess) throw rc;
    // Without a name, the copy cannot outlive this process, however it ends.
    rc = CreateAnonymousFile(tempDir, &file_);
    if (rc != kErrorSuccess) throw rc;

    DecompressOptions options;
    options.cancel = cancel;
    options.compressedBytesRead = compressedBytesRead;
    std::uint64_t room = 0;
    if (GetFreeSpaceOf(file_, &room) == kErrorSuccess) options.spaceLimit = room;
    rc = DecompressKit(kit.get(), file_, options);
    if (rc != kErrorSuccess) throw rc;
    ReadTables();
    return kErrorSuccess;
  } catch (const ErrorCode code) {
    descriptions_.clear();
    entries_.clear();
    Close();
    // A failure must never read as success, whatever the layer left behind.
    return code != kErrorSuccess ? code : kErrorInvalidData;
  } catch (const std::bad_alloc&) {
    // Within the bounds the tables fit in memory; this is a machine that has
    // almost none left. The kit cannot be used either way.
    descriptions_.clear();
    entries_.clear();
    Close();
    return kErrorInvalidData;
  }
}

void KitReader::ReadTables() {
  if (GetFileSizeOf(file_, &unpackedSize_) != kErrorSuccess) throw GetLastError();
  ContainerInput in(file_, unpackedSize_);
  std::uint64_t textUnits = 0;
  descriptions_ = ReadDescriptions(&in, &textUnits);
  entries_ = ReadEntries(&in, &textUnits);
  dataStart_ = PlaceEntryData(in.position(), &entries_);
}

void KitReader::GetProductInfo(const WideString& languageCode, WideString* product,
                               WideString* vendor) const {
  for (const KitDescription& d : descriptions_) {
    if (CompareNoCase(d.languageCode, languageCode) == 0) {
      if (product != nullptr) *product = d.product;
      if (vendor != nullptr) *vendor = d.vendor;
      return;
    }
  }
  if (product != nullptr) *product = WideString();
  if (vendor != nullptr) *vendor = WideString();
}

WideString KitReader::GetDescriptionPath(const WideString& languageCode) const {
  for (const KitDescription& d : descriptions_) {
    if (CompareNoCase(d.languageCode, languageCode) == 0) {
      if (!d.descriptionPath.empty()) return d.descriptionPath;
      break;
    }
  }
  for (const KitDescription& d : descriptions_) {
    if (CompareNoCase(d.languageCode, u"en") == 0) return d.descriptionPath;
  }
  return WideString();
}

}  // namespace ordx
