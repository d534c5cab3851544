// Test and bench helper, header only: hostile kits that are small on disk
// but large unpacked (millions of entries, one huge record, gigabytes of
// zeros), streamed through raw deflate so making them needs little memory.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/kit_builder.h"

namespace ordx::kittest {

// Writes a container through raw deflate into a file, piece by piece.
class StreamedKit {
 public:
  explicit StreamedKit(const std::string& path, int level = 1)
      : file_(std::fopen(path.c_str(), "wb")), out_(1 << 16, '\0') {
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path);
    if (deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      std::fclose(file_);
      throw std::runtime_error("deflateInit2 failed");
    }
  }
  ~StreamedKit() {
    deflateEnd(&z_);
    if (file_ != nullptr) std::fclose(file_);
  }
  StreamedKit(const StreamedKit&) = delete;
  StreamedKit& operator=(const StreamedKit&) = delete;

  void Write(std::string_view bytes) { Run(bytes, Z_NO_FLUSH); }
  // `piece` written `times` times, in blocks of about 1 MiB.
  void WriteRepeated(std::string_view piece, std::uint64_t times) {
    const std::uint64_t perBlock = std::max<std::uint64_t>(1, (1u << 20) / piece.size());
    std::string block;
    for (std::uint64_t i = 0; i < perBlock; ++i) block.append(piece);
    for (; times >= perBlock; times -= perBlock) Write(block);
    Write(std::string_view(block).substr(0, times * piece.size()));
  }
  void Finish() {
    Run({}, Z_FINISH);
    if (std::fclose(file_) != 0) throw std::runtime_error("cannot close the kit");
    file_ = nullptr;
  }

 private:
  void Run(std::string_view bytes, int flush) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z_.avail_in = static_cast<uInt>(bytes.size());
    int rc;
    do {
      z_.next_out = reinterpret_cast<Bytef*>(out_.data());
      z_.avail_out = static_cast<uInt>(out_.size());
      rc = deflate(&z_, flush);
      const std::size_t n = out_.size() - z_.avail_out;
      if (std::fwrite(out_.data(), 1, n, file_) != n) throw std::runtime_error("write failed");
    } while (z_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  }

  std::FILE* file_;
  z_stream z_{};
  std::string out_;
};

// `count` entries all named `name`, no texts, no data.
inline void WriteManyEntriesKit(const std::string& path, std::uint32_t count,
                                std::u16string_view name = u"a") {
  StreamedKit kit(path);
  std::string head;
  for (const std::uint32_t v : {1u, 0u, count}) PutU32(&head, v);
  kit.Write(head);
  std::string body;
  PutString(&body, name);
  body.append(16, '\0');
  kit.WriteRepeated(KitBuilder::Record(body), count);
  kit.Finish();
}

// One entry whose record is `recordBytes` long, nearly all of it padding.
inline void WriteHugeRecordKit(const std::string& path, std::uint32_t recordBytes) {
  StreamedKit kit(path);
  std::string head;
  for (const std::uint32_t v : {1u, 0u, 1u, recordBytes}) PutU32(&head, v);
  PutString(&head, u"big");
  head.append(16, '\0');
  kit.Write(head);
  const std::uint64_t padding = recordBytes - 4 - (head.size() - 16);
  kit.WriteRepeated(std::string(4096, '\0'), padding / 4096);
  kit.Write(std::string(padding % 4096, '\0'));
  kit.Finish();
}

// A valid kit without texts or entries whose data region is `zeros` zero bytes.
inline void WriteZerosKit(const std::string& path, std::uint64_t zeros) {
  StreamedKit kit(path, 6);
  std::string head;
  for (const std::uint32_t v : {0u, 0u, 0u, 0u, 0u}) PutU32(&head, v);
  kit.Write(head);
  kit.WriteRepeated(std::string(1 << 16, '\0'), zeros >> 16);
  kit.Write(std::string(zeros & 0xFFFF, '\0'));
  kit.Finish();
}

// A name of `levels` levels of `unitsPerLevel` times `unit` each.
inline std::u16string LevelledName(std::uint32_t levels, std::uint32_t unitsPerLevel,
                                   char16_t unit = u'd') {
  std::u16string name;
  for (std::uint32_t i = 0; i < levels; ++i) {
    if (i != 0) name += u'\\';
    name.append(unitsPerLevel, unit);
  }
  return name;
}

}  // namespace ordx::kittest
