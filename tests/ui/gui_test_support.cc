// Window test helpers.
#include "gui_test_support.h"

#include <cstdlib>

namespace ordx::guitest {
namespace {

// Every translated text must survive the trip to GTK: run the tests under a
// UTF-8 locale, set before anything converts text.
struct Utf8Locale {
  Utf8Locale() { setenv("LC_ALL", "C.UTF-8", 1); }
} const utf8Locale;

constexpr guint kTickMilliseconds = 10;

}  // namespace

// LeakSanitizer asks for this in sanitized builds: fontconfig keeps caches
// for the life of the process that GTK never releases.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// ThreadSanitizer likewise: Pango loads the font configuration on a thread
// of its own, inside libraries built without the sanitizer.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\nrace:libpango-1.0.so\nrace:libpangoft2-1.0.so\n";
}

bool DisplayAvailable() {
  static const bool available = [] {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    // An X server that resets when its last client leaves refuses
    // connections for a moment: try again before giving up.
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (gtk_init_check(nullptr, nullptr)) return true;
      g_usleep(200 * 1000);
    }
    return false;
  }();
  return available;
}

void Pump() {
  for (int round = 0; round < 3; ++round) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_window_process_all_updates();
    gdk_flush();
  }
}

bool PumpUntil(const std::function<bool()>& done) {
  gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  const guint wake = g_timeout_add(5, [](gpointer) -> gboolean { return TRUE; }, nullptr);
  bool reached = done();
  while (!reached && g_get_monotonic_time() < deadline) {
    gtk_main_iteration_do(TRUE);
    reached = done();
  }
  g_source_remove(wake);
  return reached;
}

void SendKey(GtkWidget* window, guint keyval) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->key.send_event = TRUE;
  event->key.time = GDK_CURRENT_TIME;
  event->key.keyval = keyval;
  // GTK's key bindings (Return activating the default button) look keys up
  // by their hardware code.
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count) &&
      count > 0) {
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    event->key.group = static_cast<guint8>(keys[0].group);
  }
  g_free(keys);
  gtk_main_do_event(event);
  gdk_event_free(event);
}

void SendDelete(GtkWidget* window) {
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  gdk_event_free(event);
}

std::string LabelText(GtkWidget* widget) {
  if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
  if (GTK_IS_BUTTON(widget)) {
    const gchar* label = gtk_button_get_label(GTK_BUTTON(widget));
    return label != nullptr ? label : "";
  }
  return "";
}

bool IsVisible(GtkWidget* widget) { return gtk_widget_get_visible(widget) != FALSE; }
bool IsSensitive(GtkWidget* widget) { return gtk_widget_get_sensitive(widget) != FALSE; }

DialogAnswerer::DialogAnswerer() {
  // An action may itself open a modal dialog: the tick must run again
  // inside that dialog's loop to answer it.
  GSource* source = g_timeout_source_new(kTickMilliseconds);
  g_source_set_callback(source, Tick, this, nullptr);
  g_source_set_can_recurse(source, TRUE);
  source_ = g_source_attach(source, nullptr);
  g_source_unref(source);
}

DialogAnswerer::~DialogAnswerer() { g_source_remove(source_); }

gboolean DialogAnswerer::Tick(gpointer data) {
  auto* self = static_cast<DialogAnswerer*>(data);
  if (!self->actions_.empty()) {
    std::function<void()> action = std::move(self->actions_.front());
    self->actions_.pop_front();
    action();
    return TRUE;
  }
  if (self->pendingChooser_ != nullptr) {
    // A chosen folder becomes the chooser's answer once GTK has taken it.
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(self->pendingChooser_);
    gchar* chosen = gtk_file_chooser_get_filename(chooser);
    const bool ready = chosen != nullptr && self->pendingFolder_ == chosen;
    g_free(chosen);
    if (ready || ++self->pendingTicks_ > 500) {
      GtkWidget* dialog = self->pendingChooser_;
      self->pendingChooser_ = nullptr;
      gtk_dialog_response(GTK_DIALOG(dialog), self->pendingResponse_);
    }
    return TRUE;
  }
  GList* toplevels = gtk_window_list_toplevels();
  GtkWidget* dialog = nullptr;
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (!GTK_IS_DIALOG(window) || !gtk_widget_get_mapped(window)) continue;
    if (g_object_get_data(G_OBJECT(window), "ordx-answered") == nullptr) dialog = window;
  }
  g_list_free(toplevels);
  if (dialog != nullptr) self->AnswerDialog(dialog);
  return TRUE;
}

void DialogAnswerer::AnswerDialog(GtkWidget* dialog) {
  ShownDialog shown;
  const gchar* title = gtk_window_get_title(GTK_WINDOW(dialog));
  shown.title = title != nullptr ? title : "";
  if (GTK_IS_MESSAGE_DIALOG(dialog)) {
    shown.isMessage = true;
    gchar* text = nullptr;
    g_object_get(dialog, "text", &text, "message-type", &shown.type, nullptr);
    shown.text = text != nullptr ? text : "";
    g_free(text);
  }
  GList* buttons =
      gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(dialog))));
  for (GList* item = buttons; item != nullptr; item = item->next) {
    shown.responses.push_back(
        gtk_dialog_get_response_for_widget(GTK_DIALOG(dialog), GTK_WIDGET(item->data)));
  }
  g_list_free(buttons);
  shown_.push_back(shown);
  g_object_set_data(G_OBJECT(dialog), "ordx-answered", dialog);

  Answer answer{GTK_RESPONSE_DELETE_EVENT, {}, {}};
  if (!plan_.empty()) {
    answer = std::move(plan_.front());
    plan_.pop_front();
  }
  if (answer.before) answer.before();
  if (!answer.folder.empty() && GTK_IS_FILE_CHOOSER(dialog)) {
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), answer.folder.c_str());
    pendingChooser_ = dialog;
    pendingFolder_ = answer.folder;
    pendingResponse_ = answer.response;
    pendingTicks_ = 0;
    return;
  }
  gtk_dialog_response(GTK_DIALOG(dialog), answer.response);
}

}  // namespace ordx::guitest
