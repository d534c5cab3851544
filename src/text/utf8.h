// UTF-8 <-> UTF-16 independent of the process locale. Kit texts and names
// are UTF-16; the kit tool reads and prints UTF-8, and GTK takes UTF-8 for
// every widget text whatever the locale's encoding is.
#pragma once

#include <string>
#include <string_view>

#include "text/cow_string.h"

namespace ordx {

// Strict decoding: false for malformed, overlong or surrogate sequences.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out);
// Lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// A text for a widget, a title or a message box: always valid UTF-8.
NarrowString ToUtf8(const WideString& text);
// A widget's text back: malformed sequences become U+FFFD.
WideString FromUtf8(const NarrowString& text);

}  // namespace ordx
