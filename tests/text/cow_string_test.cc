// Storage scheme, copy-on-write and the editing operations of the text types.
#include "text/cow_string.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace ordx {
namespace {

std::u16string Str(const WideString& w) { return std::u16string(w.c_str(), w.length()); }

TEST(CowStringStorage, InlineUpToNineUnitsOrNineteenBytes) {
  const WideString nine(u"123456789");
  const WideString ten(u"1234567890");
  EXPECT_TRUE(nine.IsInlineForm());
  EXPECT_EQ(nine.TagWord(), 9u);
  EXPECT_FALSE(ten.IsInlineForm());
  EXPECT_EQ(ten.TagWord(), 10u);

  const NarrowString nineteen("1234567890123456789");
  const NarrowString twenty("12345678901234567890");
  EXPECT_TRUE(nineteen.IsInlineForm());
  EXPECT_FALSE(twenty.IsInlineForm());
  EXPECT_EQ(twenty.TagWord(), 20u);
  EXPECT_EQ(WideString().TagWord(), 0u);
}

TEST(CowStringStorage, HeapStringStaysOnHeapWhenCutShort) {
  WideString s(u"a long enough text");
  s.resize(3);
  EXPECT_FALSE(s.IsInlineForm());
  EXPECT_EQ(Str(s), u"a l");
  s.erase(0, 3);
  EXPECT_FALSE(s.IsInlineForm());
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(s.c_str()[0], u'\0');
  // Assigning a whole string object gives that object's form.
  s = WideString(u"abc");
  EXPECT_TRUE(s.IsInlineForm());
}

TEST(CowStringStorage, CopiesShareUntilOneIsModified) {
  const WideString original(u"shared heap text");
  WideString copy = original;
  EXPECT_EQ(original.ShareCount(), 2u);
  EXPECT_EQ(original.c_str(), copy.c_str());
  copy.append(u"!", 1);
  EXPECT_EQ(Str(original), u"shared heap text");
  EXPECT_EQ(Str(copy), u"shared heap text!");
  EXPECT_EQ(original.ShareCount(), 1u);
  EXPECT_EQ(copy.ShareCount(), 1u);
  EXPECT_NE(original.c_str(), copy.c_str());
}

TEST(CowStringStorage, EveryModifierCopiesASharedBuffer) {
  const WideString base(u"0123456789abcdef");
  auto check = [&](auto edit, const std::u16string& expected) {
    WideString copy = base;
    edit(copy);
    EXPECT_EQ(Str(copy), expected);
    EXPECT_EQ(copy.c_str()[copy.length()], u'\0');
    EXPECT_EQ(Str(base), u"0123456789abcdef");
    EXPECT_EQ(base.ShareCount(), 1u);
  };
  check([](WideString& s) { s.resize(4); }, u"0123");
  check([](WideString& s) { s.erase(1, 14); }, u"0f");
  check([](WideString& s) { s.replace(0, 10, u"X"); }, u"Xabcdef");
  check([](WideString& s) { s.mutable_data()[0] = u'Z'; }, u"Z123456789abcdef");
  check([](WideString& s) { ReplaceAll(s, u"a", u"A"); }, u"0123456789Abcdef");
  check([](WideString& s) { s.reserve(100); }, u"0123456789abcdef");
  check([](WideString& s) { s.assign(u"xy", 2); }, u"xy");
}

TEST(CowStringStorage, GrowthAndRounding) {
  // Inline to heap allocates exactly: the count word and 11 units.
  WideString s(u"123456789");
  s.append(u"0", 1);
  EXPECT_EQ(s.HeapBytes(), 4u + 2u * 11u);
  EXPECT_EQ(s.capacity(), 10u);
  // append asks for max(need, 1.5 x capacity) = 15 units: 36 bytes, rounded
  // to a multiple of 8.
  s.append(u"1", 1);
  EXPECT_EQ(s.HeapBytes(), 40u);
  EXPECT_EQ(s.capacity(), 17u);

  // assign asks for exactly what it needs; 257..512 bytes round to 16.
  NarrowString n(std::string(300, 'a').c_str());
  EXPECT_EQ(n.HeapBytes(), 305u);  // moved from inline: not rounded
  const std::string four(400, 'b');
  n.assign(four.data(), four.size());
  EXPECT_EQ(n.HeapBytes(), 416u);
  // Beyond 16383 bytes nothing is rounded.
  const std::string big(20000, 'c');
  n.assign(big.data(), big.size());
  EXPECT_EQ(n.HeapBytes(), 20005u);
  // Shrinking keeps the buffer.
  n.resize(2);
  EXPECT_EQ(n.HeapBytes(), 20005u);
}

// From 2147483647 units reserve refuses with length_error; below that, any
// size whose buffer (count word included) passes 2147483647 bytes is
// bad_alloc, for reserve and for every way of growing. Nothing changes.
TEST(CowStringStorage, SizeLimitsThrowBeforeAnythingChanges) {
  enum Kind { kLength, kAlloc };
  const std::pair<std::size_t, Kind> wide[] = {
      {static_cast<std::size_t>(-1) / 2, kLength}, {2147483647u, kLength}, {2147483646u, kAlloc},
      {1500000000u, kAlloc}, {1073741821u, kAlloc}};  // 1073741821: 2^31 bytes
  for (const auto& [count, kind] : wide) {
    WideString s(u"0123456789ab");
    if (kind == kLength) {
      EXPECT_THROW(s.reserve(count), std::length_error) << count;
    } else {
      EXPECT_THROW(s.reserve(count), std::bad_alloc) << count;
      EXPECT_THROW(s.resize(count, u'x'), std::bad_alloc) << count;
      EXPECT_THROW(s.append(s.c_str(), count - 12), std::bad_alloc) << count;
      EXPECT_THROW(s.assign(s.c_str(), count), std::bad_alloc) << count;
    }
    EXPECT_EQ(Str(s), u"0123456789ab");
  }
  const std::pair<std::size_t, Kind> narrow[] = {
      {2147483647u, kLength}, {2147483646u, kAlloc}, {2147483643u, kAlloc}};
  for (const auto& [count, kind] : narrow) {
    NarrowString n("short");
    if (kind == kLength) {
      EXPECT_THROW(n.reserve(count), std::length_error) << count;
    } else {
      EXPECT_THROW(n.reserve(count), std::bad_alloc) << count;
      EXPECT_THROW(n.append(n.c_str(), count - 5), std::bad_alloc) << count;
    }
    EXPECT_STREQ(n.c_str(), "short");
  }
  WideString s;
  EXPECT_NO_THROW(s.reserve(9));
  EXPECT_TRUE(s.IsInlineForm());
  s.reserve(10);
  EXPECT_FALSE(s.IsInlineForm());
  EXPECT_GE(s.capacity(), 10u);
}

TEST(CowStringEditing, RangeChecksAtAndPastTheEnd) {
  WideString s(u"abc");
  const WideString other(u"xyz");
  s.append(other, 3, 5);  // from the length: appends nothing
  EXPECT_EQ(Str(s), u"abc");
  EXPECT_THROW(s.append(other, 4, 1), std::out_of_range);
  EXPECT_NO_THROW(s.erase(3, 1));
  EXPECT_THROW(s.erase(4, 1), std::out_of_range);
  EXPECT_EQ(Str(s.substr(3, 2)), u"");
  EXPECT_THROW(s.substr(4, 1), std::out_of_range);
  try {
    s.substr(9);
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "basic_string");
  }
  EXPECT_EQ(Str(s), u"abc");
}

