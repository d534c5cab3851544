// Rules of the installer dialog that need no window: the description
// document's path, ".." detection and line breaks in a typed directory, and
// how a failure's place and reason read in the box and on standard error.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/gtk_language.h"
#include "app/installer_dlg.h"
#include "engine/install_worker.h"
#include "support/deadline.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "text/utf8.h"
#include "ui/presenter.h"

namespace ordx {
namespace {

// GTK gets the chosen language; a program the installer starts gets the user's
// own LANGUAGE back, set or unset, and GTK's returns after it.
TEST(GtkLanguage, StartedProgramsSeeTheUsersLanguage) {
  for (const char* startup : {"de:fr", static_cast<const char*>(nullptr)}) {
    const int code = testsupport::ExitCodeInChild([startup] {
      if (startup != nullptr) setenv("LANGUAGE", startup, 1); else unsetenv("LANGUAGE");
      UseLanguageForGtk(u"zh");
      if (std::strcmp(std::getenv("LANGUAGE"), "zh_CN") != 0) return 1;
      {
        const StartupLanguageScope user;
        const char* seen = std::getenv("LANGUAGE");
        if ((seen == nullptr) != (startup == nullptr)) return 2;
        if (seen != nullptr && std::strcmp(seen, startup) != 0) return 3;
      }
      const char* after = std::getenv("LANGUAGE");
      return after != nullptr && std::strcmp(after, "zh_CN") == 0 ? 0 : 4;
    });
    EXPECT_EQ(code, 0) << (startup != nullptr ? startup : "unset");
  }
}

TEST(InstallerPaths, DescriptionPathParentComponentsAndLineBreaks) {
  // One separator between directory and description, slashes throughout; no
  // description leaves the directory itself.
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t/", u"docs\\a.html"), WideString(u"/srv/t/docs/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"C:\\t", u"\\a.html"), WideString(u"C:/t/a.html"));
  EXPECT_EQ(JoinDescriptionPath(u"/srv/t", u""), WideString(u"/srv/t"));
  for (const auto& [path, parent] : {std::pair{u"..", true}, {u"..\\x.html", true},
           {u"docs/../../x.html", true}, {u"docs\\..", true}, {u"", false}, {u"docs\\..x\\a.html", false},
           {u"docs/x..\\a.html", false}, {u"...", false}, {u".\\.", false}}) {
    EXPECT_EQ(HasParentComponent(path), parent) << ToNarrow(WideString(path)).c_str();
  }
  for (const auto& [text, breaks] : {std::pair{u"/srv/t\n", true}, {u"\r/srv/t", true}, {u"  /srv/t ", false}}) {
    EXPECT_EQ(HasLineBreak(text), breaks);
  }
}

// The place is relative where it lies inside the template directory (as
// typed or as resolved), the transaction is the directory's own; odd
// characters cannot break the line or the quotes, on screen or on stderr.
TEST(FailureText, PlaceReasonAndQuoting) {
  SetLanguage(kEnglishLanguageId);
  struct Case {
    const char16_t* path;  // as the file layer recorded it
    int error;
    ErrorCode code;
    std::string place, reason;  // UTF-8, as shown
  };
  const Case cases[] = {
      {u"/t/tpl/a b/c.txt", ENOSPC, 87, "a b/c.txt", "No space left on the device."},
      {u"/real/tpl/sub", EACCES, 87, "sub", "Permission denied."},
      {u"/t/tpl/.ordx-transaction/journal", EROFS, 87, "/t/tpl", "The file system is read-only."},
      {u"/t/tplx/f", EIO, 87, "/t/tplx/f", "Input/output error"},
      {u"q\"\\\n\x01\u202E.txt", 0, kErrorHandleEof, "q\\\"\\\\\\n\\x01\\u202E.txt",
       "The distribution kit ends too early."},
      {u"d\u00e9j\u00e0", 0, kErrorOutsideTree, "d\xC3\xA9j\xC3\xA0", "A link leads outside the template directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.place);
    const WideString text = ComposeFailureText(LoadString("IDS_INSTALL_ERROR"),
        FailurePlace(c.path, u"/t/tpl/", u"/real/tpl"), FailureReason(c.code, c.error));
    EXPECT_EQ(ToUtf8(text), NarrowString(("Installation error\n" + c.place + "\n" + c.reason).c_str()));
    EXPECT_EQ(ConsoleLine(text),
              ToNarrow(FromUtf8(NarrowString(("Installation error \"" + c.place + "\": " + c.reason).c_str()))));
  }
}

}  // namespace
}  // namespace ordx
