// Every translation fits its widget: on every page, in every language, each
// label's and button's text is measured with Pango against the space GTK
// gave it, and nothing may stick out of the window or run into the buttons.
#include <gtk/gtk.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "page_tour.h"
#include "text/convert.h"
#include "text/string_table.h"

namespace ordx {
namespace {

constexpr int kWindowWidth = 500;
constexpr int kSeparatorY = 310;

struct Misfit {
  std::string where;
  std::string text;
  int needed;
  int available;
};

class FitChecker {
 public:
  explicit FitChecker(std::string page) : page_(std::move(page)) {}

  void CheckContainer(GtkWidget* fixed) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
    for (GList* item = children; item != nullptr; item = item->next) {
      GtkWidget* child = GTK_WIDGET(item->data);
      if (!gtk_widget_get_visible(child)) continue;
      if (GTK_IS_LABEL(child)) {
        CheckLabel(child, /*pageText=*/true);
      } else if (GTK_IS_BUTTON(child)) {
        CheckButton(child);
      }
    }
    g_list_free(children);
  }

  const std::vector<Misfit>& misfits() const { return misfits_; }
  int checked() const { return checked_; }

 private:
  void CheckLabel(GtkWidget* label, bool pageText) {
    ++checked_;
    GtkAllocation a;
    gtk_widget_get_allocation(label, &a);
    // Pango units rounded as GTK rounds them for the label's own request.
    PangoRectangle units;
    pango_layout_get_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &units);
    const PangoRectangle logical = {0, 0, PANGO_PIXELS(units.width), PANGO_PIXELS(units.height)};
    const std::string text = gtk_label_get_text(GTK_LABEL(label));
    gint xpad = 0, ypad = 0;
    gtk_misc_get_padding(GTK_MISC(label), &xpad, &ypad);
    if (logical.width > a.width - 2 * xpad) Add("width", text, logical.width, a.width - 2 * xpad);
    if (logical.height > a.height - 2 * ypad) {
      Add("height", text, logical.height, a.height - 2 * ypad);
    }
    // Inside the window, and page texts above the separator.
    if (a.x + a.width > kWindowWidth) Add("window edge", text, a.x + a.width, kWindowWidth);
    if (pageText && a.y + a.height > kSeparatorY) {
      Add("separator", text, a.y + a.height, kSeparatorY);
    }
  }

  void CheckButton(GtkWidget* button) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    if (child == nullptr || !GTK_IS_LABEL(child)) return;
    CheckLabel(child, /*pageText=*/false);
    GtkAllocation a;
    gtk_widget_get_allocation(button, &a);
    if (a.x + a.width > kWindowWidth) {
      Add("window edge", gtk_label_get_text(GTK_LABEL(child)), a.x + a.width, kWindowWidth);
    }
  }

  void Add(const char* what, const std::string& text, int needed, int available) {
    misfits_.push_back({page_ + " (" + what + ")", text, needed, available});
  }

  std::string page_;
  std::vector<Misfit> misfits_;
  int checked_ = 0;
};

TEST(TextFit, EveryTranslationFitsOnEveryPage) {
  ORDX_REQUIRE_DISPLAY();
  std::vector<std::string> report;
  int checked = 0;
  int pages = 0;
  for (const std::int32_t id : LanguageIds()) {
    SetLanguage(id);
    const NarrowString code = LanguageCode(id);
    const WideString wideCode = ToWide(code);
    guitest::TourPages(wideCode.c_str(), [&](const std::string& page, CInstallerDlg& dialog) {
      ++pages;
      FitChecker checker(std::string(code.c_str()) + "/" + page);
      checker.CheckContainer(gtk_bin_get_child(GTK_BIN(dialog.window())));
      checked += checker.checked();
      for (const Misfit& m : checker.misfits()) {
        std::ostringstream line;
        line << m.where << ": \"" << m.text << "\" needs " << m.needed << " px, has "
             << m.available;
        report.push_back(line.str());
      }
    });
  }
  SetLanguage(kEnglishLanguageId);
  // Five pages per language, and every page has texts to measure.
  EXPECT_EQ(pages, static_cast<int>(LanguageIds().size()) * 5);
  EXPECT_GE(checked, pages * 3);
  std::ostringstream all;
  for (const std::string& line : report) all << line << "\n";
  EXPECT_TRUE(report.empty()) << report.size() << " texts do not fit:\n" << all.str();
}

}  // namespace
}  // namespace ordx
