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

#define ORDX_REQUIRE_DISPLAY()                                                        \
  do {                                                                                \
    if (!::ordx::guitest::DisplayAvailable())                                         \
      GTEST_SKIP() << "needs an X display: DISPLAY is unset or cannot be opened "     \
                      "(CI runs these tests under Xvfb)";                             \
  } while (0)

// Handles every pending event, resize and redraw.
void Pump();

// Runs the main loop until `done` holds (true) or a generous limit passes
// (false). For waits on GTK's own timers, such as a button's activation.
bool PumpUntil(const std::function<bool()>& done);

// Delivers a key press to the toplevel `window` through GTK's dispatch.
void SendKey(GtkWidget* window, guint keyval);
// Delivers the window manager's close request to `window`.
void SendDelete(GtkWidget* window);

// Text of a label, or of the label inside a button.
std::string LabelText(GtkWidget* widget);
bool IsVisible(GtkWidget* widget);
bool IsSensitive(GtkWidget* widget);

// What a modal dialog showed when it was answered.
struct ShownDialog {
  bool isMessage = false;       // a GtkMessageDialog (else a file chooser)
  std::string text;             // message text
  std::string title;            // window title
  GtkMessageType type = GTK_MESSAGE_OTHER;
  std::vector<gint> responses;  // the responses its buttons give
};

// One planned answer: a response to emit, and for a folder chooser
// optionally the folder to choose before accepting.
struct Answer {
  gint response = GTK_RESPONSE_OK;
  std::string folder;
  // Runs on the main thread inside the dialog's loop before answering.
  std::function<void()> before;
};

// While alive, answers each modal dialog that appears with the next planned
// answer (GTK_RESPONSE_DELETE_EVENT once the plan is used up) and records
// it. Also runs queued actions from inside whatever loop is running, which
// lets a test act while the installer sits in its progress loop.
class DialogAnswerer {
 public:
  DialogAnswerer();
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  void Plan(Answer answer) { plan_.push_back(std::move(answer)); }
  void Plan(gint response) { plan_.push_back(Answer{response, {}, {}}); }
  // Runs `action` from the main loop at the next tick (in order).
  void Later(std::function<void()> action) { actions_.push_back(std::move(action)); }

  const std::vector<ShownDialog>& shown() const { return shown_; }
  bool planUsed() const { return plan_.empty(); }

 private:
  static gboolean Tick(gpointer self);
  void AnswerDialog(GtkWidget* dialog);

  guint source_ = 0;
  std::deque<Answer> plan_;
  std::deque<std::function<void()>> actions_;
  std::vector<ShownDialog> shown_;
  GtkWidget* pendingChooser_ = nullptr;
  std::string pendingFolder_;
  gint pendingResponse_ = GTK_RESPONSE_NONE;
  int pendingTicks_ = 0;
};

}  // namespace ordx::guitest
