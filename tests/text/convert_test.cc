// Conversions in the C, UTF-8 and (where installed) Latin-1 locales: every
// byte run survives bytes -> wide -> bytes; exact conversion refuses what
// would name another file; and the helpers built on the conversions.
#include "text/convert.h"
#include "support/deadline.h"
#include "support/scoped_locale.h"

#include <gtest/gtest.h>
#include <langinfo.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace ordx {
namespace {

std::u16string Str(const WideString& w) { return std::u16string(w.c_str(), w.length()); }
std::string Bytes(const NarrowString& n) { return std::string(n.c_str(), n.length()); }

// The first Latin-1 locale installed, or nullptr.
const char* Latin1Locale() {
  static const char* const found = [] {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* result = nullptr;
    for (const char* name : {"en_US.ISO-8859-1", "de_DE.ISO-8859-1", "fr_FR.ISO-8859-1",
                             "en_US", "de_DE", "fr_FR", "en_GB.ISO-8859-1"}) {
      if (std::setlocale(LC_ALL, name) != nullptr &&
          std::strcmp(nl_langinfo(CODESET), "ISO-8859-1") == 0) {
        result = name;
        break;
      }
    }
    std::setlocale(LC_ALL, saved.c_str());
    return result;
  }();
  return found;
}

// Bytes -> wide -> bytes gives the same bytes, whatever they are, in every
// locale: valid UTF-8, invalid bytes, encoded surrogates (not valid UTF-8)
// and characters outside the Basic Multilingual Plane.
TEST(Conversion, BytesRoundTripInEveryLocale) {
  const std::string cases[] = {
      "plain ASCII /tmp/x",
      "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",  // Cyrillic
      "/opt/Ord\xC3\xBC/J\xC3\xBCrgen caf\xC3\xA9",         // UTF-8 accents
      "J\xFCrgen caf\xE9",                                  // the same in Latin-1
      "a\x80" "b\xFF" "c\xC0\xAF" "d\xE2\x82",              // stray, overlong, cut short
      "\xED\xA0\x80\xED\xB2\x80",                           // surrogates D800, DC80 as bytes
      "\xF0\x9D\x84\x9E\xF0\x9F\x98\x80",                   // U+1D11E, U+1F600
      "\xF4\x90\x80\x80\xF8\x88\x80\x80\x80",              // past U+10FFFF, five-byte form
      "\xC3",                                               // cut at the very end
  };
  std::vector<const char*> locales = {"C", "C.UTF-8"};
  if (Latin1Locale() != nullptr) locales.push_back(Latin1Locale());
  for (const char* locale : locales) {
    const ScopedLocale scope(locale);
    ASSERT_TRUE(scope.ok()) << locale;
    for (const std::string& bytes : cases) {
      const WideString wide = ToWide(NarrowString(bytes.c_str(), bytes.size()));
      EXPECT_EQ(Bytes(ToNarrow(wide)), bytes) << locale << ": " << bytes;
      NarrowString exact;
      EXPECT_TRUE(ToNarrowExact(wide, &exact)) << locale << ": " << bytes;
      EXPECT_TRUE(Bytes(exact) == bytes) << locale << ": " << bytes;
      // A whole run with zero bytes inside, as a file holds it.
      const std::string run = bytes + std::string("\0", 1) + bytes;
      std::string back;
      EXPECT_TRUE(EncodeBytes(DecodeBytes(run), &back)) << locale << ": " << bytes;
      EXPECT_TRUE(back == run) << locale << ": " << bytes;
    }
  }
}

// What the units are: characters where the bytes form one, else U+DC00 + byte.
TEST(Conversion, UndecodableBytesBecomeEscapeUnits) {
  const std::pair<const char*, std::u16string> utf8[] = {
      {"a\xFF" "b", u"a\xDCFF" "b"},
      {"\xE2\x82" "c", u"\xDCE2\xDC82" "c"},
      {"\xC0\xAF", u"\xDCC0\xDCAF"},
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
      {"\xF0\x9D\x84\x9E", u"\xD834\xDD1E"},
      {"\xD0\xB6\xE2\x82\xAC", u"\u0436\u20AC"},
  };
  {
    const ScopedLocale scope("C.UTF-8");
    ASSERT_TRUE(scope.ok());
    for (const auto& [bytes, units] : utf8) EXPECT_EQ(Str(ToWide(bytes)), units) << bytes;
    EXPECT_EQ(DecodeBytes(std::string_view("k\0v", 3)), std::u16string(u"k\xDC00v"));
  }
  const ScopedLocale scope("C");
  EXPECT_EQ(Str(ToWide("\xC3\xA9")), u"\xDCC3\xDCA9");
}

// Exact conversion (paths, stored settings) refuses what would come back as
// other units; the reading conversion writes "?" for what cannot be encoded.
TEST(Conversion, ExactConversionRefusesWhatWouldNameAnotherFile) {
  struct Case {
    const char* locale;
    std::u16string units;
    const char* exact;    // nullptr: refused
    const char* reading;  // ToNarrow's text
  };
  std::vector<Case> cases = {
      {"C.UTF-8", u"caf\u00E9", "caf\xC3\xA9", "caf\xC3\xA9"},
      {"C.UTF-8", u"x\xDCFFy", "x\xFFy", "x\xFFy"},
      {"C.UTF-8", u"x\xD800y", nullptr, "x?y"},       // lone high surrogate
      {"C.UTF-8", u"x\xDD00y", nullptr, "x?y"},       // lone low surrogate, no escape
      {"C.UTF-8", u"x\xDCC3\xDCA9", nullptr, "x\xC3\xA9"},  // escapes that spell "é"
      {"C.UTF-8", u"x\xDC41", nullptr, "x?"},         // escape of a byte that decodes
      {"C.UTF-8", std::u16string(u"a\0b", 3), nullptr, "a"},
      {"C.UTF-8", u"a\xDC00" "b", nullptr, "a?b"},    // a zero byte
      {"C", u"caf\u00E9", nullptr, "caf?"},
      {"C", u"caf\xDCE9", "caf\xE9", "caf\xE9"},
      {"C", u"tag\xDB40\xDC28", nullptr, "tag?"},  // U+E0028, which wcrtomb drops
  };
  if (const char* latin1 = Latin1Locale()) {
    cases.push_back({latin1, u"caf\u00E9", "caf\xE9", "caf\xE9"});
    cases.push_back({latin1, u"\u0436", nullptr, "?"});
  }
  for (const Case& c : cases) {
    const ScopedLocale scope(c.locale);
    ASSERT_TRUE(scope.ok()) << c.locale;
    const WideString wide(c.units.data(), c.units.size());
    NarrowString exact("untouched");
    const bool converted = ToNarrowExact(wide, &exact);
    EXPECT_EQ(converted, c.exact != nullptr) << c.locale << " " << c.reading;
    EXPECT_EQ(Bytes(exact), c.exact != nullptr ? c.exact : "untouched") << c.locale;
    EXPECT_EQ(Bytes(ToNarrow(wide)), c.reading) << c.locale;
  }
}

// Under "C" or "POSIX" the process, and through the environment a later
// setlocale(LC_ALL, "") or a child, switch to C.UTF-8; other locales stay.
TEST(Conversion, CLocaleSwitchesToUtf8) {
  {
    const ScopedLocale probe("C.UTF-8");
    if (!probe.ok()) GTEST_SKIP() << "C.UTF-8 is not installed";
  }
  struct Case {
    const char* lcAll;
    const char* lang;
    const char* variable;  // set to C.UTF-8 afterwards; nullptr: none
  };
  const Case cases[] = {{"C", nullptr, "LC_ALL"},
                        {"POSIX", "de_DE.UTF-8", "LC_ALL"},
                        {nullptr, nullptr, "LC_CTYPE"},
                        {nullptr, "xx_YY.UTF-8", "LC_ALL"},  // not installed: C
                        {"C.UTF-8", nullptr, nullptr}};
  for (const Case& c : cases) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"}) unsetenv(name);
      if (c.lcAll != nullptr) setenv("LC_ALL", c.lcAll, 1);
      if (c.lang != nullptr) setenv("LANG", c.lang, 1);
      std::setlocale(LC_ALL, "C");
      EstablishEnvironmentLocale();
      bool ok = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
      if (c.variable != nullptr) {
        const char* value = getenv(c.variable);
        ok = ok && value != nullptr && std::strcmp(value, "C.UTF-8") == 0;
      }
      std::setlocale(LC_ALL, "C");
      std::setlocale(LC_ALL, "");  // as GTK does
      ok = ok && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
      _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_TRUE(testsupport::WaitForChild(child, &status));
    EXPECT_TRUE(WIFEXITED(status)) << (c.lcAll ? c.lcAll : "-") << " " << (c.lang ? c.lang : "-");
    EXPECT_TRUE(WEXITSTATUS(status) == 0) << (c.lcAll ? c.lcAll : "-") << " " << (c.lang ? c.lang : "-");
  }
}

