// Conversions between UTF-16 and the locale's multibyte encoding. They work
// character by character with mbrtowc/wcrtomb so that invalid input never
// stops or crashes a conversion: undecodable bytes become U+FFFD and
// characters the locale cannot encode become "?".
#include "text/convert.h"

#include <strings.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

namespace ordx {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes the multibyte text [p, p + n) into UTF-16 units handed to `emit`.
template <typename Emit>
void DecodeMultiByte(const char* p, std::size_t n, Emit emit) {
  std::mbstate_t state{};
  std::size_t i = 0;
  while (i < n) {
    const auto byte = static_cast<unsigned char>(p[i]);
    if (byte < 0x80 && std::mbsinit(&state)) {  // ASCII is the same in every locale we support
      emit(static_cast<char16_t>(byte));
      ++i;
      continue;
    }
    wchar_t wc = 0;
    const std::size_t used = std::mbrtowc(&wc, p + i, n - i, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      // Invalid or cut-short sequence: one replacement character per bad
      // byte, then start afresh.
      emit(kReplacementCharacter);
      state = std::mbstate_t{};
      ++i;
      continue;
    }
    const auto c = static_cast<char32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      emit(kReplacementCharacter);
    } else if (c > 0xFFFF) {
      const char32_t v = c - 0x10000;
      emit(static_cast<char16_t>(0xD800 + (v >> 10)));
      emit(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      emit(static_cast<char16_t>(c));
    }
    i += used == 0 ? 1 : used;
  }
}

// Encodes the UTF-16 units [p, p + n) into the locale's encoding; `emit`
// receives each character's bytes.
template <typename Emit>
void EncodeWide(const char16_t* p, std::size_t n, Emit emit) {
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = p[i];
    if (c < 0x80) {
      const char ascii = static_cast<char>(c);
      emit(&ascii, 1);
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(p[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(p[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      emit("?", 1);
      continue;
    }
    const std::size_t used = std::wcrtomb(bytes, static_cast<wchar_t>(c), &state);
    if (used == static_cast<std::size_t>(-1)) {
      state = std::mbstate_t{};
      emit("?", 1);
    } else {
      emit(bytes, used);
    }
  }
}

std::size_t BoundedLength(const char* s, std::int32_t limit) {
  if (limit < 0) return std::strlen(s);
  const void* zero = std::memchr(s, 0, static_cast<std::size_t>(limit));
  return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - s)
              : static_cast<std::size_t>(limit);
}

std::size_t BoundedLength(const char16_t* s, std::int32_t limit) {
  std::size_t n = 0;
  const std::size_t max = limit < 0 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(limit);
  while (n < max && s[n] != 0) ++n;
  return n;
}

}  // namespace

void EnsureEnvironmentLocale() {
  static std::once_flag once;
  std::call_once(once, [] { std::setlocale(LC_ALL, ""); });
}

// The source ends at its first zero byte; a non-negative sourceLength also
// bounds how far it is read.
std::uint32_t MultiByteToWideChar(std::uint32_t /*codePage*/, std::uint32_t /*flags*/,
                                  const char* source, std::int32_t sourceLength,
                                  char16_t* destination, std::int32_t capacity) {
  if (source == nullptr) return 0;
  EnsureEnvironmentLocale();
  const std::size_t n = BoundedLength(source, sourceLength);
  const std::size_t room = capacity > 0 && destination != nullptr ? static_cast<std::size_t>(capacity) : 0;
  std::uint32_t count = 0;
  DecodeMultiByte(source, n, [&](char16_t unit) {
    if (count < room) destination[count] = unit;
    ++count;
  });
  return count;
}

std::uint32_t WideCharToMultiByte(std::uint32_t /*codePage*/, std::uint32_t /*flags*/,
                                  const char16_t* source, std::int32_t sourceLength,
                                  char* destination, std::int32_t capacity) {
  if (source == nullptr) return 0;
  EnsureEnvironmentLocale();
  const std::size_t n = BoundedLength(source, sourceLength);
  const std::size_t room = capacity > 0 && destination != nullptr ? static_cast<std::size_t>(capacity) : 0;
  if (room != 0) std::memset(destination, 0, room);
  std::uint32_t count = 0;
  bool full = false;
  EncodeWide(source, n, [&](const char* bytes, std::size_t used) {
    // Only whole characters go into the destination.
    if (!full && count + used <= room) {
      std::memcpy(destination + count, bytes, used);
    } else {
      full = true;
    }
    count += static_cast<std::uint32_t>(used);
  });
  return count;
}

WideString ToWide(const NarrowString& text) {
  EnsureEnvironmentLocale();
  std::u16string units;
  units.reserve(text.length());
  DecodeMultiByte(text.c_str(), std::strlen(text.c_str()),
                  [&](char16_t unit) { units.push_back(unit); });
  return WideString(units.data(), units.size());
}

NarrowString ToNarrow(const WideString& text) {
  EnsureEnvironmentLocale();
  std::string bytes;
  bytes.reserve(text.length());
  EncodeWide(text.c_str(), BoundedLength(text.c_str(), -1),
             [&](const char* p, std::size_t n) { bytes.append(p, n); });
  return NarrowString(bytes.data(), bytes.size());
}

int CompareNoCase(const WideString& a, const WideString& b) {
  return strcasecmp(ToNarrow(a).c_str(), ToNarrow(b).c_str());
}

WideString IntToWide(std::int32_t value, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  const bool negative = radix == 10 && value < 0;
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (negative) magnitude = 0u - magnitude;
  char16_t digits[40];
  std::size_t n = 0;
  do {
    const std::uint32_t d = magnitude % static_cast<std::uint32_t>(radix);
    digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + (d - 10));
    magnitude /= static_cast<std::uint32_t>(radix);
  } while (magnitude != 0);
  if (negative) digits[n++] = u'-';
  WideString result;
  for (std::size_t i = n; i > 0; --i) result += digits[i - 1];
  return result;
}

WideString WideFromAscii(const char* ascii) {
  WideString result;
  for (const char* p = ascii; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    result += byte < 0x80 ? static_cast<char16_t>(byte) : kReplacementCharacter;
  }
  return result;
}

}  // namespace ordx
