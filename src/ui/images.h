// The two pictures built into the installer: the window icon (256 x 256,
// transparent background) and the side picture of the text pages (158 x 286).
// Both are XPM data drawn by art/draw_images.py.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace ordx {

inline constexpr int kIconSize = 256;
inline constexpr int kSideImageWidth = 158;
inline constexpr int kSideImageHeight = 286;

// Each returns a new pixbuf owned by the caller.
GdkPixbuf* LoadIcon();
GdkPixbuf* LoadSideImage();

}  // namespace ordx
