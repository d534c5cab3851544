// UTF-8 for widgets and kit names, at the edges of each sequence length and around the surrogates.
#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace ordx {
namespace {

// Each code point at an edge, both ways; the one before a supplementary pair is above the surrogates.
TEST(Utf8, EdgesOfEachLengthRoundTrip) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x7F", u"\u007F"}, {"\xC2\x80", u"\u0080"}, {"\xDF\xBF", u"\u07FF"}, {"\xE0\xA0\x80", u"\u0800"},
      {"\xED\x9F\xBF", u"\uD7FF"}, {"\xEE\x80\x80", u"\uE000"}, {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x90\x80\x80", u"\U00010000"}, {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"\xEE\x80\x80\xF0\x9F\x98\x80", u"\uE000\U0001F600"},
  };
  for (const auto& [utf8, utf16] : cases) {
    std::u16string decoded;
    EXPECT_TRUE(Utf8ToUtf16(utf8, &decoded)) << utf8;
    EXPECT_EQ(decoded, utf16) << utf8;
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  }
}

// Strict decoding refuses what is not UTF-8; a widget's text shows each bad byte as U+FFFD and keeps the rest.
TEST(Utf8, MalformedBytesAreRefusedOrReplaced) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x80", u"\uFFFD"},                           // continuation without a lead
      {"\xC1\xBF", u"\uFFFD\uFFFD"},                 // overlong U+007F
      {"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},       // overlong U+07FF
      {"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong U+FFFF
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},       // U+D800
      {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},       // U+DFFF
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // U+110000
      {"a\xE2\x82", u"a\uFFFD\uFFFD"},               // cut short at the end
      {"\xF8\x88\x80\x80\x80z", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDz"},
  };
  for (const auto& [utf8, shown] : cases) {
    std::u16string decoded = u"untouched";
    EXPECT_FALSE(Utf8ToUtf16(utf8, &decoded)) << utf8;
    EXPECT_EQ(decoded, u"untouched") << utf8;
    const WideString wide = FromUtf8(NarrowString(utf8.data(), utf8.size()));
    EXPECT_EQ(std::u16string(wide.c_str(), wide.length()), shown) << utf8;
  }
}

// A lone surrogate, high or low, anywhere, becomes U+FFFD; a pair in the wrong order is two lone ones.
TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\xD800", "\xEF\xBF\xBD"}, {u"\xDBFF" "a", "\xEF\xBF\xBD" "a"}, {u"a\xDC00", "a\xEF\xBF\xBD"},
      {u"\xDFFF", "\xEF\xBF\xBD"}, {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& [utf16, utf8] : cases) {
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8) << utf8;
    const NarrowString narrow = ToUtf8(WideString(utf16.data(), utf16.size()));
    EXPECT_EQ(std::string(narrow.c_str(), narrow.length()), utf8);
  }
}

}  // namespace
}  // namespace ordx
