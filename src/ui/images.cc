// Pixbufs from the compiled-in XPM pictures.
#include "ui/images.h"

#include "ui/art/icon.xpm.h"
#include "ui/art/side_image.xpm.h"

namespace ordx {

GdkPixbuf* LoadIcon() { return gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(kIconXpm)); }

GdkPixbuf* LoadSideImage() {
  return gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(kSideImageXpm));
}

}  // namespace ordx
