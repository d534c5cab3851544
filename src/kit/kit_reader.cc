// The kit reader: unpacks the kit into a private temporary file, reads the
// texts and the entry table, and keeps the file open for the install worker.
#include "kit/kit_reader.h"

#include <cstdint>
#include <new>
#include <utility>

#include "kit/decompress.h"
#include "text/convert.h"

namespace ordx {

namespace {

// Smallest records the rest of the file must be able to hold: a description
// is four counted strings, an entry a counted name plus 16 bytes of fields.
constexpr std::uint64_t kMinDescriptionRecord = 4 + 4 * 4;
constexpr std::uint64_t kMinEntryRecord = 4 + 4 + 16;

[[noreturn]] void Damaged() { throw ErrorCode{kErrorInvalidData}; }

WideString DecodeUtf16Le(const std::uint8_t* in, std::size_t units) {
  WideString text;
  if (units == 0) return text;
  text.resize(units);
  char16_t* out = text.mutable_data();
  for (std::size_t i = 0; i < units; ++i)
    out[i] = static_cast<char16_t>(in[2 * i] | in[2 * i + 1] << 8);
  return text;
}

std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Sequential reads from the unpacked file. Every shortfall is a damaged kit;
// every failure is thrown as the ErrorCode that Open returns.
class ContainerInput {
 public:
  ContainerInput(Handle file, std::uint64_t size) : file_(file), size_(size) {}

  std::uint64_t remaining() const { return size_ - position_; }

  void ReadExact(void* buffer, std::uint32_t count) {
    if (count > remaining()) Damaged();
    std::uint32_t got = 0;
    const ErrorCode rc = ReadFile(file_, buffer, count, &got, nullptr);
    if (rc != kErrorSuccess) throw rc;
    if (got != count) Damaged();
    position_ += got;
  }

  std::uint32_t ReadU32() {
    std::uint8_t bytes[4];
    ReadExact(bytes, sizeof(bytes));
    return LoadU32(bytes);
  }

  // A counted string outside any record.
  WideString ReadString() {
    const std::uint32_t units = ReadU32();
    if (units > remaining() / 2) Damaged();
    body_.resize(static_cast<std::size_t>(units) * 2);
    if (units != 0) ReadExact(body_.data(), units * 2);
    return DecodeUtf16Le(body_.data(), units);
  }

  // A count of records that each need at least `minRecord` bytes.
  std::uint32_t ReadCount(std::uint64_t minRecord) {
    const std::uint32_t count = ReadU32();
    if (count > remaining() / minRecord) Damaged();
    return count;
  }

  // Reads one record (its length field included in the length) and returns
  // its body. The body buffer is reused from record to record.
  const std::vector<std::uint8_t>& ReadRecord() {
    const std::uint32_t length = ReadU32();
    if (length < 4 || length - 4 > remaining()) Damaged();
    body_.resize(length - 4);
    if (!body_.empty()) ReadExact(body_.data(), static_cast<std::uint32_t>(body_.size()));
    return body_;
  }

 private:
  Handle file_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::vector<std::uint8_t> body_;
};

// Fields of one record body, read front to back; running past the end of
// the record is damage, bytes left over at the end are ignored.
class RecordFields {
 public:
  explicit RecordFields(const std::vector<std::uint8_t>& body) : body_(body) {}

  std::uint32_t U32() {
    Need(4);
    const std::uint32_t v = LoadU32(body_.data() + at_);
    at_ += 4;
    return v;
  }

  std::uint64_t U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return high << 32 | low;
  }

  WideString String() {
    const std::uint64_t units = U32();
    Need(units * 2);
    WideString text = DecodeUtf16Le(body_.data() + at_, static_cast<std::size_t>(units));
    at_ += units * 2;
    return text;
  }

 private:
  void Need(std::uint64_t bytes) const {
    if (bytes > body_.size() - at_) Damaged();
  }

  const std::vector<std::uint8_t>& body_;
  std::uint64_t at_ = 0;
};

}  // namespace

bool IsSafeEntryName(const WideString& name) {
  if (name.empty()) return false;
  std::size_t componentStart = 0;
  for (std::size_t i = 0; i <= name.length(); ++i) {
    const char16_t unit = i < name.length() ? name[i] : u'/';
    if (i < name.length() && unit == 0) return false;
    if (unit != u'/' && unit != u'\\') continue;
    const std::u16string_view component = name.view().substr(componentStart, i - componentStart);
    if (component == u"." || component == u"..") return false;
    componentStart = i + 1;
  }
  const char16_t last = name.back();
  return last != u'/' && last != u'\\';
}

