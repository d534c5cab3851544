// Conversions between WideString (UTF-16) and NarrowString (the locale's
// multibyte encoding), case-insensitive comparison and integer formatting.
// The environment's locale is established once, on first use, so that the
// window thread and the install worker never race on setlocale.
#pragma once

#include <cstdint>

#include "text/cow_string.h"

namespace ordx {

// Makes the environment's locale (LC_ALL, LC_CTYPE, LANG) the process locale.
// Runs setlocale at most once per process; every conversion calls it first.
void EnsureEnvironmentLocale();

// Converts zero-terminated multibyte text to UTF-16. Returns the number of
// UTF-16 units the whole source yields (capacity does not limit it) and
// copies at most `capacity` of them; capacity <= 0 makes it a size query.
// Invalid bytes become U+FFFD; characters beyond the BMP become surrogate
// pairs. Code page and flags are accepted and ignored.
std::uint32_t MultiByteToWideChar(std::uint32_t codePage, std::uint32_t flags, const char* source,
                                  std::int32_t sourceLength, char16_t* destination,
                                  std::int32_t capacity);

// Converts zero-terminated UTF-16 text to the locale's multibyte encoding.
// Returns the number of bytes the whole text needs and writes at most
// `capacity` of them (the rest of the destination is zero-filled). Surrogate
// pairs are combined; lone surrogates and characters the locale cannot
// encode become "?".
std::uint32_t WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags,
                                  const char16_t* source, std::int32_t sourceLength,
                                  char* destination, std::int32_t capacity);

// Whole-string conversions; both stop at the first zero unit or byte.
WideString ToWide(const NarrowString& text);
NarrowString ToNarrow(const WideString& text);

// Case-insensitive comparison through the locale's byte-wise folding
// (strcasecmp of the multibyte forms): negative, zero or positive.
int CompareNoCase(const WideString& a, const WideString& b);

// Digits of `value` in `radix`; a sign only for negative values in radix 10.
WideString IntToWide(std::int32_t value, int radix);

// Convenience for ASCII literals in code: "abc" as a WideString.
WideString WideFromAscii(const char* ascii);

}  // namespace ordx
