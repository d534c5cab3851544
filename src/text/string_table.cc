// The string table: per-language key-to-text maps built once, before main
// runs, from the constant data, and only read afterwards.
#include "text/string_table.h"

#include <atomic>
#include <map>

#include "text/convert.h"
#include "text/string_table_data.h"

namespace ordx {
namespace {

struct LanguageEntry {
  NarrowString code;
  std::map<NarrowString, NarrowString> texts;
};

using StringTable = std::map<std::int32_t, LanguageEntry>;

StringTable BuildTable() {
  StringTable table;
  for (std::size_t row = 0; row < kLanguageRowCount; ++row) {
    const LanguageRow& language = kLanguageRows[row];
    LanguageEntry entry;
    entry.code = NarrowString(language.code);
    for (std::size_t k = 0; k < kStringKeyCount; ++k) {
      // emplace keeps the first text of a key that came twice.
      entry.texts.emplace(NarrowString(kStringKeys[k]), NarrowString(language.texts->texts[k]));
    }
    table.emplace(language.id, std::move(entry));  // first row of an id wins
  }
  return table;
}

const StringTable& Table() {
  static const StringTable table = BuildTable();
  return table;
}

// Built during static initialisation so that no lookup ever races on it.
[[maybe_unused]] const StringTable& kBuiltAtStartup = Table();

std::atomic<std::int32_t> currentLanguage{kEnglishLanguageId};

}  // namespace

void SetLanguage(std::int32_t id) { currentLanguage.store(id, std::memory_order_relaxed); }

std::int32_t GetLanguage() { return currentLanguage.load(std::memory_order_relaxed); }

WideString LoadString(const NarrowString& key) {
  const NarrowString raw = RawText(GetLanguage(), key);
  return raw.empty() ? WideString() : ToWide(raw);
}

std::int32_t LookupLanguageCode(const NarrowString& code) {
  for (const auto& [id, entry] : Table())
    if (entry.code == code) return id;
  return 0;
}

std::vector<std::int32_t> LanguageIds() {
  std::vector<std::int32_t> ids;
  for (const auto& [id, entry] : Table()) ids.push_back(id);
  return ids;
}

NarrowString LanguageCode(std::int32_t id) {
  const auto it = Table().find(id);
  return it == Table().end() ? NarrowString() : it->second.code;
}

NarrowString RawText(std::int32_t id, const NarrowString& key) {
  const auto language = Table().find(id);
  if (language == Table().end()) return NarrowString();
  const auto text = language->second.texts.find(key);
  return text == language->second.texts.end() ? NarrowString() : text->second;
}

}  // namespace ordx
