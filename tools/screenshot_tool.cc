// ordx_screenshots OUTDIR [CODE...]: saves every wizard page, the message
// boxes and the preparing window in every language (or the given ones) and
// under each desktop font as OUTDIR/<font>-<code>-<name>.png.
#include <gtk/gtk.h>
#include <libintl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/gtk_language.h"
#include "page_tour.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/message_box.h"
#include "ui/preparing_window.h"
#include "window_driver.h"

namespace {

int saved = 0, failed = 0;

// `settle`: run the main loop first; not from inside a dialog's answerer,
// which that loop would enter again.
void Save(GtkWidget* window, const std::string& path, bool settle = true) {
  if (settle) ordx::guitest::Pump();
  gdk_window_process_updates(gtk_widget_get_window(window), TRUE);
  gdk_flush();
  GtkAllocation a;
  gtk_widget_get_allocation(window, &a);
  GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(window), nullptr,
                                                 0, 0, 0, 0, a.width, a.height);
  if (shot != nullptr && gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr)) {
    ++saved;
  } else {
    ++failed;
    std::fprintf(stderr, "could not save %s\n", path.c_str());
  }
  if (shot != nullptr) g_object_unref(shot);
}

// A message box as the wizard shows it, saved once it is drawn.
void SaveMessageBox(const char* key, std::uint32_t flags, const std::string& path) {
  struct : ordx::CWnd {
    ordx::WideString GetTitle() const override { return ordx::LoadString("IDR_MAINFRAME"); }
  } const owner;
  ordx::guitest::DialogAnswerer answerer;
  answerer.Inspect([&](GtkWidget* dialog) {
    if (!gtk_widget_get_mapped(dialog)) return false;
    Save(dialog, path, false);
    return true;
  });
  ordx::MessageBox(&owner, ordx::LoadString(key), flags);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ordx;
  if (argc < 2 || !guitest::DisplayAvailable()) {
    std::fprintf(stderr, "usage: ordx_screenshots OUTDIR [CODE...] (needs an X display)\n");
    return 2;
  }
  // Keep the pointer off the pages so that nothing is drawn highlighted.
  gdk_display_warp_pointer(gdk_display_get_default(), gdk_screen_get_default(), 0, 0);
  const std::vector<std::string> wanted(argv + 2, argv + argc);
  for (const guitest::FontSetup& setup : guitest::DesktopFonts()) {
    guitest::UseFont(setup.font);
    for (const std::int32_t id : LanguageIds()) {
      const std::string code = LanguageCode(id).c_str();
      if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), code) == wanted.end()) {
        continue;
      }
      // Two table rows may share a code; the first one is the language.
      if (LookupLanguageCode(code.c_str()) != id) continue;
      SetLanguage(id);
      // GTK's own buttons in the language, as the installer starts them;
      // gettext forgets what it translated only when told.
      UseLanguageForGtk(ToWide(NarrowString(code.c_str())));
      textdomain(textdomain(nullptr));
      const std::string prefix = std::string(argv[1]) + "/" + setup.name + "-" + code + "-";
      const WideString wideCode = ToWide(NarrowString(code.c_str()));
      guitest::TourPages(wideCode.c_str(), [&](const std::string& page, CInstallerDlg& dialog) {
        Save(dialog.window(), prefix + page + ".png");
      });
      SaveMessageBox("IDS_ACCEPT_CANCEL", kMbQuestionYesNo, prefix + "box-cancel.png");
      SaveMessageBox("IDS_INSTALL_ERROR", kMbErrorOk, prefix + "box-error.png");
      SaveMessageBox("IDS_SETUP_EMPTYTARGET", kMbPlainOk, prefix + "box-emptytarget.png");
      SaveMessageBox("IDS_ERROR_DAMAGEDSOURCE", kMbErrorOk, prefix + "box-damaged.png");
      {
        PreparingWindow preparing(LoadString("IDR_MAINFRAME"), nullptr, [] {});
        preparing.SetFraction(0.4);
        Save(preparing.window(), prefix + "0-preparing.png");
      }
    }
  }
  std::printf("%d screenshots in %s\n", saved, argv[1]);
  return failed == 0 && saved > 0 && guitest::FailureCount() == 0 ? 0 : 1;
}
