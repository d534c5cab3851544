// The wizard's parts outside the page flow: message box flags and results
// and the compiled-in pictures (no display needed), and the GTK message box,
// which shows its text literally with its owner's title. The console
// presenter is checked through the headless binary's standard error.
#include <string>

#include <gtest/gtest.h>

#include "support/gui_test_support.h"
#include "ui/images.h"
#include "ui/message_box.h"
#include "ui/presenter.h"

namespace ordx {
namespace {

TEST(MessageBoxFlags, TypeFromTopByteButtonsFromLowByte) {
  struct Case {
    std::uint32_t flags;
    GtkMessageType type;
    GtkButtonsType buttons;
  };
  // Bits 8 to 23 are ignored; unknown types are plain, unknown buttons OK.
  for (const Case& c : {Case{kMbErrorOk, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK},
                        Case{kMbQuestionYesNo, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO},
                        Case{kMbPlainOk, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK},
                        Case{0x03000001u, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK},
                        Case{0x01FFFF02u, GTK_MESSAGE_ERROR, GTK_BUTTONS_YES_NO},
                        Case{0x00010003u, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK}}) {
    EXPECT_EQ(MessageTypeForFlags(c.flags), c.type) << std::hex << c.flags;
    EXPECT_EQ(ButtonsForFlags(c.flags), c.buttons) << std::hex << c.flags;
  }
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_YES), kIdYes);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_NO), kIdNo);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_OK), kIdOk);
  for (const gint other :
       {GTK_RESPONSE_CANCEL, GTK_RESPONSE_CLOSE, GTK_RESPONSE_DELETE_EVENT, GTK_RESPONSE_NONE}) {
    EXPECT_EQ(ResultForResponse(other), kIdNone) << other;
  }
}

TEST(MessageBox, ShowsTextLiterallyWithOwnerTitle) {
  ORDX_REQUIRE_DISPLAY();
  struct : CWnd {
    WideString GetTitle() const override { return u"Installing configuration"; }
  } const owner;
  guitest::DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  EXPECT_EQ(MessageBox(&owner, u"50% done %s %d", kMbErrorOk), kIdOk);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "50% done %s %d");
  EXPECT_EQ(answerer.shown()[0].title, "Installing configuration");
}

TEST(Images, PicturesHaveTheirSizesAndTheIconATransparentBackground) {
  GdkPixbuf* side = LoadSideImage();
  ASSERT_NE(side, nullptr);
  EXPECT_EQ(std::make_pair(gdk_pixbuf_get_width(side), gdk_pixbuf_get_height(side)),
            std::make_pair(kSideImageWidth, kSideImageHeight));
  g_object_unref(side);
  GdkPixbuf* icon = LoadIcon();
  ASSERT_NE(icon, nullptr);
  ASSERT_TRUE(gdk_pixbuf_get_width(icon) == kIconSize);
  ASSERT_TRUE(gdk_pixbuf_get_height(icon) == kIconSize);
  ASSERT_TRUE(gdk_pixbuf_get_has_alpha(icon));
  const auto alpha = [icon](int x, int y) {
    return gdk_pixbuf_get_pixels(icon)[y * gdk_pixbuf_get_rowstride(icon) + x * 4 + 3];
  };
  EXPECT_EQ(alpha(0, 0) + alpha(255, 0) + alpha(0, 255) + alpha(255, 255), 0);
  EXPECT_EQ(alpha(128, 128), 255);
  g_object_unref(icon);
}

}  // namespace
}  // namespace ordx
