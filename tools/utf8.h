// UTF-8 <-> UTF-16 for the kit tool. Kit texts and names are UTF-16; the
// tool reads file names and arguments as UTF-8 and prints UTF-8, whatever
// the process locale says.
#pragma once

#include <string>
#include <string_view>

namespace ordx {

// Strict decoding: false for malformed, overlong or surrogate sequences.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out);
// Lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace ordx
