// ordx_screenshots OUTDIR [CODE...]: saves every wizard page in every
// language (or the given ones) as OUTDIR/<code>-<n>-<page>.png.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "page_tour.h"
#include "text/convert.h"
#include "text/string_table.h"

int main(int argc, char** argv) {
  using namespace ordx;
  if (argc < 2 || !guitest::DisplayAvailable()) {
    std::fprintf(stderr, "usage: ordx_screenshots OUTDIR [CODE...] (needs an X display)\n");
    return 2;
  }
  // Keep the pointer off the pages so that nothing is drawn highlighted.
  gdk_display_warp_pointer(gdk_display_get_default(), gdk_screen_get_default(), 0, 0);
  const std::vector<std::string> wanted(argv + 2, argv + argc);
  int saved = 0, failed = 0;
  for (const std::int32_t id : LanguageIds()) {
    const std::string code = LanguageCode(id).c_str();
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), code) == wanted.end()) continue;
    // Two table rows may share a code; the first one is the language.
    if (LookupLanguageCode(code.c_str()) != id) continue;
    SetLanguage(id);
    const WideString wideCode = ToWide(NarrowString(code.c_str()));
    guitest::TourPages(wideCode.c_str(), [&](const std::string& page, CInstallerDlg& dialog) {
      guitest::Pump();
      const std::string path = std::string(argv[1]) + "/" + code + "-" + page + ".png";
      GtkAllocation a;
      gtk_widget_get_allocation(dialog.window(), &a);
      GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(
          nullptr, gtk_widget_get_window(dialog.window()), nullptr, 0, 0, 0, 0, a.width, a.height);
      if (shot != nullptr && gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr)) {
        ++saved;
      } else {
        ++failed;
        std::fprintf(stderr, "could not save %s\n", path.c_str());
      }
      if (shot != nullptr) g_object_unref(shot);
    });
  }
  std::printf("%d screenshots in %s\n", saved, argv[1]);
  return failed == 0 && saved > 0 ? 0 : 1;
}
