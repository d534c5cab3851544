// Kits made byte by byte for the tests, the fuzzer and the benchmarks, damaged
// ones included: containers, raw deflate, kit files. Header only.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ordx::kittest {

// 32-bit little-endian fields in a row.
inline std::string Fields(std::initializer_list<std::uint32_t> values) {
  std::string out;
  for (const std::uint32_t v : values)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

// A counted string: 32-bit unit count, then UTF-16LE units.
inline void PutString(std::string* out, std::u16string_view text) {
  *out += Fields({static_cast<std::uint32_t>(text.size())});
  for (const char16_t u : text) *out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

class KitBuilder {
 public:
  using Text = std::u16string_view;

  // Single-language layout (format flag 0), read as "en".
  KitBuilder& SetSingle(Text product, Text vendor, Text descriptionPath) {
    single_.emplace();
    for (const Text text : {product, vendor, descriptionPath}) PutString(&*single_, text);
    return *this;
  }

  // Description-table layout: one record per call, `padding` zero bytes inside.
  KitBuilder& AddDescription(Text code, Text product, Text vendor, Text descriptionPath,
                             std::uint32_t padding = 0) {
    std::string body;
    for (const Text text : {code, product, vendor, descriptionPath}) PutString(&body, text);
    descriptions_.push_back(Record(body.append(padding, '\0')));
    return *this;
  }

  // A file whose bytes follow the previous files' (default time: 2012-12-30 08:00 UTC).
  KitBuilder& AddFile(Text name, std::string_view bytes, std::uint64_t time = 130013280000000000) {
    AddEntry(name, time, Count(data_), Count(bytes));
    data_.append(bytes);
    return *this;
  }

  // An entry with any offset (relative to the data region) and size, no bytes.
  KitBuilder& AddEntry(Text name, std::uint64_t time, std::uint32_t offset, std::uint32_t size,
                       std::uint32_t padding = 0) {
    std::string body;
    PutString(&body, name);
    body += Fields({static_cast<std::uint32_t>(time), static_cast<std::uint32_t>(time >> 32)});
    body += Fields({offset, size});
    entries_.push_back(Record(body.append(padding, '\0')));
    return *this;
  }

  // Bytes of the container up to the start of the data region.
  std::string BuildHeader() const {
    std::string out = single_ ? Fields({0}) + *single_ : Fields({1, Count(descriptions_)});
    for (const std::string& r : descriptions_) out += r;
    out += Fields({Count(entries_)});
    for (const std::string& r : entries_) out += r;
    return out;
  }

  std::string Build() const { return BuildHeader() + data_; }

  static std::string Record(std::string_view body) {  // its length, this field included; body
    return Fields({Count(body) + 4}).append(body);
  }

 private:
  static std::uint32_t Count(const auto& v) { return static_cast<std::uint32_t>(v.size()); }

  std::optional<std::string> single_;
  std::vector<std::string> descriptions_, entries_;
  std::string data_;
};

// Raw deflate (no zlib header or trailer) fed piece by piece to `sink`.
class RawDeflater {
 public:
  using Sink = std::function<void(std::string_view)>;
  explicit RawDeflater(Sink sink, int level = 9, int strategy = 0) : sink_(std::move(sink)) {
    if (deflateInit2(&z_, level, Z_DEFLATED, -15, 8, strategy)) throw std::runtime_error("zlib");
  }
  ~RawDeflater() { deflateEnd(&z_); }
  RawDeflater(const RawDeflater&) = delete;
  RawDeflater& operator=(const RawDeflater&) = delete;

  void Write(std::string_view bytes, int flush = Z_NO_FLUSH) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z_.avail_in = static_cast<uInt>(bytes.size());
    std::string out(1 << 16, '\0');
    int rc = Z_OK;
    do {
      z_.next_out = reinterpret_cast<Bytef*>(out.data());
      z_.avail_out = static_cast<uInt>(out.size());
      rc = deflate(&z_, flush);
      sink_(std::string_view(out).substr(0, out.size() - z_.avail_out));
    } while (z_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  }

 private:
  Sink sink_;
  z_stream z_{};
};

inline std::string DeflateRaw(std::string_view data, int level = 9, int strategy = 0) {
  std::string out;
  RawDeflater([&out](std::string_view p) { out += p; }, level, strategy).Write(data, Z_FINISH);
  return out;
}

// Stored blocks of at most `size` (<= 65535) bytes, 5 more each, final if `last`.
inline std::string StoredBlocks(std::string_view data, std::size_t size = 65535, bool last = true) {
  std::string out;
  for (std::size_t at = 0, n = 0; at < data.size() || out.empty(); at += n) {
    n = std::min(size, data.size() - at);
    out.push_back(last && at + n == data.size() ? 1 : 0);
    out += Fields({static_cast<std::uint32_t>(n | (~n & 0xFFFF) << 16)});
    out.append(data.substr(at, n));
  }
  return out;
}

// Deflates the container and writes it as a kit file.
inline void WriteKit(const std::string& path, std::string_view container, int level = 9) {
  const std::string bytes = DeflateRaw(container, level);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
    throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace ordx::kittest
