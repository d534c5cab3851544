// Hostile kits for the tests and the benchmarks, header only: small on disk
// but huge unpacked, streamed through raw deflate so that making them needs little memory.
#pragma once

#include "kit_forge.h"

namespace ordx::kittest {

// Writes a kit whose container is `head`, then `piece` `times` times over.
inline void WriteRepeatedKit(const std::string& path, std::string_view head,
                             std::string_view piece, std::uint64_t times, int level = 1) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  RawDeflater deflater([&file](std::string_view p) { file.write(p.data(), std::ssize(p)); }, level);
  deflater.Write(head);
  const std::uint64_t perBlock = std::max<std::uint64_t>(1, (1u << 20) / piece.size());
  std::string block;
  for (std::uint64_t i = 0; i < perBlock; ++i) block.append(piece);
  for (; times >= perBlock; times -= perBlock) deflater.Write(block);
  deflater.Write(std::string_view(block).substr(0, times * piece.size()), Z_FINISH);
  if (!file.flush()) throw std::runtime_error("cannot write " + path);
}

// `count` entries all named `name`, no texts, no data.
inline void WriteManyEntriesKit(const std::string& path, std::uint32_t count,
                                std::u16string_view name = u"a") {
  std::string body;
  PutString(&body, name);
  WriteRepeatedKit(path, Fields({1, 0, count}), KitBuilder::Record(body.append(16, '\0')), count);
}

// One entry whose record is `recordBytes` long, nearly all of it padding.
inline void WriteHugeRecordKit(const std::string& path, std::uint32_t recordBytes) {
  std::string head = Fields({1, 0, 1, recordBytes});
  PutString(&head, u"big");
  WriteRepeatedKit(path, head, std::string(1, '\0'), recordBytes - 4 - (head.size() - 16));
}

// A valid kit without texts or entries whose data region is `zeros` zero bytes.
inline void WriteZerosKit(const std::string& path, std::uint64_t zeros) {
  WriteRepeatedKit(path, Fields({0, 0, 0, 0, 0}), std::string(1, '\0'), zeros, 6);
}

// A name of `levels` levels of `unitsPerLevel` times `unit` each.
inline std::u16string LevelledName(std::uint32_t levels, std::uint32_t unitsPerLevel,
                                   char16_t unit = u'd') {
  std::u16string name(unitsPerLevel, unit);
  for (std::uint32_t i = 1; i < levels; ++i) name += u'\\' + std::u16string(unitsPerLevel, unit);
  return name;
}

}  // namespace ordx::kittest
