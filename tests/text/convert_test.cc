// Conversions between bytes and UTF-16: round trips in every locale, exact conversion, "C" to UTF-8, case folding.
#include "text/convert.h"

#include <gtest/gtest.h>
#include <langinfo.h>
#include <stdlib.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/deadline.h"
#include "support/scoped_locale.h"
#include "support/temp_tree.h"

namespace ordx {
namespace {

using testsupport::Bytes;

// Under UTF-8 each byte run gives its units; under "C" each byte from 0x80 (and zero) is U+DC00 + byte; both come back.
TEST(Conversion, BytesBecomeUnitsAndComeBackInEveryLocale) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"plain /tmp/x", u"plain /tmp/x"},
      {"\xD0\xB6\xE2\x82\xAC\xC2\x80\xEF\xBF\xBF", u"\u0436\u20AC\u0080\uFFFF"},
      {"\xF4\x8F\xBF\xBF\xF0\x9D\x84\x9E", u"\U0010FFFF\U0001D11E"},
      {"a\xFF" "b\xE2\x82" "c", u"a\xDCFF" "b\xDCE2\xDC82" "c"},  // stray, cut short
      {"\xC0\xAF\xED\xA0\x80", u"\xDCC0\xDCAF\xDCED\xDCA0\xDC80"},  // overlong, surrogate
      {"\xF4\x90\x80\x80\xF0\x8F\xBF\xBF", u"\xDCF4\xDC90\xDC80\xDC80\xDCF0\xDC8F\xDCBF\xDCBF"},
      {std::string("k\0v\xC3", 4), u"k\xDC00v\xDCC3"},  // a zero byte, cut at the end
  };
  for (const char* locale : {"C.UTF-8", "C"}) {
    const ScopedLocale scope(locale);
    for (const auto& [bytes, units] : cases) {
      std::u16string escaped;
      for (const unsigned char b : bytes) escaped += b != 0 && b < 0x80 ? b : 0xDC00 + b;
      const std::u16string decoded = DecodeBytes(bytes);
      EXPECT_EQ(decoded, std::strcmp(locale, "C") == 0 ? escaped : units) << locale << bytes;
      std::string back;
      EXPECT_TRUE(EncodeBytes(decoded, &back)) << locale << ": " << bytes;
      EXPECT_EQ(back, bytes) << locale;
      NarrowString exact;  // the path conversion, which ends at the first zero
      EXPECT_TRUE(ToNarrowExact(ToWide(bytes.c_str()), &exact)) << locale << ": " << bytes;
      EXPECT_EQ(Bytes(exact), bytes.c_str()) << locale;
    }
  }
}

// Exact conversion (paths, settings) refuses what would come back as other units; the reading one writes "?".
TEST(Conversion, ExactConversionRefusesWhatWouldNameAnotherFile) {
  // locale, units, exact bytes (nullptr: refused), ToNarrow's bytes
  const std::tuple<const char*, std::u16string, const char*, const char*> cases[] = {
      {"C.UTF-8", u"caf\u00E9", "caf\xC3\xA9", "caf\xC3\xA9"},
      {"C.UTF-8", u"x\xDCFFy", "x\xFFy", "x\xFFy"},
      {"C.UTF-8", u"x\xD800y", nullptr, "x?y"},            // lone high surrogate
      {"C.UTF-8", u"x\xDD00y", nullptr, "x?y"},            // lone low surrogate, no escape
      {"C.UTF-8", u"x\xDCC3\xDCA9", nullptr, "x\xC3\xA9"},  // escapes that spell a character
      {"C.UTF-8", u"x\xDC41", nullptr, "x?"},              // escape of a byte that decodes
      {"C.UTF-8", std::u16string(u"a\0b", 3), nullptr, "a"},
      {"C.UTF-8", u"a\xDC00" "b", nullptr, "a?b"},  // a zero byte
      {"C", u"caf\u00E9", nullptr, "caf?"},
      {"C", u"caf\xDCE9", "caf\xE9", "caf\xE9"},
      {"C", u"tag\xDB40\xDC28", nullptr, "tag?"},  // U+E0028, which wcrtomb drops
  };
  for (const auto& [locale, units, exact, reading] : cases) {
    const ScopedLocale scope(locale);
    const WideString wide(units.data(), units.size());
    NarrowString out("untouched");
    EXPECT_EQ(ToNarrowExact(wide, &out), exact != nullptr) << locale << " " << reading;
    EXPECT_EQ(Bytes(out), exact != nullptr ? exact : "untouched") << locale;
    EXPECT_EQ(Bytes(ToNarrow(wide)), reading) << locale;
  }
}

