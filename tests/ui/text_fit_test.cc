// Every translation fits its widget: on every page, in every language, each
// label's and button's text is measured with Pango against the space GTK
// gave it, and nothing may stick out of the window or run into the buttons.
#include <gtk/gtk.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "page_tour.h"
#include "text/convert.h"
#include "text/string_table.h"

namespace ordx {
namespace {

constexpr int kWindowWidth = 500;
constexpr int kSeparatorY = 310;

// Checks one label (a page text, or the caption of a button); appends a line
// per misfit to `report`.
void CheckLabel(GtkWidget* label, bool pageText, const std::string& where, std::ostream& report) {
  GtkAllocation a;
  gtk_widget_get_allocation(label, &a);
  PangoRectangle units;
  pango_layout_get_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &units);
  gint xpad = 0, ypad = 0;
  gtk_misc_get_padding(GTK_MISC(label), &xpad, &ypad);
  auto check = [&](const char* what, int needed, int available) {
    if (needed <= available) return;
    report << where << " (" << what << "): \"" << gtk_label_get_text(GTK_LABEL(label))
           << "\" needs " << needed << " px, has " << available << "\n";
  };
  // Pango units rounded as GTK rounds them for the label's own request.
  check("width", PANGO_PIXELS(units.width), a.width - 2 * xpad);
  check("height", PANGO_PIXELS(units.height), a.height - 2 * ypad);
  check("window edge", a.x + a.width, kWindowWidth);
  if (pageText) check("separator", a.y + a.height, kSeparatorY);
}

TEST(TextFit, EveryTranslationFitsOnEveryPage) {
  ORDX_REQUIRE_DISPLAY();
  std::ostringstream report;
  int checked = 0;
  int pages = 0;
  for (const std::int32_t id : LanguageIds()) {
    SetLanguage(id);
    const NarrowString code = LanguageCode(id);
    const WideString wideCode = ToWide(code);
    guitest::TourPages(wideCode.c_str(), [&](const std::string& page, CInstallerDlg& dialog) {
      ++pages;
      const std::string where = std::string(code.c_str()) + "/" + page;
      GList* children =
          gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(dialog.window()))));
      for (GList* item = children; item != nullptr; item = item->next) {
        GtkWidget* child = GTK_WIDGET(item->data);
        // A button's caption is measured within the button.
        GtkWidget* label = GTK_IS_BUTTON(child) ? gtk_bin_get_child(GTK_BIN(child)) : child;
        if (!gtk_widget_get_visible(child) || !GTK_IS_LABEL(label)) continue;
        CheckLabel(label, label == child, where, report);
        ++checked;
      }
      g_list_free(children);
    });
  }
  SetLanguage(kEnglishLanguageId);
  // Five pages per language, and every page has texts to measure.
  EXPECT_EQ(pages, static_cast<int>(LanguageIds().size()) * 5);
  EXPECT_GE(checked, pages * 3);
  EXPECT_EQ(report.str(), "") << "texts that do not fit";
}

}  // namespace
}  // namespace ordx
