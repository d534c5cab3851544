// Conversions between WideString (UTF-16) and NarrowString (the locale's
// multibyte encoding), case-insensitive comparison and integer formatting.
//
// Bytes are never lost: a byte that does not decode in the locale becomes
// the lone surrogate U+DC00 + byte (U+DC80..U+DCFF for 0x80..0xFF) and is
// encoded back to exactly that byte, so any file name or line of a file
// survives bytes -> wide -> bytes in every locale. A character the locale
// cannot encode becomes "?" only in texts meant for reading; paths use
// ToNarrowExact, which refuses them.
//
// The environment's locale is established once, on first use, so that the
// window thread and the install worker never race on setlocale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/cow_string.h"

namespace ordx {

// Makes the environment's locale (LC_ALL, LC_CTYPE, LANG) the process locale.
// Under "C" or "POSIX" the character type switches to "C.UTF-8", in the
// process and in the environment, so that a later setlocale(LC_ALL, "") (GTK
// makes one) and child processes keep it. Runs at most once per process;
// every conversion calls it first. Call it before starting any thread.
void EnsureEnvironmentLocale();
// The decision itself, without the once-only guard (for tests in a child).
void EstablishEnvironmentLocale();

// Whole-string conversions; both stop at the first zero unit or byte.
// ToNarrow is for texts shown to people: what cannot be encoded is "?".
WideString ToWide(const NarrowString& text);
NarrowString ToNarrow(const WideString& text);

// The conversion for paths and stored settings: false (and *out untouched)
// when a unit cannot be encoded in the locale, when the bytes would decode
// to different units (an inner zero, a lone surrogate that is no byte
// escape, escapes that spell a valid character), or when the result would
// hold a zero byte. Success guarantees ToWide(*out) == text.
bool ToNarrowExact(const WideString& text, NarrowString* out);

// Byte runs of any content, zero bytes included (a zero byte inside the run
// becomes U+DC00). EncodeBytes is the exact inverse: false when the units
// cannot be encoded so that DecodeBytes gives them back unchanged.
std::u16string DecodeBytes(std::string_view bytes);
bool EncodeBytes(std::u16string_view units, std::string* out);

// Case-insensitive comparison through the locale's byte-wise folding of
// the multibyte forms (as strcasecmp, over the whole length): negative,
// zero or positive.
int CompareNoCase(const WideString& a, const WideString& b);
// Equal for two texts exactly when CompareNoCase calls them equal, so that
// texts can be indexed instead of compared pairwise.
std::string NoCaseKey(const WideString& text);

}  // namespace ordx
