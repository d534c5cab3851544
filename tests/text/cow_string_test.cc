// The text types: inline and heap forms, sharing until a write, growth, size limits, editing at the edges.
#include "text/cow_string.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_tree.h"

namespace ordx {
namespace {

using testsupport::Units;

// A copy shares the buffer; a modifier gives the modified string its own terminated copy, the other stays.
TEST(CowString, EveryModifierCopiesASharedBuffer) {
  const WideString base(u"0123456789abcdef");
  const std::pair<void (*)(WideString&), std::u16string> cases[] = {
      {[](WideString& s) { s.resize(4); }, u"0123"},
      {[](WideString& s) { s.replace(0, 10, u"X"); }, u"Xabcdef"},
      {[](WideString& s) { s.mutable_data()[0] = u'Z'; }, u"Z123456789abcdef"},
      {[](WideString& s) { ReplaceAll(s, u"a", u"A"); }, u"0123456789Abcdef"},
      {[](WideString& s) { s.reserve(100); }, u"0123456789abcdef"},
  };
  for (const auto& [edit, expected] : cases) {
    { const WideString filler(u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxx"); }  // leaves garbage behind
    WideString copy = base;
    EXPECT_EQ(base.ShareCount(), 2u);
    edit(copy);
    EXPECT_EQ(Units(copy), expected);
    EXPECT_EQ(std::char_traits<char16_t>::length(copy.c_str()), copy.length());
    EXPECT_EQ(Units(base), u"0123456789abcdef");
    EXPECT_EQ(base.ShareCount(), 1u);
  }
}

// Heap bytes, count word included: leaving the inline form takes what is needed; growth rounds to 8 bytes up to 256,
// then to 16, 32 ... 512 per doubling, from 16384 on not at all (each size where two bands differ).
TEST(CowString, GrowthIsRoundedInBandsAndBounded) {
  const std::pair<std::size_t, std::size_t> bands[] = {{129, 136}, {289, 304}, {641, 672}, {1281, 1344}, {2561, 2688},
                                                       {5121, 5376}, {10241, 10752}, {16385, 16385}, {20001, 20001}};
  for (const auto& [bytes, rounded] : bands) {
    NarrowString n("1234567890123456789");
    n += '!';
    const std::string text(bytes - 5, 'a');  // the count word and the terminator
    n.assign(text.data(), text.size());
    EXPECT_EQ(n.HeapBytes(), rounded) << bytes;
    n.resize(2);
    EXPECT_EQ(n.HeapBytes(), rounded) << "shrinking keeps the buffer";
  }
  WideString s(u"123456789");
  s.append(u"0", 1);
  EXPECT_EQ(s.HeapBytes(), 4u + 2u * 11u);
  s.append(u"1", 1);  // max(need, 1.5 x capacity) = 15 units: 36 bytes, rounded
  EXPECT_EQ(s.HeapBytes(), 40u);
}

// 2^31 - 1 units: length_error; a buffer past 2^31 - 1 bytes: bad_alloc, for every way of growing; nothing changes.
TEST(CowString, SizeLimitsThrowBeforeAnythingChanges) {
  WideString s(u"0123456789ab");
  EXPECT_THROW(s.reserve(2147483647u), std::length_error);
  for (const std::size_t count : {2147483646u, 1073741821u}) {  // 1073741821 units: 2^31 bytes
    EXPECT_THROW(s.reserve(count), std::bad_alloc) << count;
    EXPECT_THROW(s.resize(count, u'x'), std::bad_alloc) << count;
    EXPECT_THROW(s.append(s.c_str(), count - 12), std::bad_alloc) << count;
    EXPECT_THROW(s.assign(s.c_str(), count), std::bad_alloc) << count;
  }
  EXPECT_EQ(Units(s), u"0123456789ab");
}

TEST(CowString, EditingAtTheEdges) {
  WideString s(u"abc");
  s.append(WideString(u"xyz"), 3, 5);  // from the length: nothing
  EXPECT_THROW(s.append(WideString(u"xyz"), 4, 1), std::out_of_range);
  EXPECT_THROW(s.substr(4, 1), std::out_of_range);
  EXPECT_EQ(WideString(u"a/b/c").find(u'/', 2), 3u);
  EXPECT_EQ(WideString(u"abc").find(u'/'), WideString::npos);
  // A source inside the string: the last inline unit, which leaving the inline form overwrites.
  WideString nine(u"123456789");
  nine.append(nine.c_str() + 8, 1);
  EXPECT_EQ(Units(nine), u"1234567899");
  // Inserting keeps a short string inline; a long result is sized exactly.
  NarrowString held("held");
  const char* text = "ABCDEFGHIJKLMllo wor";
  held.insert(2, text + 13, text + 20);
  EXPECT_TRUE(held.IsInlineForm());
  held.insert(0, text, text + 13);
  EXPECT_STREQ(held.c_str(), "ABCDEFGHIJKLMhello world");
  EXPECT_EQ(held.HeapBytes(), 4u + 25u);
  EXPECT_LT(NarrowString("z"), NarrowString("\xC3\xA9"));  // unsigned bytes
}

}  // namespace
}  // namespace ordx
