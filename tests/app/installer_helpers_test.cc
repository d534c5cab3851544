// Path rules of the installer dialog that need no window: the description
// document's path, ".." detection and line breaks in a typed directory.
#include <gtest/gtest.h>

#include "app/installer_dlg.h"
#include "text/convert.h"

namespace ordx {
namespace {

TEST(InstallerPaths, DescriptionPathParentComponentsAndLineBreaks) {
  // One separator between directory and description, slashes throughout; no
  // description leaves the directory itself.
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t/", u"docs\\a.html"), WideString(u"/srv/t/docs/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"C:\\t", u"\\a.html"), WideString(u"C:/t/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t", u""), WideString(u"/srv/t"));
  for (const char16_t* path : {u"..", u"..\\x.html", u"docs/../../x.html", u"docs\\.."}) {
    EXPECT_TRUE(HasParentComponent(path)) << ToNarrow(WideString(path)).c_str();
  }
  for (const char16_t* path : {u"", u"docs\\..x\\a.html", u"docs/x..\\a.html", u"...", u".\\."}) {
    EXPECT_FALSE(HasParentComponent(path)) << ToNarrow(WideString(path)).c_str();
  }
  for (const char16_t* text : {u"/srv/t\n", u"\r/srv/t"}) EXPECT_TRUE(HasLineBreak(text));
  EXPECT_FALSE(HasLineBreak(u"  /srv/t "));
}

}  // namespace
}  // namespace ordx
