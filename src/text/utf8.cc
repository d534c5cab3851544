// Strict UTF-8 decoding and lenient UTF-16 encoding for the kit tool.
#include "text/utf8.h"

#include <cstdint>

namespace ordx {

bool Utf8ToUtf16(std::string_view utf8, std::u16string* out) {
  std::u16string result;
  result.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    std::uint32_t cp;
    std::size_t extra;
    std::uint32_t min;
    if (lead < 0x80) {
      cp = lead, extra = 0, min = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F, extra = 1, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F, extra = 2, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07, extra = 3, min = 0x10000;
    } else {
      return false;
    }
    if (utf8.size() - i - 1 < extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<std::uint8_t>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = cp << 6 | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      result += static_cast<char16_t>(0xD800 + (cp >> 10));
      result += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      result += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  *out = std::move(result);
  return true;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    std::uint32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

NarrowString ToUtf8(const WideString& text) {
  const std::string utf8 = Utf16ToUtf8(std::u16string_view(text.c_str(), text.length()));
  return NarrowString(utf8.data(), utf8.size());
}

WideString FromUtf8(const NarrowString& text) {
  std::u16string wide;
  if (!Utf8ToUtf16(std::string_view(text.c_str(), text.length()), &wide)) {
    // Decode what is valid; anything else shows as the replacement character.
    wide.clear();
    std::size_t i = 0;
    const std::string_view all(text.c_str(), text.length());
    while (i < all.size()) {
      std::size_t len = 1;
      const auto lead = static_cast<unsigned char>(all[i]);
      if (lead >= 0xF0) len = 4; else if (lead >= 0xE0) len = 3; else if (lead >= 0xC0) len = 2;
      std::u16string piece;
      if (i + len <= all.size() && Utf8ToUtf16(all.substr(i, len), &piece)) {
        wide += piece;
        i += len;
      } else {
        wide += u'\uFFFD';
        ++i;
      }
    }
  }
  return WideString(wide.data(), wide.size());
}

}  // namespace ordx
