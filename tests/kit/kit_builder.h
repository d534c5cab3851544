// Test helper, header only: builds kit containers byte by byte and turns
// them into kit files, so tests of the reader, the install engine and the
// user interface can make exactly the kit they need, damaged ones included.
//
//   const std::string container = ordx::kittest::KitBuilder()
//       .AddDescription(u"en", u"Product", u"Vendor", u"docs\\readme.html")
//       .AddFile(u"dir\\file.txt", "bytes", kSomeFileTime)
//       .Build();
//   ordx::kittest::WriteKit(path, container);   // raw deflate, level 9
#pragma once

#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ordx::kittest {

// 2012-12-30 08:00:00 UTC, a whole second.
inline constexpr std::uint64_t kDefaultFileTime = 130013280000000000ull;

inline void PutU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

inline void PutU64(std::string* out, std::uint64_t v) {
  PutU32(out, static_cast<std::uint32_t>(v));
  PutU32(out, static_cast<std::uint32_t>(v >> 32));
}

// A counted string: 32-bit unit count, then UTF-16LE units.
inline void PutString(std::string* out, std::u16string_view text) {
  PutU32(out, static_cast<std::uint32_t>(text.size()));
  for (const char16_t unit : text) {
    out->push_back(static_cast<char>(unit & 0xFF));
    out->push_back(static_cast<char>(unit >> 8));
  }
}

class KitBuilder {
 public:
  // Single-language layout (format flag 0); the reader names it "en".
  KitBuilder& SetSingle(std::u16string_view product, std::u16string_view vendor,
                        std::u16string_view descriptionPath) {
    flag_ = 0;
    single_.clear();
    PutString(&single_, product);
    PutString(&single_, vendor);
    PutString(&single_, descriptionPath);
    return *this;
  }

  // Description-table layout: one record per call, `padding` zero bytes
  // after the four strings inside the record.
  KitBuilder& AddDescription(std::u16string_view code, std::u16string_view product,
                             std::u16string_view vendor, std::u16string_view descriptionPath,
                             std::uint32_t padding = 0) {
    std::string body;
    PutString(&body, code);
    PutString(&body, product);
    PutString(&body, vendor);
    PutString(&body, descriptionPath);
    body.append(padding, '\0');
    descriptions_.push_back(Record(body));
    return *this;
  }

  // The table-layout flag value (any non-zero value selects it).
  KitBuilder& SetTableFlag(std::uint32_t flag) {
    flag_ = flag;
    return *this;
  }

  // A file whose bytes follow the previous files' bytes in the data region.
  KitBuilder& AddFile(std::u16string_view name, std::string_view bytes,
                      std::uint64_t time = kDefaultFileTime) {
    AddEntry(name, time, static_cast<std::uint32_t>(data_.size()),
             static_cast<std::uint32_t>(bytes.size()));
    data_.append(bytes);
    return *this;
  }

  // An entry with any offset (relative to the data region) and size; its
  // bytes are not added.
  KitBuilder& AddEntry(std::u16string_view name, std::uint64_t time, std::uint32_t offset,
                       std::uint32_t size, std::uint32_t padding = 0) {
    std::string body;
    PutString(&body, name);
    PutU64(&body, time);
    PutU32(&body, offset);
    PutU32(&body, size);
    body.append(padding, '\0');
    entries_.push_back(Record(body));
    return *this;
  }

  // A hand-made entry record (length field included), for damaged kits.
  KitBuilder& AddRawEntryRecord(std::string record) {
    entries_.push_back(std::move(record));
    return *this;
  }

  KitBuilder& AppendData(std::string_view bytes) {
    data_.append(bytes);
    return *this;
  }

  // Bytes of the container up to the start of the data region.
  std::string BuildHeader() const {
    std::string out;
    PutU32(&out, flag_);
    if (flag_ == 0) {
      out += single_.empty() ? EmptySingle() : single_;
    } else {
      PutU32(&out, static_cast<std::uint32_t>(descriptions_.size()));
      for (const std::string& r : descriptions_) out += r;
    }
    PutU32(&out, static_cast<std::uint32_t>(entries_.size()));
    for (const std::string& r : entries_) out += r;
    return out;
  }

  std::string Build() const { return BuildHeader() + data_; }

  // A record: its length (this field included), then the body.
  static std::string Record(std::string_view body) {
    std::string r;
    PutU32(&r, static_cast<std::uint32_t>(body.size() + 4));
    r.append(body);
    return r;
  }

 private:
  static std::string EmptySingle() {
    std::string s;
    for (int i = 0; i < 3; ++i) PutU32(&s, 0);
    return s;
  }

  std::uint32_t flag_ = 1;
  std::string single_;
  std::vector<std::string> descriptions_;
  std::vector<std::string> entries_;
  std::string data_;
};

// A raw deflate stream (no zlib header or trailer) of `data`.
inline std::string DeflateRaw(std::string_view data, int level = Z_BEST_COMPRESSION,
                              int strategy = Z_DEFAULT_STRATEGY, int memLevel = 8,
                              int windowBits = 15) {
  z_stream z;
  std::memset(&z, 0, sizeof(z));
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  return out;
}

// A raw deflate stream of hand-made stored blocks of at most `blockSize`
// bytes each (65535 at most); the last block carries the final flag. Its
// size is data size + 5 per block, which makes exact kit sizes easy.
inline std::string StoredBlocks(std::string_view data, std::size_t blockSize = 65535) {
  std::string out;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(blockSize, data.size() - at);
    const bool last = at + n == data.size();
    const char header[5] = {static_cast<char>(last ? 1 : 0), static_cast<char>(n & 0xFF),
                            static_cast<char>(n >> 8), static_cast<char>(~n & 0xFF),
                            static_cast<char>((~n >> 8) & 0xFF)};
    out.append(header, 5).append(data.substr(at, n));
    at += n;
  } while (at < data.size());
  return out;
}

inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.good()) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.good()) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Deflates the container and writes it as a kit file.
inline void WriteKit(const std::string& path, std::string_view container,
                     int level = Z_BEST_COMPRESSION) {
  WriteBytes(path, DeflateRaw(container, level));
}

// A fresh private directory under $TMPDIR (or /tmp), removed with all its
// contents when the object goes; links inside are removed, not followed.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp");
    pattern += "/kittest.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

}  // namespace ordx::kittest
