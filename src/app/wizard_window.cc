// The wizard window: its fixed geometry, the separator and the Back, Next
// and Cancel buttons, the key and close handlers and the cancel question.
#include <gdk/gdkkeysyms.h>

#include "app/installer_dlg.h"
#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"
#include "ui/images.h"
#include "ui/wizard_button.h"

namespace ordx {
namespace {

GtkWidget* NewButton(GtkWidget* fixed, const char* key, int x, int y) {
  GtkWidget* button = NewWizardButton(ToUtf8(LoadString(key)).c_str());
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

  if (icon_ == nullptr) icon_ = LoadIcon();
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
    ConfirmCancelCopy();
    return;
  }
  ConfirmCancel();
}

bool CInstallerDlg::OnKeyPress(guint keyval) {
  if (keyval != GDK_Escape) return false;
  // On the progress page the window stays: the progress loop runs in it and
  // ends on the worker's result.
  pageId_ == kPageProgress ? ConfirmCancelCopy() : ConfirmCancel();
  return true;
}

bool CInstallerDlg::OnDeleteRequest() {
  if (pageId_ != kPageProgress) return false;  // closes without a question
  ConfirmCancelCopy();
  return true;
}

void CInstallerDlg::ConfirmCancelCopy() {
  // One question at a time, and none once the cancel is on its way.
  if (cancelAsked_ || cancelRequested_) return;
  cancelAsked_ = true;
  const int answer = ShowMessage(LoadString("IDS_ACCEPT_CANCEL"), kMbQuestionYesNo);
  cancelAsked_ = false;
  // The copy may have ended while the question was open.
  if (answer != kIdYes || pageId_ != kPageProgress) return;
  cancelRequested_ = true;
  installState_.SetCancel(true);
  if (cancelButton_ != nullptr) gtk_widget_set_sensitive(cancelButton_, FALSE);
}

void CInstallerDlg::ConfirmCancel() {
  if (ShowMessage(LoadString("IDS_ACCEPT_CANCEL"), kMbQuestionYesNo) != kIdYes) return;
  DestroyWindow();
}

}  // namespace ordx
