// ProgressPage: a status line and a progress bar while files are copied.
#pragma once

#include "text/cow_string.h"
#include "ui/wizard_page.h"

namespace ordx {

class ProgressPage : public WizardDialogPage {
 public:
  ProgressPage(GtkWidget* container, int barWidth);
  // Exactly 100 shows the finish text, any other value the start text; the
  // bar shows percent / 100.
  void SetProgress(int percent);

  GtkWidget* statusLabel() const { return statusLabel_; }
  GtkWidget* progressBar() const { return progressBar_; }

 private:
  GtkWidget* statusLabel_;
  GtkWidget* progressBar_;
  NarrowString startText_;
  NarrowString finishText_;
};

}  // namespace ordx
