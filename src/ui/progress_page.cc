// ProgressPage.
#include "ui/progress_page.h"

#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"

namespace ordx {

ProgressPage::ProgressPage(GtkWidget* container, int barWidth) : WizardDialogPage(container) {
  statusLabel_ = gtk_label_new(nullptr);
  Put(statusLabel_, 10, 130);
  progressBar_ = gtk_progress_bar_new();
  gtk_widget_set_size_request(progressBar_, barWidth, 20);
  Put(progressBar_, 10, 150);
  startText_ = ToUtf8(LoadString("IDS_PROGRESS_START"));
  finishText_ = ToUtf8(LoadString("IDS_INSTALL_FINISH"));
  gtk_label_set_text(GTK_LABEL(statusLabel_), startText_.c_str());
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progressBar_), 0.0);
}

void ProgressPage::SetProgress(int percent) {
  gtk_label_set_text(GTK_LABEL(statusLabel_),
                     percent == 100 ? finishText_.c_str() : startText_.c_str());
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progressBar_), percent / 100.0);
}

}  // namespace ordx
