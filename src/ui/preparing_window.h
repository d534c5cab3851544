// PreparingWindow: the small window shown while the kit is unpacked before
// the wizard opens, with a progress bar and a Cancel button. Cancel, Escape
// and the window's close button all ask the owner to stop.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "text/cow_string.h"

namespace ordx {

class PreparingWindow {
 public:
  // Builds and shows the window; `onCancel` runs (once) when the user asks
  // to stop.
  PreparingWindow(const WideString& title, GdkPixbuf* icon, std::function<void()> onCancel);
  ~PreparingWindow();
  PreparingWindow(const PreparingWindow&) = delete;
  PreparingWindow& operator=(const PreparingWindow&) = delete;

  // 0.0 to 1.0; a negative fraction means no known end, and the bar pulses.
  void SetFraction(double fraction);

  GtkWidget* window() const { return window_; }
  GtkWidget* progressBar() const { return progressBar_; }
  GtkWidget* cancelButton() const { return cancelButton_; }

 private:
  void Cancel();
  static void CancelClicked(GtkWidget* button, gpointer self);
  static gboolean KeyPressed(GtkWidget* window, GdkEventKey* event, gpointer self);
  static gboolean DeleteRequested(GtkWidget* window, GdkEvent* event, gpointer self);

  GtkWidget* window_;
  GtkWidget* progressBar_;
  GtkWidget* cancelButton_;
  std::function<void()> onCancel_;
  bool cancelled_ = false;
};

}  // namespace ordx
