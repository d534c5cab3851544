// The raw data behind the string table: the keys in table order and one set
// of UTF-8 texts per language, in the same order as the keys.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ordx {

inline constexpr std::size_t kStringKeyCount = 47;

// One language's texts, index i belonging to kStringKeys[i].
struct TextSet {
  const char* texts[kStringKeyCount];
};

struct LanguageRow {
  std::int32_t id;
  const char* code;  // ISO 639-1, two lowercase letters
  const TextSet* texts;
};

extern const char* const kStringKeys[kStringKeyCount];
// Rows in identifier order: 1 to 23, then 24 for Greek ("el").
extern const LanguageRow kLanguageRows[];
extern const std::size_t kLanguageRowCount;

}  // namespace ordx
