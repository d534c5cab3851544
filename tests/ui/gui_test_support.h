// Helpers for window tests under Xvfb: skipping without a display, pumping
// the GTK main loop, synthesising key and close events, and answering modal
// dialogs from a timer while recording what they showed.
#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ordx::guitest {

// True when GTK can open the display named by DISPLAY.
bool DisplayAvailable();
#define ORDX_REQUIRE_DISPLAY() \
  if (!::ordx::guitest::DisplayAvailable()) GTEST_SKIP() << "needs an X display (Xvfb)"

// Handles every pending event, resize and redraw.
void Pump();
// Deliver a key press / the window manager's close request through GTK.
void SendKey(GtkWidget* window, guint keyval);
void SendDelete(GtkWidget* window);
// Text of a label, or of a button's label.
std::string LabelText(GtkWidget* widget);
inline bool IsVisible(GtkWidget* w) { return gtk_widget_get_visible(w) != FALSE; }
inline bool IsSensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w) != FALSE; }

// What a modal dialog showed when it was answered.
struct ShownDialog {
  std::string text;
  std::string title;
  GtkMessageType type = GTK_MESSAGE_OTHER;
};

// While alive, answers each modal dialog that appears with the next planned
// response (GTK_RESPONSE_DELETE_EVENT once the plan is used up) and records
// it; runs queued actions inside whatever loop runs (the progress loop too).
class DialogAnswerer {
 public:
  DialogAnswerer();
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  void Plan(gint response) { plan_.push_back(response); }
  void Later(std::function<void()> action) { actions_.push_back(std::move(action)); }
  const std::vector<ShownDialog>& shown() const { return shown_; }

 private:
  static gboolean Tick(gpointer self);

  guint source_ = 0;
  std::deque<gint> plan_;
  std::deque<std::function<void()>> actions_;
  std::vector<ShownDialog> shown_;
};

}  // namespace ordx::guitest
