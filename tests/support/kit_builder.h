// Test helper, header only: builds kit containers byte by byte (damaged ones
// included) and writes them as kit files, for the reader, engine and UI tests.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ordx::kittest {

inline void PutU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

// A counted string: 32-bit unit count, then UTF-16LE units.
inline void PutString(std::string* out, std::u16string_view text) {
  PutU32(out, static_cast<std::uint32_t>(text.size()));
  for (const char16_t unit : text)
    out->append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
}

class KitBuilder {
 public:
  // Single-language layout (format flag 0); the reader names it "en".
  KitBuilder& SetSingle(std::u16string_view product, std::u16string_view vendor,
                        std::u16string_view descriptionPath) {
    single_.emplace();
    for (const auto text : {product, vendor, descriptionPath}) PutString(&*single_, text);
    return *this;
  }

  // Description-table layout: one record per call, `padding` zero bytes
  // after the four strings inside the record.
  KitBuilder& AddDescription(std::u16string_view code, std::u16string_view product,
                             std::u16string_view vendor, std::u16string_view descriptionPath,
                             std::uint32_t padding = 0) {
    std::string body;
    for (const auto text : {code, product, vendor, descriptionPath}) PutString(&body, text);
    descriptions_.push_back(Record(body.append(padding, '\0')));
    return *this;
  }

  // A file whose bytes follow the previous files' bytes in the data region
  // (default time: 2012-12-30 08:00:00 UTC, a whole second).
  KitBuilder& AddFile(std::u16string_view name, std::string_view bytes,
                      std::uint64_t time = 130013280000000000ull) {
    AddEntry(name, time, static_cast<std::uint32_t>(data_.size()),
             static_cast<std::uint32_t>(bytes.size()));
    data_.append(bytes);
    return *this;
  }

  // An entry with any offset (relative to the data region) and size, no bytes.
  KitBuilder& AddEntry(std::u16string_view name, std::uint64_t time, std::uint32_t offset,
                       std::uint32_t size, std::uint32_t padding = 0) {
    std::string body;
    PutString(&body, name);
    for (const std::uint64_t v : {time, time >> 32, std::uint64_t{offset}, std::uint64_t{size}})
      PutU32(&body, static_cast<std::uint32_t>(v));
    entries_.push_back(Record(body.append(padding, '\0')));
    return *this;
  }

  // Bytes of the container up to the start of the data region.
  std::string BuildHeader() const {
    std::string out;
    PutU32(&out, single_ ? 0 : 1);
    if (!single_) PutU32(&out, static_cast<std::uint32_t>(descriptions_.size()));
    for (const std::string& r : single_ ? std::vector{*single_} : descriptions_) out += r;
    PutU32(&out, static_cast<std::uint32_t>(entries_.size()));
    for (const std::string& r : entries_) out += r;
    return out;
  }

  std::string Build() const { return BuildHeader() + data_; }

  // A record: its length (this field included), then the body.
  static std::string Record(std::string_view body) {
    std::string r;
    PutU32(&r, static_cast<std::uint32_t>(body.size() + 4));
    return r.append(body);
  }

 private:
  std::optional<std::string> single_;
  std::vector<std::string> descriptions_;
  std::vector<std::string> entries_;
  std::string data_;
};

// A raw deflate stream (no zlib header or trailer) of `data`.
inline std::string DeflateRaw(std::string_view data, int level = 9,
                              int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  return out.substr(0, z.total_out);
}

// Hand-made stored blocks of at most `blockSize` (<= 65535) bytes, the last one
// final: data size + 5 bytes per block, which makes exact kit sizes easy.
inline std::string StoredBlocks(std::string_view data, std::size_t blockSize = 65535) {
  std::string out;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(blockSize, data.size() - at);
    out.push_back(at + n == data.size() ? 1 : 0);
    PutU32(&out, static_cast<std::uint32_t>(n | (~n & 0xFFFF) << 16));
    out.append(data.substr(at, n));
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
inline void WriteKit(const std::string& path, std::string_view container, int level = 9) {
  WriteBytes(path, DeflateRaw(container, level));
}

}  // namespace ordx::kittest
