// The page tour.
#include "page_tour.h"

#include "fs/file_layer.h"
#include "support/gui_test_support.h"
#include "support/installer_harness.h"

namespace ordx::guitest {
namespace {

void Click(GtkWidget* button) { Press(button); }

// One wizard to its end: held at the last file for the progress page, or
// failing there for the error page.
void Tour(const char16_t* languageCode, bool fail, const PageVisitor& visit) {
  Sandbox sandbox;
  WriteStandardKit(sandbox.kitPath(), languageCode);
  Gate gate;
  SetFaultHook([&gate, fail](FileOp op, const WideString& path) -> ErrorCode {
    if (!IsLastFile(op, path)) return 0;
    if (fail) return kErrorInvalidParameter;
    gate.Wait();
    return 0;
  });
  {
    std::unique_ptr<CInstallerDlg> dialog = NewDialog(false, languageCode);
    if (OpenWizard(dialog.get())) {
      Pump();
      if (!fail) visit("1-welcome", *dialog);
      Click(dialog->nextButton());
      Pump();
      if (!fail) visit("2-directory", *dialog);
      DialogAnswerer answerer;
      answerer.Plan(GTK_RESPONSE_OK);
      // Visit once the worker waits at the gate and the loop has had a pass
      // to show the progress posted before it.
      bool settled = false;
      std::function<void()> atProgress = [&] {
        if (!gate.reached || !settled) {
          settled = gate.reached;
          answerer.Later(atProgress);
          return;
        }
        Pump();
        visit("3-progress", *dialog);
        gate.open = true;
      };
      if (!fail) answerer.Later(atProgress);
      Click(dialog->nextButton());
      Pump();
      visit(fail ? "5-error" : "4-success", *dialog);
    }
    gate.open = true;
  }
  SetFaultHook({});
}

}  // namespace

void TourPages(const char16_t* languageCode, const PageVisitor& visit) {
  Tour(languageCode, false, visit);
  Tour(languageCode, true, visit);
}

}  // namespace ordx::guitest
