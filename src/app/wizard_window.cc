// The wizard window: its fixed geometry, the separator and the Back, Next
// and Cancel buttons, the key and close handlers and the cancel question.
#include <gdk/gdkkeysyms.h>

#include "app/installer_dlg.h"
#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"
#include "ui/images.h"

namespace ordx {
namespace {

// The wizard's buttons are 80 pixels wide in every language. The theme's
// padding around a button's label (inner border, focus padding, the frame
// reserved for the default button) would leave only 68 of them to the text;
// without it the longer translations fit.
constexpr char kButtonStyle[] =
    "style \"ordx-wizard-button\" {\n"
    "  GtkButton::inner-border = { 0, 0, 0, 0 }\n"
    "  GtkButton::default-border = { 0, 0, 0, 0 }\n"
    "  GtkWidget::focus-padding = 0\n"
    "}\n"
    "widget \"*.ordx-wizard-button\" style \"ordx-wizard-button\"\n";

GtkWidget* NewButton(GtkWidget* fixed, const char* key, int x, int y) {
  static const bool styled = (gtk_rc_parse_string(kButtonStyle), true);
  (void)styled;
  GtkWidget* button = gtk_button_new_with_label(ToUtf8(LoadString(key)).c_str());
  gtk_widget_set_name(button, "ordx-wizard-button");
  gtk_widget_set_size_request(button, 80, 30);
  gtk_fixed_put(GTK_FIXED(fixed), button, x, y);
  return button;
}

void BackClicked(GtkWidget*, gpointer self) { static_cast<CInstallerDlg*>(self)->OnBackClicked(); }
void NextClicked(GtkWidget*, gpointer self) { static_cast<CInstallerDlg*>(self)->OnNextClicked(); }
void CancelClicked(GtkWidget*, gpointer self) {
  static_cast<CInstallerDlg*>(self)->OnCancelClicked();
}

gboolean KeyPressed(GtkWidget*, GdkEventKey* event, gpointer self) {
  if (self == nullptr) return FALSE;
  return static_cast<CInstallerDlg*>(self)->OnKeyPress(event->keyval) ? TRUE : FALSE;
}

gboolean DeleteRequested(GtkWidget*, GdkEvent*, gpointer self) {
  return static_cast<CInstallerDlg*>(self)->OnDeleteRequest() ? TRUE : FALSE;
}

}  // namespace

void CInstallerDlg::CreateMainWindow() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);

  GdkGeometry hints = {};
  hints.min_width = hints.max_width = hints.base_width = width_;
  hints.min_height = hints.max_height = hints.base_height = height_;
  hints.win_gravity = GDK_GRAVITY_NORTH_WEST;
  gtk_window_set_geometry_hints(
      GTK_WINDOW(window_), window_, &hints,
      static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE | GDK_HINT_BASE_SIZE));
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_MENU);

  icon_ = LoadIcon();
  gtk_window_set_icon(GTK_WINDOW(window_), icon_);

  fixed_ = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window_), fixed_);

  g_signal_connect(window_, "destroy", G_CALLBACK(OnWindowDestroyed), this);
  g_signal_connect(window_, "key_press_event", G_CALLBACK(KeyPressed), this);
  g_signal_connect(window_, "delete_event", G_CALLBACK(DeleteRequested), this);
  gtk_window_set_title(GTK_WINDOW(window_), title_.c_str());

  GtkWidget* separator = gtk_hseparator_new();
  gtk_widget_set_size_request(separator, width_ - 20, 5);
  gtk_fixed_put(GTK_FIXED(fixed_), separator, 10, 310);

  backButton_ = NewButton(fixed_, "IDS_WIZARD_BACK", 230, 320);
  nextButton_ = NewButton(fixed_, "IDS_WIZARD_NEXT", 310, 320);
  cancelButton_ = NewButton(fixed_, "IDS_WIZARD_CANCEL", 410, 320);
  gtk_widget_set_can_default(nextButton_, TRUE);
  gtk_widget_grab_default(nextButton_);

  g_signal_connect(backButton_, "clicked", G_CALLBACK(BackClicked), this);
  g_signal_connect(nextButton_, "clicked", G_CALLBACK(NextClicked), this);
  g_signal_connect(cancelButton_, "clicked", G_CALLBACK(CancelClicked), this);

  gtk_widget_show_all(fixed_);
  sideImage_ = LoadSideImage();
  gtk_widget_show(window_);
}

void CInstallerDlg::OnWindowDestroyed(GtkWidget* /*widget*/, gpointer self) {
  auto* dlg = static_cast<CInstallerDlg*>(self);
  // The widgets are gone: nothing may touch them from here on.
  dlg->window_ = nullptr;
  dlg->fixed_ = nullptr;
  dlg->backButton_ = dlg->nextButton_ = dlg->cancelButton_ = nullptr;
  dlg->currentPage_ = nullptr;
  if (gtk_main_level() > 0) gtk_main_quit();
}

void CInstallerDlg::DestroyWindow() {
  if (window_ != nullptr) gtk_widget_destroy(window_);
}

void CInstallerDlg::OnBackClicked() {
  if (pageId_ == kPageDirectory) ShowWelcomePage();
}

void CInstallerDlg::OnNextClicked() {
  switch (pageId_) {
    case kPageWelcome:
      ShowDirSelectPage();
      break;
    case kPageDirectory:
      AcceptDirectory();
      break;
    case kPageSuccess:
    case kPageError:
      Finish();
      break;
    default:
      break;
  }
}

void CInstallerDlg::OnCancelClicked() {
  if (pageId_ == kPageProgress) {
    // The copy runs to its end; no further run starts.
    workerThread_.Stop();
    return;
  }
  ConfirmCancel();
}

bool CInstallerDlg::OnKeyPress(guint keyval) {
  if (keyval != GDK_Escape) return false;
  if (pageId_ == kPageProgress) {
    // The progress loop runs in this window: closing it now would pull the
    // widgets out from under the loop. Escape acts as Cancel does here.
    OnCancelClicked();
    return true;
  }
  ConfirmCancel();
  return true;
}

bool CInstallerDlg::OnDeleteRequest() {
  if (pageId_ != kPageProgress) return false;  // closes without a question
  OnCancelClicked();
  return true;
}

void CInstallerDlg::ConfirmCancel() {
  if (confirmCancel_ &&
      ShowMessage(LoadString("IDS_ACCEPT_CANCEL"), kMbQuestionYesNo) != kIdYes) {
    return;
  }
  DestroyWindow();
}

}  // namespace ordx
