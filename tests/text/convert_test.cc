// Conversions under the C and UTF-8 locales, including input that cannot be
// converted, and the helpers built on them.
#include "text/convert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <thread>
#include <vector>

namespace ordx {
namespace {

std::u16string Str(const WideString& w) { return std::u16string(w.c_str(), w.length()); }

// Runs each test under one named locale and restores the previous one.
class LocaleTest : public ::testing::Test {
 protected:
  void Use(const char* name) {
    EnsureEnvironmentLocale();
    saved_ = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, name), nullptr) << name;
  }
  void TearDown() override {
    if (!saved_.empty()) std::setlocale(LC_ALL, saved_.c_str());
  }
  std::string saved_;
};

class Utf8Conversion : public LocaleTest {
 protected:
  void SetUp() override { Use("C.UTF-8"); }
};

class CConversion : public LocaleTest {
 protected:
  void SetUp() override { Use("C"); }
};

TEST_F(Utf8Conversion, CyrillicRoundTrip) {
  const NarrowString bytes("\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // "привет"
  const WideString wide = ToWide(bytes);
  EXPECT_EQ(Str(wide), u"привет");
  EXPECT_EQ(wide.length(), 6u);
  const NarrowString back = ToNarrow(wide);
  EXPECT_EQ(back.length(), 12u);
  EXPECT_EQ(back, bytes);
}

TEST_F(Utf8Conversion, EmptyAndInnerZero) {
  EXPECT_TRUE(ToNarrow(WideString()).empty());
  EXPECT_TRUE(ToWide(NarrowString()).empty());
  const char16_t raw[] = {u'a', u'b', 0, u'c', u'd'};
  EXPECT_STREQ(ToNarrow(WideString(raw, 5)).c_str(), "ab");
}

TEST_F(Utf8Conversion, SupplementaryCharactersUseSurrogatePairs) {
  const NarrowString clef("\xF0\x9D\x84\x9E");  // U+1D11E
  const WideString wide = ToWide(clef);
  ASSERT_EQ(wide.length(), 2u);
  EXPECT_EQ(wide[0], 0xD834);
  EXPECT_EQ(wide[1], 0xDD1E);
  EXPECT_EQ(ToNarrow(wide), clef);
}

TEST_F(Utf8Conversion, InvalidInputNeverStopsTheConversion) {
  // A stray continuation byte, a cut-short sequence and an overlong form.
  const WideString wide = ToWide(NarrowString("a\x80" "b\xE2\x82" "c\xC0\xAF"));
  EXPECT_EQ(Str(wide), u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD");
  // Lone surrogates cannot be encoded: they become "?".
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00, 0};
  EXPECT_STREQ(ToNarrow(WideString(lone)).c_str(), "x?y?");
}

TEST_F(Utf8Conversion, BufferFunctionsCountWholeText) {
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

TEST_F(Utf8Conversion, CompareNoCaseFoldsAsciiOnly) {
  EXPECT_EQ(CompareNoCase(u"ConfigurationTemplatesLocation", u"configurationtemplateslocation"), 0);
  EXPECT_EQ(CompareNoCase(u"", u""), 0);
  EXPECT_NE(CompareNoCase(u"É", u"é"), 0);
  EXPECT_LT(CompareNoCase(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
}

TEST_F(CConversion, NonAsciiBecomesReplacementOrQuestionMark) {
  EXPECT_EQ(Str(ToWide(NarrowString("ok\xD0\xBF"))), u"ok\uFFFD\uFFFD");
  EXPECT_STREQ(ToNarrow(u"ok\u043F").c_str(), "ok?");
  EXPECT_EQ(Str(ToWide(NarrowString("plain ASCII"))), u"plain ASCII");
}

TEST_F(Utf8Conversion, ConversionsFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        const WideString w = ToWide(NarrowString("\xD0\xB4\xD0\xB0 /tmp/qzstp"));
        if (ToNarrow(w) != NarrowString("\xD0\xB4\xD0\xB0 /tmp/qzstp")) ++failures[t];
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
