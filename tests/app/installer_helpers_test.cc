// Path rules of the installer dialog that need no window: the description
// document's path, ".." detection and line breaks in a typed directory.
#include <gtest/gtest.h>

#include "app/installer_dlg.h"

namespace ordx {
namespace {

TEST(DescriptionPath, JoinsWithExactlyOneSeparator) {
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t/", u"docs\\a.html"), WideString(u"/srv/t/docs/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t", u"docs\\a.html"), WideString(u"/srv/t/docs/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"C:\\t\\", u"a.html"), WideString(u"C:/t/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t", u"\\a.html"), WideString(u"/srv/t/a.html"));
}

TEST(DescriptionPath, EmptyDescriptionIsTheDirectoryItself) {
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t/", u""), WideString(u"/srv/t/"));
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t", u""), WideString(u"/srv/t"));
  EXPECT_EQ(JoinDescriptionPath(u"", u"a\\b"), WideString(u"a/b"));
}

TEST(DescriptionPath, ParentComponentsAreFoundWithEitherSeparator) {
  EXPECT_TRUE(HasParentComponent(u".."));
  EXPECT_TRUE(HasParentComponent(u"..\\x.html"));
  EXPECT_TRUE(HasParentComponent(u"docs/../../x.html"));
  EXPECT_TRUE(HasParentComponent(u"docs\\.."));
  EXPECT_FALSE(HasParentComponent(u""));
  EXPECT_FALSE(HasParentComponent(u"docs\\..x\\a.html"));
  EXPECT_FALSE(HasParentComponent(u"docs/x..\\a.html"));
  EXPECT_FALSE(HasParentComponent(u".\\.html"));
  EXPECT_FALSE(HasParentComponent(u"..."));
}

TEST(TypedDirectory, LineBreaksAreDetected) {
  EXPECT_TRUE(HasLineBreak(u"/srv/t\n"));
  EXPECT_TRUE(HasLineBreak(u"\r/srv/t"));
  EXPECT_TRUE(HasLineBreak(u"/srv\r\n/t"));
  EXPECT_FALSE(HasLineBreak(u"/srv/t"));
  EXPECT_FALSE(HasLineBreak(u"   "));
  EXPECT_FALSE(HasLineBreak(u""));
}

}  // namespace
}  // namespace ordx
