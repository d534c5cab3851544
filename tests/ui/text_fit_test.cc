// Every translation fits its widget under the common desktops' default
// fonts: on every page, in every language, each label (page texts, button
// and check box captions) is measured against the space GTK gave it.
// Captions may shrink, not below 8 pt; no text may run into another, be cut
// short with "…", or wrap where it must stay on one line.
#include <gtk/gtk.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "page_tour.h"
#include "support/gui_test_support.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/text_fit.h"

namespace ordx {
namespace {

void CollectLabels(GtkWidget* widget, std::vector<GtkWidget*>* out) {
  if (!gtk_widget_get_mapped(widget)) return;
  if (GTK_IS_LABEL(widget)) out->push_back(widget);
  if (!GTK_IS_CONTAINER(widget)) return;
  gtk_container_forall(GTK_CONTAINER(widget), [](GtkWidget* child, gpointer data) {
    CollectLabels(child, static_cast<std::vector<GtkWidget*>*>(data));
  }, out);
}

// Reports each misfit of the window's texts; returns how many were measured.
int CheckWindow(GtkWidget* window, const std::string& where, std::ostream& report) {
  std::vector<GtkWidget*> labels;
  CollectLabels(window, &labels);
  std::vector<GdkRectangle> inks;
  for (GtkWidget* label : labels) {
    const std::string shown = gtk_label_get_text(GTK_LABEL(label));
    const auto misfit = [&](const std::string& what) { report << where << ": \"" << shown << "\" " << what << "\n"; };
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
    GtkAllocation a;
    gtk_widget_get_allocation(label, &a);
    PangoRectangle units;
    pango_layout_get_extents(layout, nullptr, &units);
    gint xpad = 0, ypad = 0;
    gtk_misc_get_padding(GTK_MISC(label), &xpad, &ypad);
    // Rounded as GTK rounds the label's own request.
    if (PANGO_PIXELS(units.width) > a.width - 2 * xpad) misfit("is too wide");
    if (PANGO_PIXELS(units.height) > a.height - 2 * ypad) misfit("is too high");
    gchar* tip = gtk_widget_get_tooltip_text(label);
    if (tip != nullptr) misfit("is cut short");
    g_free(tip);
    GtkWidget* parent = gtk_widget_get_parent(label);
    const int size = pango_font_description_get_size(gtk_widget_get_style(label)->font_desc);
    if (GTK_IS_BUTTON(parent) && size < kSmallestCaptionSize) misfit("is drawn below 8 pt");
    if (GTK_IS_CHECK_BUTTON(parent) && pango_layout_get_line_count(layout) > 1) misfit("wraps");
    const GdkRectangle ink = {a.x, a.y, PANGO_PIXELS(units.width), PANGO_PIXELS(units.height)};
    for (const GdkRectangle& other : inks) {
      if (gdk_rectangle_intersect(&ink, &other, nullptr)) misfit("runs into another text");
    }
    inks.push_back(ink);
  }
  return static_cast<int>(labels.size());
}

TEST(TextFit, EveryTranslationFitsOnEveryPageUnderEveryDesktopFont) {
  ORDX_REQUIRE_DISPLAY();
  std::ostringstream report;
  int checked = 0, pages = 0;
  for (const guitest::FontSetup& setup : guitest::DesktopFonts()) {
    guitest::UseFont(setup.font);
    for (const std::int32_t id : LanguageIds()) {
      SetLanguage(id);
      const NarrowString code = LanguageCode(id);
      guitest::TourPages(ToWide(code).c_str(), [&](const std::string& page, CInstallerDlg& dialog) {
        ++pages;
        checked += CheckWindow(dialog.window(), std::string(setup.name) + " " + code.c_str() + "/" + page, report);
      });
    }
  }
  guitest::UseFont("Sans 10");
  SetLanguage(kEnglishLanguageId);
  // Five pages per language and font, each with texts to measure.
  EXPECT_EQ(pages, static_cast<int>(LanguageIds().size() * guitest::DesktopFonts().size()) * 5);
  EXPECT_GE(checked, pages * 3);
  EXPECT_EQ(report.str(), "") << "texts that do not fit";
}

}  // namespace
}  // namespace ordx
