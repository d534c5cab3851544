// The kit tool's building blocks: UTF-8 handling, kit times, and the
// container layout it plans.
#include "kit_packer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "kit/decompress.h"
#include "kit_test_util.h"
#include "utf8.h"

namespace ordx::kittest {
namespace {

TEST(Utf8Test, DecodesAndRefusesMalformedInput) {
  std::u16string out;
  ASSERT_TRUE(Utf8ToUtf16("a\xd0\xb4\xe2\x82\xac\xf0\x9f\x98\x80", &out));
  EXPECT_EQ(out, u"a\u0434\u20ac\U0001F600");
  EXPECT_TRUE(Utf8ToUtf16("", &out));
  EXPECT_EQ(out, u"");
  for (const char* bad : {"\xff", "\x80", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80",
                          "\xf4\x90\x80\x80", "\xd0", "\xe2\x82", "a\xe2\x28\xa1"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(bad)));
    out = u"unchanged";
    EXPECT_FALSE(Utf8ToUtf16(bad, &out));
    EXPECT_EQ(out, u"unchanged");
  }
}

TEST(Utf8Test, EncodesAndReplacesLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"a\u0434\u20ac\U0001F600"), "a\xd0\xb4\xe2\x82\xac\xf0\x9f\x98\x80");
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00};
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(lone, 4)), "x\xef\xbf\xbdy\xef\xbf\xbd");
}

TEST(KitTimeTest, FromPosixTimes) {
  FILETIME t = 0;
  ASSERT_TRUE(KitTimeFromPosix(0, 999999999, false, &t));
  EXPECT_EQ(t, 116444736000000000ull);
  ASSERT_TRUE(KitTimeFromPosix(1355526400, 123456789, true, &t));
  EXPECT_EQ(t, 130000000001234567ull);
  // Before 1970, the fraction still counts forward from the whole second.
  ASSERT_TRUE(KitTimeFromPosix(-1, 500000000, true, &t));
  EXPECT_EQ(t, 116444735995000000ull);
  ASSERT_TRUE(KitTimeFromPosix(-11644473600, 0, false, &t));
  EXPECT_EQ(t, 0u);
  EXPECT_FALSE(KitTimeFromPosix(-11644473601, 0, false, &t));
  EXPECT_FALSE(KitTimeFromPosix(INT64_MAX, 0, false, &t));
}

class KitPackerTest : public KitTest {};

TEST_F(KitPackerTest, PlanMatchesTheContainerLayout) {
  const std::string src = Path("src");
  std::filesystem::create_directories(src + "/d");
  WriteBytes(src + "/d/z", "zz");
  WriteBytes(src + "/a", "aaaa");
  WriteBytes(src + "/d/b", "");
  const timespec times[2] = {{1355526400, 0}, {1355526400, 0}};
  for (const char* f : {"/d/z", "/a", "/d/b"})
    ASSERT_EQ(utimensat(AT_FDCWD, (src + f).c_str(), times, 0), 0);

  PackOptions options;
  options.sourceDir = src;
  options.outputPath = Path("kit");
  options.texts = {{u"en", u"P", u"V", u"a"}, {u"ru", u"П", u"", u""}};
  PackPlan plan;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(PlanKit(
      options, [&](const std::string& m) { warnings.push_back(m); }, &plan, &error))
      << error;
  EXPECT_TRUE(warnings.empty());

  // The test builder is an independent writer of the same layout.
  const std::string expected = KitBuilder()
                                   .AddDescription(u"en", u"P", u"V", u"a")
                                   .AddDescription(u"ru", u"П", u"", u"")
                                   .AddFile(u"a", "aaaa", 130000000000000000ull)
                                   .AddFile(u"d\\b", "", 130000000000000000ull)
                                   .AddFile(u"d\\z", "zz", 130000000000000000ull)
                                   .BuildHeader();
  EXPECT_TRUE(plan.header == expected);
  EXPECT_EQ(plan.containerSize, expected.size() + 6);

  ASSERT_TRUE(WritePlannedKit(options, plan, &error)) << error;
  ASSERT_EQ(DecompressKit(W(Path("kit")), W(Path("unpacked"))), 0u);
  EXPECT_TRUE(ReadBytes(Path("unpacked")) == expected + "aaaazz");
  struct stat st {};
  ASSERT_EQ(stat(Path("kit").c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
}

TEST_F(KitPackerTest, FilesChangedAfterPlanningFailTheWrite) {
  const std::string src = Path("src");
  std::filesystem::create_directories(src);
  WriteBytes(src + "/f", "original");
  PackOptions options;
  options.sourceDir = src;
  options.outputPath = Path("kit");
  PackPlan plan;
  std::string error;
  ASSERT_TRUE(PlanKit(
      options, [](const std::string&) {}, &plan, &error));

  WriteBytes(src + "/f", "longer than before");
  EXPECT_FALSE(WritePlannedKit(options, plan, &error));
  EXPECT_NE(error.find("changed while"), std::string::npos) << error;
  std::filesystem::remove(src + "/f");
  EXPECT_FALSE(WritePlannedKit(options, plan, &error));
  // Neither the kit nor a temporary file is left.
  EXPECT_EQ(ListDirectory(dir_->path()).size(), 2u);
}

}  // namespace
}  // namespace ordx::kittest
