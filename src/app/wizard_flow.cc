// The wizard's page flow: welcome, directory, progress with its polling
// loop, the final pages, the registration of the target directory and
// Finish with the description document.
#include "app/installer_dlg.h"

#include "app/cancel_signals.h"
#include "fs/file_layer.h"
#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"

namespace ordx {
namespace {

// The progress loop blocks in gtk_main_iteration; this timer wakes it often
// enough to follow the worker without spinning when no event arrives.
constexpr guint kWakeMilliseconds = 50;

gboolean KeepWaking(gpointer) { return TRUE; }

}  // namespace

WideString CInstallerDlg::ComposeWelcomeText() const {
  WideString product;
  WideString vendor;
  kit_.GetProductInfo(languageCode_, &product, &vendor);
  if (product.empty()) product = LoadString("IDS_DEFPRODUCT");
  if (vendor.empty()) vendor = LoadString("IDS_DEFPROVIDER");
  return LoadString("IDS_WELCOME_TITLE") + u" " + product + u" (" + vendor + u").";
}

void CInstallerDlg::SetActivePage(WizardDialogPage* page) {
  if (currentPage_ != nullptr) currentPage_->Hide();
  currentPage_ = page;
  if (page == nullptr) return;
  // Tab follows the screen: the page's fields from the top, then the
  // buttons from the left.
  GList* chain = nullptr;
  for (GtkWidget* widget : page->widgets()) {
    if (gtk_widget_get_can_focus(widget)) chain = g_list_append(chain, widget);
  }
  for (GtkWidget* button : {backButton_, nextButton_, cancelButton_}) {
    chain = g_list_append(chain, button);
  }
  gtk_container_set_focus_chain(GTK_CONTAINER(fixed_), chain);
  g_list_free(chain);
  page->Show();
  page->OnActivate();
}

void CInstallerDlg::ShowWelcomePage() {
  const WideString text = ComposeWelcomeText();
  if (!welcomePage_) welcomePage_ = std::make_unique<MessagePage>(fixed_, sideImage_, text);
  if (silent_) {
    gtk_widget_hide(backButton_);
    gtk_widget_hide(nextButton_);
  } else {
    gtk_widget_set_sensitive(backButton_, FALSE);
  }
  pageId_ = kPageWelcome;
  SetActivePage(welcomePage_.get());
}

void CInstallerDlg::ShowDirSelectPage() {
  pageId_ = kPageDirectory;
  if (!dirPage_) {
    dirPage_ = std::make_unique<DirSelectPage>(fixed_, sideImage_);
    dirPage_->SetStartFolder([](const WideString& typed) {
      return ToNarrow(NearestExistingDirectory(ExpandHome(typed)));
    });
  }
  dirPage_->SetDirectory(targetDir_);
  gtk_widget_set_sensitive(backButton_, TRUE);
  gtk_widget_set_sensitive(nextButton_, TRUE);
  SetActivePage(dirPage_.get());
}

void CInstallerDlg::AcceptDirectory() {
  WideString directory = dirPage_->GetDirectory();
  ReplaceAll(directory, u"\\", u"/");
  // A line break would split the starter file's line when the directory is
  // registered; such a text is no usable directory.
  if (directory.empty() || HasLineBreak(directory)) {
    ShowMessage(LoadString("IDS_SETUP_EMPTYTARGET"), kMbPlainOk);
    return;
  }
  targetDir_ = ExpandHome(directory);
  // Busy, or an interrupted run that cannot be undone: stay on this page.
  if (!TakeTarget()) return;
  StartInstall();
}

void CInstallerDlg::StartInstall() {
  if (!progressPage_) progressPage_ = std::make_unique<ProgressPage>(fixed_, width_ - 20);
  gtk_widget_set_sensitive(backButton_, FALSE);
  gtk_widget_set_sensitive(nextButton_, FALSE);
  SetActivePage(progressPage_.get());
  pageId_ = kPageProgress;
  BeginInstallation();

  ErrorCode result = 0;
  WideString text;
  std::uint32_t percent = 0;
  std::int32_t shown = -1;
  const guint wake = g_timeout_add(kWakeMilliseconds, KeepWaking, nullptr);
  for (;;) {
    if (CancelRequested()) installState_.SetCancel(true);
    installState_.Read(&result, &text, &percent);
    const std::int32_t now = static_cast<std::int32_t>(percent);
    if (window_ != nullptr && now != shown) {
      progressPage_->SetProgress(now);
      shown = now;
    }
    if (result != 0 || now >= 100) break;
    gtk_main_iteration();
  }
  g_source_remove(wake);
  EndInstallation();

  if (result != 0) {
    target_.reset();
    // A signal rolled the run back: the window closes without a question.
    if (result == kErrorCancelled && CancelRequested()) {
      DestroyWindow();
      return;
    }
    // A cancelled copy that was rolled back completely is no failure to
    // report; anything else, a rollback that left files behind included, is.
    const bool cancelled = result == kErrorCancelled && text == LoadString("IDS_CANCEL_FINISH");
    // Files that could not be put back make "has not been changed" untrue:
    // the page keeps the worker's word on where they are.
    const WideString notRestoredText = LoadString("IDS_ERROR_NOTRESTORED");
    const bool notRestored = !notRestoredText.empty() && text.starts_with(notRestoredText.view());
    if (!cancelled) ShowMessage(text, kMbErrorOk);
    if (window_ != nullptr) {
      ShowErrorPage(cancelled || notRestored ? text : LoadString("IDS_ERROR_FINISH"));
    }
    return;
  }
  if (!RegisterTarget()) ShowMessage(LoadString("IDS_ERROR_NOTREGISTERED"), kMbErrorOk);
  if (window_ != nullptr) ShowSuccessPage();
}

void CInstallerDlg::ShowSuccessPage() {
  pageId_ = kPageSuccess;
  if (!successPage_) {
    successPage_ =
        std::make_unique<SuccessFinalPage>(fixed_, sideImage_, LoadString("IDS_SUCCESS_FINISH"));
  }
  SetupFinalButtons();
  SetActivePage(successPage_.get());
}

void CInstallerDlg::ShowErrorPage() { ShowErrorPage(LoadString("IDS_ERROR_FINISH")); }

void CInstallerDlg::ShowErrorPage(const WideString& text) {
  if (!errorPage_) {
    errorPage_ = std::make_unique<MessagePage>(fixed_, sideImage_, text);
  } else {
    errorPage_->SetText(text);
  }
  pageId_ = kPageError;
  SetupFinalButtons();
  SetActivePage(errorPage_.get());
}

void CInstallerDlg::SetupFinalButtons() {
  gtk_widget_set_sensitive(nextButton_, TRUE);
  gtk_widget_set_sensitive(cancelButton_, FALSE);
  gtk_widget_hide(backButton_);
  gtk_widget_show(nextButton_);
  gtk_button_set_label(GTK_BUTTON(nextButton_), ToUtf8(LoadString("IDS_WIZARD_FINISH")).c_str());
  gtk_widget_set_can_default(nextButton_, TRUE);
  gtk_widget_grab_default(nextButton_);
  gtk_widget_grab_focus(nextButton_);
}

void CInstallerDlg::Finish() {
  if (pageId_ == kPageSuccess && successPage_ && successPage_->IsOpenDescriptionChecked()) {
    const WideString description = kit_.GetDescriptionPath(languageCode_);
    // The document must lie inside the template directory.
    if (!HasParentComponent(description)) {
      const WideString path = JoinDescriptionPath(targetDir_, description);
      if (PathExists(path) && opener_) opener_(ToNarrow(path));
    }
  }
  DestroyWindow();
}

}  // namespace ordx