TEST(CowStringEditing, SelfOverlappingSources) {
  WideString s(u"abcdefghij-long");
  s.append(s.c_str(), s.length());
  EXPECT_EQ(Str(s), u"abcdefghij-longabcdefghij-long");
  WideString t(u"abc");
  t.append(t.c_str(), t.length());
  EXPECT_EQ(Str(t), u"abcabc");
  t.assign(t.c_str() + 2, 3);
  EXPECT_EQ(Str(t), u"cab");
  WideString u16(u"0123456789ABCDEF");
  u16.assign(u16.c_str() + 4, 12);
  EXPECT_EQ(Str(u16), u"456789ABCDEF");
}

TEST(CowStringEditing, InnerZeroCountsButEndsCStr) {
  const char16_t raw[] = {u'a', u'b', 0, u'c', u'd'};
  const WideString s(raw, 5);
  EXPECT_EQ(s.length(), 5u);
  EXPECT_EQ(std::u16string(s.c_str()), u"ab");
}

TEST(CowStringEditing, ResizeFillsAndTruncates) {
  WideString s(u"ab");
  s.resize(5, u'x');
  EXPECT_EQ(Str(s), u"abxxx");
  s.resize(1);
  EXPECT_EQ(Str(s), u"a");
}

TEST(CowStringEditing, NarrowInsertAndOrder) {
  NarrowString s("held");
  const char* text = "llo wor";
  s.insert(2, text, text + 7);
  EXPECT_STREQ(s.c_str(), "hello world");
  EXPECT_TRUE(s.IsInlineForm());
  const char* bang = "!";
  s.insert(s.length(), bang, bang + 1);
  EXPECT_STREQ(s.c_str(), "hello world!");
  const char* more = "ABCDEFGHIJKLM";
  s.insert(0, more, more + 13);  // 25 bytes: to the heap, exactly sized
  EXPECT_STREQ(s.c_str(), "ABCDEFGHIJKLMhello world!");
  EXPECT_EQ(s.HeapBytes(), 4u + 26u);
  EXPECT_THROW(s.insert(99, bang, bang + 1), std::out_of_range);

  EXPECT_TRUE(NarrowString("ab") < NarrowString("abc"));
  EXPECT_TRUE(NarrowString("abc") < NarrowString("abd"));
  EXPECT_TRUE(NarrowString("z") < NarrowString("\xC3\xA9"));  // unsigned bytes
  EXPECT_FALSE(NarrowString("abc") < NarrowString("abc"));
}

