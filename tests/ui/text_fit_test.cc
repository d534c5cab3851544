// Every translation fits its widget under the default fonts of the common
// desktops: on every page, in every language, each label's text (page texts
// and the captions of buttons and the check box) is measured with Pango
// against the space GTK gave it. Captions may shrink, but not below 8 pt;
// no text may run into another, be cut short with "…", or wrap where it must
// stay on one line.
#include <gtk/gtk.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/gui_test_support.h"
#include "page_tour.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/text_fit.h"

namespace ordx {
namespace {

struct Text {
  GtkWidget* label;
  GdkRectangle ink;  // where the text is drawn
};

void CollectTexts(GtkWidget* widget, std::vector<Text>* out) {
  if (!gtk_widget_get_mapped(widget)) return;
  if (GTK_IS_LABEL(widget)) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(widget)), nullptr, &logical);
    out->push_back({widget, {a.x, a.y, logical.width, logical.height}});
  }
  if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer data) { CollectTexts(child, static_cast<std::vector<Text>*>(data)); },
        out);
  }
}

// Appends a line per misfit of the window's texts to `report`; returns how
// many texts were measured.
int CheckWindow(GtkWidget* window, const std::string& where, std::ostream& report) {
  std::vector<Text> texts;
  CollectTexts(window, &texts);
  for (const Text& text : texts) {
    GtkWidget* label = text.label;
    const std::string shown = gtk_label_get_text(GTK_LABEL(label));
    const auto misfit = [&](const std::string& what) {
      report << where << ": \"" << shown << "\" " << what << "\n";
    };
    GtkAllocation a;
    gtk_widget_get_allocation(label, &a);
    PangoRectangle units;
    pango_layout_get_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &units);
    gint xpad = 0, ypad = 0;
    gtk_misc_get_padding(GTK_MISC(label), &xpad, &ypad);
    // Pango units rounded as GTK rounds them for the label's own request.
    const int width = PANGO_PIXELS(units.width), height = PANGO_PIXELS(units.height);
    if (width > a.width - 2 * xpad) {
      misfit("needs " + std::to_string(width) + " px, has " + std::to_string(a.width - 2 * xpad));
    }
    if (height > a.height - 2 * ypad) {
      misfit("needs " + std::to_string(height) + " px high, has " + std::to_string(a.height - 2 * ypad));
    }
    gchar* tip = gtk_widget_get_tooltip_text(label);
    if (tip != nullptr) misfit("is cut short");
    g_free(tip);
    GtkWidget* parent = gtk_widget_get_parent(label);
    const int size = pango_font_description_get_size(gtk_widget_get_style(label)->font_desc);
    if (GTK_IS_BUTTON(parent) && size < kSmallestCaptionSize) misfit("is drawn below 8 pt");
    if (GTK_IS_CHECK_BUTTON(parent) &&
        pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(label))) > 1) {
      PangoLayout* line = gtk_widget_create_pango_layout(label, shown.c_str());
      PangoRectangle one;
      pango_layout_get_pixel_extents(line, nullptr, &one);
      g_object_unref(line);
      misfit("wraps: needs " + std::to_string(one.width) + " px on one line, has " +
             std::to_string(a.width - 2 * xpad));
    }
    for (const Text& other : texts) {
      if (&other != &text && gdk_rectangle_intersect(&text.ink, &other.ink, nullptr) &&
          &other > &text) {
        misfit("runs into \"" + std::string(gtk_label_get_text(GTK_LABEL(other.label))) + "\"");
      }
    }
  }
  return static_cast<int>(texts.size());
}

TEST(TextFit, EveryTranslationFitsOnEveryPageUnderEveryDesktopFont) {
  ORDX_REQUIRE_DISPLAY();
  std::ostringstream report;
  int checked = 0;
  int pages = 0;
  for (const guitest::FontSetup& setup : guitest::DesktopFonts()) {
    guitest::UseFont(setup.font);
    for (const std::int32_t id : LanguageIds()) {
      SetLanguage(id);
      const NarrowString code = LanguageCode(id);
      const WideString wideCode = ToWide(code);
      guitest::TourPages(wideCode.c_str(), [&](const std::string& page, CInstallerDlg& dialog) {
        ++pages;
        const std::string where = std::string(setup.name) + " " + code.c_str() + "/" + page;
        checked += CheckWindow(dialog.window(), where, report);
      });
    }
  }
  guitest::UseFont("Sans 10");
  SetLanguage(kEnglishLanguageId);
  // Five pages per language and font, and every page has texts to measure.
  EXPECT_EQ(pages, static_cast<int>(LanguageIds().size() * guitest::DesktopFonts().size()) * 5);
  EXPECT_GE(checked, pages * 3);
  EXPECT_EQ(report.str(), "") << "texts that do not fit";
}

}  // namespace
}  // namespace ordx
