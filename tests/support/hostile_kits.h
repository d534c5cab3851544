// Test and bench helper, header only: hostile kits that are small on disk
// but large unpacked (millions of entries, one huge record, gigabytes of
// zeros), streamed through raw deflate so making them needs little memory.
#pragma once

#include "support/kit_builder.h"

namespace ordx::kittest {

// Streams a container through raw deflate into a file.
class StreamedKit {
 public:
  explicit StreamedKit(const std::string& path, int level = 1)
      : file_(path, std::ios::binary | std::ios::trunc),
        deflater_([this](std::string_view p) { file_.write(p.data(), std::ssize(p)); }, level) {}

  void Write(std::string_view bytes) { deflater_.Write(bytes); }
  // `piece` written `times` times, in blocks of about 1 MiB.
  void WriteRepeated(std::string_view piece, std::uint64_t times) {
    const std::uint64_t perBlock = std::max<std::uint64_t>(1, (1u << 20) / piece.size());
    std::string block;
    for (std::uint64_t i = 0; i < perBlock; ++i) block.append(piece);
    for (; times >= perBlock; times -= perBlock) Write(block);
    Write(std::string_view(block).substr(0, times * piece.size()));
  }
  void Finish() {
    deflater_.Finish();
    file_.close();
    if (!file_) throw std::runtime_error("cannot write the kit");
  }

 private:
  std::ofstream file_;
  RawDeflater deflater_;
};

// `count` entries all named `name`, no texts, no data.
inline void WriteManyEntriesKit(const std::string& path, std::uint32_t count,
                                std::u16string_view name = u"a") {
  StreamedKit kit(path);
  kit.Write(Fields({1, 0, count}));
  std::string body;
  PutString(&body, name);
  kit.WriteRepeated(KitBuilder::Record(body.append(16, '\0')), count);
  kit.Finish();
}

// One entry whose record is `recordBytes` long, nearly all of it padding.
inline void WriteHugeRecordKit(const std::string& path, std::uint32_t recordBytes) {
  StreamedKit kit(path);
  std::string head = Fields({1, 0, 1, recordBytes});
  PutString(&head, u"big");
  kit.Write(head);
  kit.WriteRepeated(std::string(1, '\0'), recordBytes - 4 - (head.size() - 16));
  kit.Finish();
}

// A valid kit without texts or entries whose data region is `zeros` zero bytes.
inline void WriteZerosKit(const std::string& path, std::uint64_t zeros) {
  StreamedKit kit(path, 6);
  kit.Write(Fields({0, 0, 0, 0, 0}));
  kit.WriteRepeated(std::string(1, '\0'), zeros);
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
