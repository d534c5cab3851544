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

namespace {

bool Save(GtkWidget* window, const std::string& path) {
  ordx::guitest::Pump();
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  gdk_window_process_updates(gdkWindow, TRUE);
  gdk_flush();
  GtkAllocation a;
  gtk_widget_get_allocation(window, &a);
  GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gdkWindow, nullptr, 0, 0, 0, 0,
                                                 a.width, a.height);
  if (shot == nullptr) return false;
  const bool saved = gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr) != FALSE;
  g_object_unref(shot);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ordx_screenshots OUTDIR [CODE...]\n");
    return 2;
  }
  if (!ordx::guitest::DisplayAvailable()) {
    std::fprintf(stderr, "ordx_screenshots: needs an X display\n");
    return 2;
  }
  // Keep the pointer off the pages so that nothing is drawn highlighted.
  gdk_display_warp_pointer(gdk_display_get_default(), gdk_screen_get_default(), 0, 0);
  const std::string outDir = argv[1];
  std::vector<std::string> wanted(argv + 2, argv + argc);
  int saved = 0;
  int failed = 0;
  for (const std::int32_t id : ordx::LanguageIds()) {
    const std::string code = ordx::LanguageCode(id).c_str();
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), code) == wanted.end()) continue;
    // Two table rows may share a code; the first one is the language.
    if (ordx::LookupLanguageCode(code.c_str()) != id) continue;
    ordx::SetLanguage(id);
    const ordx::WideString wideCode = ordx::ToWide(ordx::NarrowString(code.c_str()));
    ordx::guitest::TourPages(wideCode.c_str(),
                             [&](const std::string& page, ordx::CInstallerDlg& dialog) {
                               const std::string path = outDir + "/" + code + "-" + page + ".png";
                               if (Save(dialog.window(), path)) {
                                 ++saved;
                               } else {
                                 ++failed;
                                 std::fprintf(stderr, "could not save %s\n", path.c_str());
                               }
                             });
  }
  std::printf("%d screenshots in %s\n", saved, outDir.c_str());
  return failed == 0 && saved > 0 ? 0 : 1;
}