KitReader::KitReader(std::uint32_t bufferSize)
    : buffer_(std::make_unique<std::uint8_t[]>(bufferSize)), bufferSize_(bufferSize) {}

KitReader::~KitReader() { CloseAndDelete(); }

void KitReader::CloseAndDelete() {
  if (file_ != kInvalidHandle) {
    CloseHandle(file_);
    file_ = kInvalidHandle;
  }
  if (!tempPath_.empty()) {
    DeleteFile(tempPath_);
    tempPath_ = WideString();
  }
  dataStart_ = 0;
  unpackedSize_ = 0;
}

ErrorCode KitReader::Open(const WideString& kitPath) {
  // A reader is opened once; a second Open starts from a clean slate.
  CloseAndDelete();
  descriptions_.clear();
  entries_.clear();
  try {
    WideString tempDir;
    ErrorCode rc = GetTempPath(&tempDir);
    if (rc != kErrorSuccess) throw rc;
    WideString made;
    rc = GetTempFileName(tempDir, u"kpx", &made);
    // The name of a file that was not made by us must never be deleted.
    if (rc != kErrorSuccess) throw rc;
    tempPath_ = made;

    rc = DecompressKit(kitPath, tempPath_);
    if (rc != kErrorSuccess) throw rc;
    // Only read access: nothing writes to the unpacked copy once it exists.
    rc = CreateFile(tempPath_, kGenericRead, 0, kOpenExisting, &file_, kAttributeNormal);
    if (rc != kErrorSuccess) throw rc;
    ReadTables();
    return kErrorSuccess;
  } catch (const ErrorCode code) {
    descriptions_.clear();
    entries_.clear();
    CloseAndDelete();
    // A failure must never read as success, whatever the layer left behind.
    return code != kErrorSuccess ? code : kErrorInvalidData;
  } catch (const std::bad_alloc&) {
    // Sizes passed the plausibility checks but still do not fit in memory.
    descriptions_.clear();
    entries_.clear();
    CloseAndDelete();
    return kErrorInvalidData;
  }
}

void KitReader::ReadTables() {
  const std::int64_t end = SetFilePointer(file_, 0, 0, kFileEnd);
  if (end < 0 || SetFilePointer(file_, 0, 0, kFileBegin) != 0) throw GetLastError();
  unpackedSize_ = static_cast<std::uint64_t>(end);
  ContainerInput in(file_, unpackedSize_);

  if (in.ReadU32() != 0) {
    const std::uint32_t count = in.ReadCount(kMinDescriptionRecord);
    for (std::uint32_t i = 0; i < count; ++i) {
      RecordFields fields(in.ReadRecord());
      KitDescription d;
      d.languageCode = fields.String();
      d.product = fields.String();
      d.vendor = fields.String();
      d.descriptionPath = fields.String();
      descriptions_.push_back(std::move(d));
    }
  } else {
    // The single-language layout: three strings in a row, no record.
    KitDescription d;
    d.languageCode = u"en";
    d.product = in.ReadString();
    d.vendor = in.ReadString();
    d.descriptionPath = in.ReadString();
    descriptions_.push_back(std::move(d));
  }

  const std::uint32_t count = in.ReadCount(kMinEntryRecord);
  for (std::uint32_t i = 0; i < count; ++i) {
    RecordFields fields(in.ReadRecord());
    KitEntry e;
    e.name = fields.String();
    e.lastWriteTime = fields.U64();
    e.dataOffset = fields.U32();
    e.dataSize = fields.U32();
    if (!IsSafeEntryName(e.name)) Damaged();
    entries_.push_back(std::move(e));
  }

  const std::int64_t start = SetFilePointer(file_, 0, 0, kFileCurrent);
  if (start < 0) throw GetLastError();
  // Absolute offsets are 32-bit: a table that ends past 4 GiB, or an offset
  // that would wrap around to the front of the file, cannot be addressed.
  if (static_cast<std::uint64_t>(start) > UINT32_MAX) Damaged();
  dataStart_ = static_cast<std::uint32_t>(start);
  for (KitEntry& e : entries_) {
    if (e.dataOffset > UINT32_MAX - dataStart_) Damaged();
    e.dataOffset += dataStart_;
  }
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
