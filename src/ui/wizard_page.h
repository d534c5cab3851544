// WizardDialogPage: a set of widgets in the window's fixed container that
// are shown and hidden together. The concrete pages add their widgets in
// creation order.
#pragma once

#include <gtk/gtk.h>

#include <vector>

namespace ordx {

class WizardDialogPage {
 public:
  explicit WizardDialogPage(GtkWidget* container) : container_(container) {}
  virtual ~WizardDialogPage() = default;
  WizardDialogPage(const WizardDialogPage&) = delete;
  WizardDialogPage& operator=(const WizardDialogPage&) = delete;

  // Called each time the page becomes the current one.
  virtual void OnActivate() {}

  void AddWidget(GtkWidget* widget) { widgets_.push_back(widget); }
  // Show or hide every widget, in creation order.
  void Show();
  void Hide();
  const std::vector<GtkWidget*>& widgets() const { return widgets_; }

 protected:
  GtkWidget* container() const { return container_; }
  // Adds the widget to the page and places it in the container.
  void Put(GtkWidget* widget, int x, int y);

 private:
  GtkWidget* container_;
  std::vector<GtkWidget*> widgets_;
};

// The text column right of the side picture: its place and size, and the
// empty strip kept at its right so that no text touches the window's edge.
inline constexpr int kPageTextX = 170;
inline constexpr int kPageTextY = 10;
inline constexpr int kPageTextWidth = 330;
inline constexpr int kPageTextHeight = 250;
inline constexpr int kPageTextMargin = 8;

}  // namespace ordx
