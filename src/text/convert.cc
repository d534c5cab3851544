// Conversions between UTF-16 and the locale's multibyte encoding. UTF-8 is
// decoded and encoded here directly; other encodings go character by
// character through mbrtowc/wcrtomb. A byte that is not part of a character
// which encodes back to the very same bytes is kept as an escape unit
// (U+DC00 + byte), so decoding is total and the way back is exact.
#include "text/convert.h"

#include <langinfo.h>
#include <stdlib.h>

#include <cctype>
#include <cstdlib>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <mutex>

namespace ordx {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsEscape(char32_t c) { return c >= kEscapeBase && c <= kEscapeBase + 0xFF; }

bool IsUtf8Locale() { return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0; }

bool IsCLocaleName(const char* name) {
  return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

// The length of the well-formed UTF-8 character at p (at most n bytes), or
// 0 when there is none: no overlong forms, no surrogates, nothing past
// U+10FFFF. The character goes to *c.
std::size_t DecodeUtf8Character(const unsigned char* p, std::size_t n, char32_t* c) {
  const unsigned char lead = p[0];
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    *c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    *c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    *c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (n < length || p[1] < low || p[1] > high) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    *c = (*c << 6) | (p[k] & 0x3F);
  }
  return length;
}

std::size_t EncodeUtf8Character(char32_t c, char* out) {
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// One character of a non-UTF-8 locale: its length at p, or 0 when the bytes
// there do not form a character that encodes back to the same bytes (the
// only kind of decoding that can be undone exactly).
std::size_t DecodeLocaleCharacter(const char* p, std::size_t n, char32_t* c) {
  std::mbstate_t state{};
  wchar_t wc = 0;
  const std::size_t used = std::mbrtowc(&wc, p, n, &state);
  if (used == 0 || used > n) return 0;  // also (size_t)-1 and -2
  *c = static_cast<char32_t>(wc);
  if (*c > 0x10FFFF || IsHighSurrogate(*c) || IsLowSurrogate(*c)) return 0;
  char back[MB_LEN_MAX];
  std::mbstate_t out{};
  const std::size_t made = std::wcrtomb(back, wc, &out);
  if (made != used || std::memcmp(back, p, used) != 0) return 0;
  return used;
}

void EmitCharacter(char32_t c, std::u16string* units) {
  if (c > 0xFFFF) {
    const char32_t v = c - 0x10000;
    units->push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
    units->push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
  } else {
    units->push_back(static_cast<char16_t>(c));
  }
}

// Decodes all n bytes; a zero byte becomes U+DC00 like any byte that is no
// character of its own.
std::u16string Decode(const char* p, std::size_t n) {
  EnsureEnvironmentLocale();
  std::u16string units;
  units.reserve(n);
  const bool utf8 = IsUtf8Locale();
  for (std::size_t i = 0; i < n;) {
    const auto byte = static_cast<unsigned char>(p[i]);
    if (byte != 0 && byte < 0x80) {  // ASCII is the same in every locale we support
      units.push_back(byte);
      ++i;
      continue;
    }
    char32_t c = 0;
    const std::size_t used =
        byte == 0 ? 0
        : utf8    ? DecodeUtf8Character(reinterpret_cast<const unsigned char*>(p) + i, n - i, &c)
                  : DecodeLocaleCharacter(p + i, n - i, &c);
    if (used == 0) {
      units.push_back(static_cast<char16_t>(kEscapeBase + byte));
      ++i;
    } else {
      EmitCharacter(c, &units);
      i += used;
    }
  }
  return units;
}

enum class Purpose {
  kReading,  // for people: "?" for what cannot be encoded; escapes below 0x80 too
  kExact,    // every escape gives its byte; *lost tells whether "?" was needed
};

// Encodes n units into bytes.
std::string Encode(const char16_t* p, std::size_t n, Purpose purpose, bool* lost) {
  EnsureEnvironmentLocale();
  std::string bytes;
  bytes.reserve(n);
  const bool utf8 = IsUtf8Locale();
  bool missing = false;
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = p[i];
    if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(p[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(p[i + 1]) - 0xDC00);
      ++i;
    } else if (IsEscape(c) && (c >= kEscapeBase + 0x80 || purpose == Purpose::kExact)) {
      bytes.push_back(static_cast<char>(c - kEscapeBase));
      continue;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      bytes.push_back('?');
      missing = true;
      continue;
    }
    char out[MB_LEN_MAX > 4 ? MB_LEN_MAX : 4];
    std::size_t used;
    if (utf8) {
      used = EncodeUtf8Character(c, out);
    } else {
      std::mbstate_t state{};
      used = std::wcrtomb(out, static_cast<wchar_t>(c), &state);
    }
    // glibc drops some characters (the Unicode tag characters) without a
    // trace in non-UTF-8 locales: none is no encoding either.
    if (used == static_cast<std::size_t>(-1) || used == 0) {
      bytes.push_back('?');
      missing = true;
    } else {
      bytes.append(out, used);
    }
  }
  if (lost != nullptr) *lost = missing;
  return bytes;
}

std::size_t BoundedLength(const char16_t* s, std::int32_t limit) {
  std::size_t n = 0;
  const std::size_t max = limit < 0 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(limit);
  while (n < max && s[n] != 0) ++n;
  return n;
}

// The bytes CompareNoCase folds: exact where possible, "?" where not.
std::string ComparisonForm(const WideString& text) {
  bool lost = false;
  return Encode(text.c_str(), text.length(), Purpose::kExact, &lost);
}

}  // namespace