// "C" or "POSIX" switch the process, and through the environment a later setlocale or a child, to C.UTF-8.
TEST(Conversion, CLocaleSwitchesToUtf8) {
  const std::tuple<const char*, const char*, const char*> cases[] = {  // LC_ALL, LANG, where C.UTF-8 is then
      {"C", nullptr, "LC_ALL"}, {"POSIX", "de_DE.UTF-8", "LC_ALL"}, {nullptr, nullptr, "LC_CTYPE"},
      {nullptr, "xx_YY.UTF-8", "LC_ALL"}, {"C.UTF-8", nullptr, "LC_ALL"}};
  for (const auto& [lcAll, lang, variable] : cases) {
    // Captured by value: clang 14 cannot capture structured bindings.
    const int code = testsupport::ExitCodeInChild([lcAll = lcAll, lang = lang, variable = variable] {
      for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"}) unsetenv(name);
      if (lcAll != nullptr) setenv("LC_ALL", lcAll, 1);
      if (lang != nullptr) setenv("LANG", lang, 1);
      std::setlocale(LC_ALL, "C");
      EstablishEnvironmentLocale();
      if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) return 1;
      if (getenv(variable) == nullptr || std::strcmp(getenv(variable), "C.UTF-8") != 0) return 2;
      std::setlocale(LC_ALL, "C");
      std::setlocale(LC_ALL, "");
      return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0 ? 0 : 3;
    });
    EXPECT_EQ(code, 0) << (lcAll ? lcAll : "-") << " " << (lang ? lang : "-");
  }
}

// Only A..Z fold, and a character at a time.
TEST(Conversion, CaseFoldingFoldsAsciiLettersOnly) {
  const ScopedLocale scope("C.UTF-8");
  EXPECT_EQ(CompareNoCase(u"AZaz@[`{", u"azAZ@[`{"), 0);
  EXPECT_LT(CompareNoCase(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  EXPECT_NE(CompareNoCase(u"\u00C9", u"\u00E9"), 0);
  EXPECT_NE(NoCaseKey(ToWide("caf\xE9")), NoCaseKey(ToWide("caf\xE8")));  // two stray bytes
}

// Another locale is kept; in GBK, where U+4E04 and U+4E64 end in "A" and "a", the two never fold into one.
TEST(Conversion, MultibyteLocaleIsKeptAndNeverMergesCharacters) {
  const std::string name = "gbk-" + std::to_string(getpid());
  const std::string run = "\x81\x41\x81\x61\x80\x81\x7F\xC3";  // A, a, stray bytes
  if (std::system(("localedef -i zh_CN -f GBK " + ::testing::TempDir() + name).c_str()) != 0) GTEST_SKIP() << "no GBK locale can be made here";
  // Also when another category names a locale that is missing: the character set stays the user's.
  for (const bool messagesMissing : {false, true}) {
    const int code = testsupport::ExitCodeInChild([&] {
      for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"}) unsetenv(variable);
      setenv("LOCPATH", ::testing::TempDir().c_str(), 1);  // only this child sees it
      setenv(messagesMissing ? "LANG" : "LC_ALL", name.c_str(), 1);
      if (messagesMissing) setenv("LC_MESSAGES", "xx_YY.UTF-8", 1);
      EstablishEnvironmentLocale();
      std::string back;
      if (std::strcmp(nl_langinfo(CODESET), "GBK") != 0 || !EncodeBytes(DecodeBytes(run), &back)) return 1;
      if (back != run || CompareNoCase(u"K\u4E04", u"k\u4E04") != 0) return 2;
      if (NoCaseKey(u"\u4E04") == NoCaseKey(u"\u4E64") || !CompareNoCase(u"\u4E04", u"\u4E64")) return 3;
      // GTK's own setlocale(LC_ALL, "") must work too, with the same character set.
      return std::setlocale(LC_ALL, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "GBK") == 0 ? 0 : 4;
    });
    EXPECT_EQ(code, 0) << (messagesMissing ? "LANG, and LC_MESSAGES missing" : "LC_ALL");
  }
  std::filesystem::remove_all(::testing::TempDir() + name);
}

}  // namespace
}  // namespace ordx
