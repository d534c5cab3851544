// PreparingWindow.
#include "ui/preparing_window.h"

#include <gdk/gdkkeysyms.h>

#include "text/string_table.h"
#include "text/utf8.h"
#include "ui/wizard_button.h"

namespace ordx {
namespace {

constexpr int kWidth = 340;
constexpr int kBorder = 12;

}  // namespace

PreparingWindow::PreparingWindow(const WideString& title, GdkPixbuf* icon,
                                 std::function<void()> onCancel)
    : onCancel_(std::move(onCancel)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), ToUtf8(title).c_str());
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  if (icon != nullptr) gtk_window_set_icon(GTK_WINDOW(window_), icon);
  gtk_container_set_border_width(GTK_CONTAINER(window_), kBorder);

  GtkWidget* box = gtk_vbox_new(FALSE, 8);
  gtk_container_add(GTK_CONTAINER(window_), box);
  GtkWidget* text = gtk_label_new(ToUtf8(LoadString("IDS_PREPARING")).c_str());
  gtk_misc_set_alignment(GTK_MISC(text), 0.0f, 0.5f);
  gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(text), PANGO_WRAP_WORD_CHAR);
  gtk_widget_set_size_request(text, kWidth - 2 * kBorder, -1);
  gtk_box_pack_start(GTK_BOX(box), text, FALSE, FALSE, 0);
  progressBar_ = gtk_progress_bar_new();
  gtk_widget_set_size_request(progressBar_, kWidth - 2 * kBorder, 20);
  gtk_box_pack_start(GTK_BOX(box), progressBar_, FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_hbutton_box_new();
  gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
  cancelButton_ = NewWizardButton(ToUtf8(LoadString("IDS_WIZARD_CANCEL")).c_str());
  gtk_container_add(GTK_CONTAINER(buttons), cancelButton_);
  gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

  g_signal_connect(cancelButton_, "clicked", G_CALLBACK(CancelClicked), this);
  g_signal_connect(window_, "key_press_event", G_CALLBACK(KeyPressed), this);
  g_signal_connect(window_, "delete_event", G_CALLBACK(DeleteRequested), this);
  gtk_widget_show_all(window_);
}

PreparingWindow::~PreparingWindow() { gtk_widget_destroy(window_); }

void PreparingWindow::SetFraction(double fraction) {
  if (fraction < 0.0) {
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(progressBar_));
  } else {
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progressBar_), fraction > 1.0 ? 1.0 : fraction);
  }
}

void PreparingWindow::Cancel() {
  if (cancelled_) return;
  cancelled_ = true;
  // Stopping may take a moment: the window goes at once, so the answer is
  // seen.
  gtk_widget_hide(window_);
  if (onCancel_) onCancel_();
}

void PreparingWindow::CancelClicked(GtkWidget* /*button*/, gpointer self) {
  static_cast<PreparingWindow*>(self)->Cancel();
}

gboolean PreparingWindow::KeyPressed(GtkWidget* /*window*/, GdkEventKey* event, gpointer self) {
  if (event->keyval != GDK_Escape) return FALSE;
  static_cast<PreparingWindow*>(self)->Cancel();
  return TRUE;
}

gboolean PreparingWindow::DeleteRequested(GtkWidget* /*window*/, GdkEvent* /*event*/,
                                          gpointer self) {
  static_cast<PreparingWindow*>(self)->Cancel();
  return TRUE;
}

}  // namespace ordx