void EstablishEnvironmentLocale() {
  // Every category takes `name`, and the environment carries it to later
  // setlocale calls (GTK makes one) and to child processes.
  const auto adopt = [](const char* name) {
    setenv("LC_ALL", name, 1);
    std::setlocale(LC_ALL, name);
  };
  // Fails as a whole, changing nothing, when the environment names a locale
  // that is not installed: every category is then still "C".
  const bool whole = std::setlocale(LC_ALL, "") != nullptr;
  // One category naming a missing locale (LC_MESSAGES=xx_YY) must not cost
  // the user's character set, which decides how names are spelled on disk.
  // All categories follow it: GTK's own setlocale(LC_ALL, "") would fail
  // otherwise, warn on stderr and leave its texts untranslated.
  if (!whole) {
    const char* ctype = std::setlocale(LC_CTYPE, "");
    if (ctype != nullptr && !IsCLocaleName(ctype)) return adopt(std::string(ctype).c_str());
  }
  if (!IsCLocaleName(std::setlocale(LC_CTYPE, nullptr))) return;
  // The C locale knows only ASCII. C.UTF-8 names the same conventions with
  // a character set that can hold any text.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) return;  // not installed: stay in C
  const char* all = std::getenv("LC_ALL");
  if (!whole || (all != nullptr && *all != '\0')) return adopt("C.UTF-8");
  setenv("LC_CTYPE", "C.UTF-8", 1);
  std::setlocale(LC_ALL, "");
}

void EnsureEnvironmentLocale() {
  static std::once_flag once;
  std::call_once(once, EstablishEnvironmentLocale);
}

WideString ToWide(const NarrowString& text) {
  const std::u16string units = Decode(text.c_str(), std::strlen(text.c_str()));
  return WideString(units.data(), units.size());
}

NarrowString ToNarrow(const WideString& text) {
  const std::string bytes =
      Encode(text.c_str(), BoundedLength(text.c_str(), -1), Purpose::kReading, nullptr);
  return NarrowString(bytes.data(), bytes.size());
}

std::u16string DecodeBytes(std::string_view bytes) { return Decode(bytes.data(), bytes.size()); }

bool EncodeBytes(std::u16string_view units, std::string* out) {
  bool lost = false;
  std::string bytes = Encode(units.data(), units.size(), Purpose::kExact, &lost);
  // The way back must give the same units: this refuses escapes that spell
  // a character and a zero unit (which decodes as U+DC00).
  if (lost || Decode(bytes.data(), bytes.size()) != units) return false;
  *out = std::move(bytes);
  return true;
}

bool ToNarrowExact(const WideString& text, NarrowString* out) {
  std::string bytes;
  if (!EncodeBytes(text.view(), &bytes) || bytes.find('\0') != std::string::npos) return false;
  *out = NarrowString(bytes.data(), bytes.size());
  return true;
}

namespace {

// The text as the comparison sees it: encoded, with letters folded the way
// strcasecmp folds them, but a character at a time. In a multibyte encoding
// such as GB18030 or Big5 the second byte of a character can look like an
// ASCII letter; folding that byte would merge two different characters.
std::string FoldedForm(const WideString& text) {
  WideString lowered = text;
  char16_t* units = lowered.mutable_data();
  for (std::size_t i = 0; i < lowered.length(); ++i) {
    if (units[i] >= u'A' && units[i] <= u'Z') units[i] = static_cast<char16_t>(units[i] + 32);
  }
  std::string bytes = ComparisonForm(lowered);
  // In a single-byte encoding every byte is one character: the locale's own
  // folding of the rest (É and é in Latin-1) is safe there.
  if (MB_CUR_MAX == 1) {
    for (char& c : bytes) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return bytes;
}

}  // namespace

std::string NoCaseKey(const WideString& text) { return FoldedForm(text); }

int CompareNoCase(const WideString& a, const WideString& b) {
  const std::string x = FoldedForm(a);
  const std::string y = FoldedForm(b);
  const std::size_t n = x.size() < y.size() ? x.size() : y.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int p = static_cast<unsigned char>(x[i]);
    const int q = static_cast<unsigned char>(y[i]);
    if (p != q) return p - q;
  }
  return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

}  // namespace ordx
