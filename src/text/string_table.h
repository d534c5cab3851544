// The process-wide table of user-visible texts: 24 languages, each with the
// same 47 keys. Start-up picks one language; every later lookup returns that
// language's text.
#pragma once

#include <cstdint>
#include <vector>

#include "text/cow_string.h"

namespace ordx {

inline constexpr std::int32_t kEnglishLanguageId = 5;

// Makes `id` the current language. No check: an unknown id makes every later
// lookup return an empty text.
void SetLanguage(std::int32_t id);
std::int32_t GetLanguage();

// The key's text in the current language, or empty when either is unknown.
WideString LoadString(const NarrowString& key);

// The identifier of the first language (by identifier) whose code equals
// `code` exactly, or 0.
std::int32_t LookupLanguageCode(const NarrowString& code);

// Every language identifier in order, the code of one language, and one
// raw UTF-8 text (empty when missing).
std::vector<std::int32_t> LanguageIds();
NarrowString LanguageCode(std::int32_t id);
NarrowString RawText(std::int32_t id, const NarrowString& key);

}  // namespace ordx