// In GB18030 the second byte of a character can be an ASCII letter: U+4E04
// and U+4E64 end in "A" and "a". Folding bytes would make them one key, and
// a starter file would lose one of two locations. ASCII letters still fold.
TEST(Conversion, CaseFoldingNeverMergesTwoCharactersOfAMultibyteEncoding) {
  const std::string dir = ::testing::TempDir() + "gb18030-" + std::to_string(getpid());
  const std::string make = "localedef -i zh_CN -f GB18030 '" + dir + "/zh_CN.GB18030' 2>/dev/null";
  if (std::system(("mkdir -p '" + dir + "' && " + make).c_str()) != 0) {
    GTEST_SKIP() << "no GB18030 locale can be made here";
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // LOCPATH replaces the system's locales, so only this child sees it.
    setenv("LOCPATH", dir.c_str(), 1);
    EnsureEnvironmentLocale();  // once, so that it does not undo the next line
    if (std::setlocale(LC_ALL, "zh_CN.GB18030") == nullptr) _exit(2);
    const WideString upper(u"/srv/\u4E04"), lower(u"/srv/\u4E64");
    const bool apart = NoCaseKey(upper) != NoCaseKey(lower) && CompareNoCase(upper, lower) != 0;
    const bool folded = CompareNoCase(u"Key\u4E04", u"kEY\u4E04") == 0;
    _exit(apart && folded ? 0 : 1);
  }
  int status = 0;
  ASSERT_TRUE(testsupport::WaitForChild(child, &status));
  std::system(("rm -rf '" + dir + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Conversion, EmptyAndInnerZero) {
  const ScopedLocale scope("C.UTF-8");
  EXPECT_TRUE(ToNarrow(WideString()).empty());
  EXPECT_TRUE(ToWide(NarrowString()).empty());
  const char16_t raw[] = {u'a', u'b', 0, u'c', u'd'};
  EXPECT_STREQ(ToNarrow(WideString(raw, 5)).c_str(), "ab");
}

TEST(Conversion, BufferFunctionsCountWholeText) {
  const ScopedLocale scope("C.UTF-8");
  const char* text = "\xC3\xA9t\xC3\xA9";  // "été"
  EXPECT_EQ(MultiByteToWideChar(0, 0, text, 5, nullptr, 0), 3u);
  char16_t two[2] = {u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(0, 0, text, 5, two, 2), 3u);
  EXPECT_EQ(two[0], u'é');
  EXPECT_EQ(two[1], u't');

  const char16_t* wide = u"été";
  EXPECT_EQ(WideCharToMultiByte(0, 0, wide, 3, nullptr, 0), 5u);
  char out[4] = {'#', '#', '#', '#'};
  // Only whole characters are written; the rest of the buffer is zeroed.
  EXPECT_EQ(WideCharToMultiByte(0, 0, wide, 3, out, 4), 5u);
  EXPECT_EQ(std::string(out, 4), std::string("\xC3\xA9t\0", 4));
}

TEST(Conversion, CompareNoCaseFoldsAsciiOnlyAndKeepsBytesApart) {
  const ScopedLocale scope("C.UTF-8");
  EXPECT_EQ(CompareNoCase(u"ConfigurationTemplatesLocation", u"configurationtemplateslocation"), 0);
  EXPECT_EQ(CompareNoCase(u"", u""), 0);
  EXPECT_NE(CompareNoCase(u"É", u"é"), 0);
  EXPECT_LT(CompareNoCase(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  // Two Latin-1 bytes read in a UTF-8 locale stay two values.
  EXPECT_NE(CompareNoCase(ToWide("caf\xE9"), ToWide("caf\xE8")), 0);
  EXPECT_NE(NoCaseKey(ToWide("caf\xE9")), NoCaseKey(ToWide("caf\xE8")));
  EXPECT_EQ(NoCaseKey(u"A\u00E9"), NoCaseKey(u"a\u00E9"));
}

TEST(Conversion, ConversionsFromSeveralThreads) {
  const ScopedLocale scope("C.UTF-8");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        const WideString w = ToWide(NarrowString("\xD0\xB4\xD0\xB0 /tmp/qzstp\xFF"));
        if (ToNarrow(w) != NarrowString("\xD0\xB4\xD0\xB0 /tmp/qzstp\xFF")) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST(IntToWide, RadixAndSign) {
  EXPECT_EQ(Str(IntToWide(0, 10)), u"0");
  EXPECT_EQ(Str(IntToWide(-42, 10)), u"-42");
  EXPECT_EQ(Str(IntToWide(2147483647, 10)), u"2147483647");
  EXPECT_EQ(Str(IntToWide(-2147483647 - 1, 10)), u"-2147483648");
  EXPECT_EQ(Str(IntToWide(255, 16)), u"ff");
  EXPECT_EQ(Str(IntToWide(-1, 16)), u"ffffffff");
  EXPECT_EQ(Str(IntToWide(5, 2)), u"101");
}

}  // namespace
}  // namespace ordx