// The private copy of a shared buffer is taken from the allocator; whatever
// a freed string of the same size left there must not show through c_str().
TEST(CowStringStorage, PrivateCopyKeepsTheTerminator) {
  const WideString base(u"0123456789abcdef");
  for (int round = 0; round < 4; ++round) {
    { const WideString filler(u"xxxxxxxxxxxxxxxxx"); }
    WideString copy = base;
    if (round % 2 == 0) {
      copy.mutable_data()[0] = u'Z';
    } else {
      ReplaceAll(copy, u"a", u"A");  // same length: edited in place
    }
    EXPECT_EQ(std::char_traits<char16_t>::length(copy.c_str()), copy.length());
  }
}

TEST(CowStringReplaceAll, BackslashesAndNonOverlappingMatches) {
  WideString path(u"C:\\dir\\sub\\file.dt");
  EXPECT_EQ(ReplaceAll(path, u"\\", u"/"), 3);
  EXPECT_EQ(Str(path), u"C:/dir/sub/file.dt");

  WideString s(u"aaaa");
  EXPECT_EQ(ReplaceAll(s, u"aa", u"b"), 2);
  EXPECT_EQ(Str(s), u"bb");
  WideString grow(u"a.b.c");
  EXPECT_EQ(ReplaceAll(grow, u".", u"..."), 2);
  EXPECT_EQ(Str(grow), u"a...b...c");  // inserted text is not searched again
  WideString none(u"abc");
  EXPECT_EQ(ReplaceAll(none, u"x", u"yy"), 0);
  EXPECT_EQ(ReplaceAll(none, u"", u"y"), 0);
  WideString empty;
  EXPECT_EQ(ReplaceAll(empty, u"a", u"b"), 0);
}

TEST(CowStringThreads, CopiesReleasedOnManyThreads) {
  const WideString source(u"a text long enough to live on the heap");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([source] {
      for (int i = 0; i < 20000; ++i) {
        WideString copy = source;
        if (i % 7 == 0) copy.append(u"x", 1);
        WideString again = copy;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(source.ShareCount(), 1u);
  EXPECT_EQ(Str(source), u"a text long enough to live on the heap");
}

}  // namespace
}  // namespace ordx
