// The window driver.
#include "window_driver.h"

#include <cstdio>
#include <cstdlib>

namespace ordx::guitest {
namespace {

// Translated texts must survive the trip to GTK: a UTF-8 locale, set before
// anything converts text.
struct Utf8Locale {
  Utf8Locale() { setenv("LC_ALL", "C.UTF-8", 1); }
} const utf8Locale;

// Set from other files' static initialisers: constructed on first use.
FailureReporter& Reporter() {
  static FailureReporter reporter;
  return reporter;
}
int g_failures = 0;

void Send(GdkEvent* event, GtkWidget* window) {
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  gdk_event_free(event);
}

}  // namespace

// Sanitized builds: fontconfig and Pango keep caches and threads inside
// uninstrumented libraries, and GTK's folder chooser loses a file name when
// destroyed (our frame is seen only with a full unwind).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:ordx::DirSelectPage::OnBrowse\n";
}
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\nrace:libpango-1.0.so\nrace:libpangoft2-1.0.so\n";
}

void SetFailureReporter(FailureReporter report) { Reporter() = std::move(report); }

void ReportFailure(const std::string& what) {
  if (Reporter()) return Reporter()(what);
  ++g_failures;
  std::fprintf(stderr, "window driver: %s\n", what.c_str());
}

int FailureCount() { return g_failures; }

bool DisplayAvailable() {
  const char* display = std::getenv("DISPLAY");
  static const bool available = display != nullptr && *display != '\0' && gtk_init_check(nullptr, nullptr);
  return available;
}

void Pump() {
  for (int round = 0; round < 3; ++round) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_window_process_all_updates();
    gdk_flush();
  }
}

void SendKey(GtkWidget* window, guint keyval) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.keyval = keyval;
  // Key bindings (Tab, Enter) are looked up by the hardware key.
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count) && count > 0) {
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    event->key.group = static_cast<guint8>(keys[0].group);
  }
  g_free(keys);
  Send(event, window);
}

void SendDelete(GtkWidget* window) { Send(gdk_event_new(GDK_DELETE), window); }

const std::vector<FontSetup>& DesktopFonts() {
  static const std::vector<FontSetup> fonts = {
      {"dejavu", "DejaVu Sans 10"}, {"noto", "Noto Sans 10"}, {"cantarell", "Cantarell 11"}};
  return fonts;
}

void UseFont(const char* font) {
  gtk_settings_set_string_property(gtk_settings_get_default(), "gtk-font-name", font, "ordx-test");
}

bool Press(GtkWidget* button) {
  if (!gtk_widget_is_sensitive(button) || !gtk_widget_get_mapped(button)) return false;
  gtk_button_clicked(GTK_BUTTON(button));
  return true;
}

std::string LabelText(GtkWidget* widget) {
  const gchar* text = GTK_IS_LABEL(widget) ? gtk_label_get_text(GTK_LABEL(widget))
                                           : gtk_button_get_label(GTK_BUTTON(widget));
  return text != nullptr ? text : "";
}

DialogAnswerer::DialogAnswerer() {
  // An action may open a modal dialog itself: the tick must run again inside
  // that dialog's loop to answer it.
  GSource* source = g_timeout_source_new(10);
  g_source_set_callback(source, Tick, this, nullptr);
  g_source_set_can_recurse(source, TRUE);
  source_ = g_source_attach(source, nullptr);
  g_source_unref(source);
}

DialogAnswerer::~DialogAnswerer() { g_source_remove(source_); }

gboolean DialogAnswerer::Tick(gpointer data) {
  auto* self = static_cast<DialogAnswerer*>(data);
  if (self->actions_.empty()) return self->AnswerDialog() || TRUE;
  Pending& next = self->actions_.front();
  const gint64 now = g_get_monotonic_time();
  if (next.since == 0) next.since = now;
  const bool late = now - next.since > 10 * G_USEC_PER_SEC;
  if (!next.ready() && !late) return TRUE;
  if (late) ReportFailure("a queued action waited ten seconds for its moment");
  std::function<void()> action = std::move(next.action);
  self->actions_.pop_front();
  action();
  return TRUE;
}

bool DialogAnswerer::AnswerDialog() {
  GList* toplevels = gtk_window_list_toplevels();
  GtkWidget* dialog = nullptr;
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (GTK_IS_DIALOG(window) && gtk_widget_get_mapped(window) &&
        g_object_get_data(G_OBJECT(window), "ordx-answered") == nullptr) {
      dialog = window;
    }
  }
  g_list_free(toplevels);
  if (dialog == nullptr) return false;
  if (inspect_) {
    if (dialog != waiting_) waitingSince_ = g_get_monotonic_time();
    waiting_ = dialog;
    if (!inspect_(dialog)) {
      if (g_get_monotonic_time() - waitingSince_ < 5 * G_USEC_PER_SEC) return false;
      ReportFailure("the dialog never became ready to answer");
    }
  }
  g_object_set_data(G_OBJECT(dialog), "ordx-answered", dialog);
  ShownDialog shown;
  const gchar* title = gtk_window_get_title(GTK_WINDOW(dialog));
  shown.title = title != nullptr ? title : "";
  gchar* text = nullptr;
  if (GTK_IS_MESSAGE_DIALOG(dialog)) g_object_get(dialog, "text", &text, "message-type", &shown.type, nullptr);
  shown.text = text != nullptr ? text : "";
  g_free(text);
  shown_.push_back(shown);
  const gint response = plan_.empty() ? GTK_RESPONSE_DELETE_EVENT : plan_.front();
  if (!plan_.empty()) plan_.pop_front();
  gtk_dialog_response(GTK_DIALOG(dialog), response);
  return true;
}

}  // namespace ordx::guitest
