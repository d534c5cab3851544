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
// The window becomes the active one, as when the window manager gives it
// the keyboard; GTK moves the focus with Tab only within an active window.
void SendFocusIn(GtkWidget* window);
// The desktops' default fonts the texts must fit under.
struct FontSetup {
  const char* name;  // short, for file names and reports
  const char* font;  // as gtk-font-name takes it
};
const std::vector<FontSetup>& DesktopFonts();
// Widgets built from now on use `font` (a Pango font name).
void UseFont(const char* font);

// Clicks the button as a user can: only when it is on screen and
// sensitive. Returns whether it was clicked.
bool Press(GtkWidget* button);

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
  // Called on each tick while a dialog waits to be answered; the dialog is
  // answered once it returns true, or after five seconds with a failure.
  void Inspect(std::function<bool(GtkWidget* dialog)> inspect) { inspect_ = std::move(inspect); }
  void Later(std::function<void()> action) { When([] { return true; }, std::move(action)); }
  // Runs `action` on the first tick at which `ready` holds, after the
  // actions queued before it; fails the test after ten seconds.
  void When(std::function<bool()> ready, std::function<void()> action) {
    actions_.push_back({std::move(ready), std::move(action), 0});
  }
  const std::vector<ShownDialog>& shown() const { return shown_; }

 private:
  static gboolean Tick(gpointer self);

  guint source_ = 0;
  std::deque<gint> plan_;
  std::function<bool(GtkWidget*)> inspect_;
  GtkWidget* waiting_ = nullptr;
  gint64 waitingSince_ = 0;
  struct Pending {
    std::function<bool()> ready;
    std::function<void()> action;
    gint64 since;
  };
  std::deque<Pending> actions_;
  std::vector<ShownDialog> shown_;
};

}  // namespace ordx::guitest
