// The compiled-in pictures decode to their sizes; the icon's background is
// transparent and its subject opaque; the side picture has no holes.
#include <gtest/gtest.h>

#include "ui/images.h"

namespace ordx {
namespace {

guchar AlphaAt(GdkPixbuf* pixbuf, int x, int y) {
  const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  return pixels[y * gdk_pixbuf_get_rowstride(pixbuf) + x * gdk_pixbuf_get_n_channels(pixbuf) + 3];
}

TEST(Images, IconIsSquareWithTransparentCornersAndOpaqueCentre) {
  GdkPixbuf* icon = LoadIcon();
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(icon), kIconSize);
  EXPECT_EQ(gdk_pixbuf_get_height(icon), kIconSize);
  ASSERT_TRUE(gdk_pixbuf_get_has_alpha(icon));
  EXPECT_EQ(AlphaAt(icon, 0, 0), 0);
  EXPECT_EQ(AlphaAt(icon, 255, 0), 0);
  EXPECT_EQ(AlphaAt(icon, 0, 255), 0);
  EXPECT_EQ(AlphaAt(icon, 255, 255), 0);
  EXPECT_EQ(AlphaAt(icon, 128, 128), 255);
  g_object_unref(icon);
}

TEST(Images, SidePictureIsOpaqueAtItsSize) {
  GdkPixbuf* side = LoadSideImage();
  ASSERT_NE(side, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(side), kSideImageWidth);
  EXPECT_EQ(gdk_pixbuf_get_height(side), kSideImageHeight);
  if (gdk_pixbuf_get_has_alpha(side)) {
    for (int y = 0; y < kSideImageHeight; y += 13) {
      for (int x = 0; x < kSideImageWidth; x += 7) ASSERT_EQ(AlphaAt(side, x, y), 255);
    }
  }
  g_object_unref(side);
}

}  // namespace
}  // namespace ordx
