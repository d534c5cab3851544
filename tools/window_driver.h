// Drives the installer's windows under Xvfb for the window tests and the
// screenshot tool: events, and a timer that answers modal dialogs and records
// what they showed.
#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace ordx::guitest {

bool DisplayAvailable();  // GTK can open $DISPLAY

// A driver's failure: a queued action or a dialog that never came. By default
// printed and counted; the tests make each one a test failure.
using FailureReporter = std::function<void(const std::string& what)>;
void SetFailureReporter(FailureReporter report);
void ReportFailure(const std::string& what);
int FailureCount();  // failures reported while no reporter was set

void Pump();  // handles every pending event, resize and redraw
void SendKey(GtkWidget* window, guint keyval);
void SendDelete(GtkWidget* window);  // the window manager's close request

// The common desktops' default fonts: a short name, and as gtk-font-name takes it.
struct FontSetup { const char *name, *font; };
const std::vector<FontSetup>& DesktopFonts();
void UseFont(const char* font);  // for widgets built from now on

// Clicks the button only when a user could: mapped and sensitive.
bool Press(GtkWidget* button);
std::string LabelText(GtkWidget* label_or_button);

struct ShownDialog { std::string text, title; GtkMessageType type = GTK_MESSAGE_OTHER; };

// While alive, runs queued actions inside whatever loop runs, then answers each
// modal dialog with the next planned response (then GTK_RESPONSE_DELETE_EVENT).
class DialogAnswerer {
 public:
  DialogAnswerer();
  ~DialogAnswerer();

  void Plan(gint response) { plan_.push_back(response); }
  // Answers once `inspect` is true; after five seconds, reports and answers anyway.
  void Inspect(std::function<bool(GtkWidget* dialog)> inspect) { inspect_ = std::move(inspect); }
  void Later(std::function<void()> action) { When([] { return true; }, std::move(action)); }
  // Runs `action` once `ready` holds, in queue order; reports after ten seconds.
  void When(std::function<bool()> ready, std::function<void()> action) {
    actions_.push_back({std::move(ready), std::move(action), 0});
  }
  const std::vector<ShownDialog>& shown() const { return shown_; }

 private:
  static gboolean Tick(gpointer self);
  bool AnswerDialog();

  guint source_ = 0;
  std::deque<gint> plan_;
  std::function<bool(GtkWidget*)> inspect_;
  GtkWidget* waiting_ = nullptr;
  gint64 waitingSince_ = 0;
  struct Pending { std::function<bool()> ready; std::function<void()> action; gint64 since; };
  std::deque<Pending> actions_;
  std::vector<ShownDialog> shown_;
};

}  // namespace ordx::guitest
