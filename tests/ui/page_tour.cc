// The page tour.
#include "page_tour.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "engine/file_layer.h"
#include "gui_test_support.h"
#include "installer_harness.h"
#include "kit/kit_builder.h"

namespace ordx::guitest {
namespace {

std::string TourKit(const char16_t* languageCode) {
  kittest::KitBuilder builder;
  builder.AddDescription(languageCode, u"Trade Lite 2.1.4", u"Northwind Software",
                         u"TradeLite\\2.1.4\\docs\\readme.html");
  for (const KitFile& file : StandardKitFiles()) builder.AddFile(file.name, file.bytes);
  return builder.Build();
}

bool IsLastFile(FileOp op, const WideString& path) {
  return op == FileOp::kCreateFile && path.ends_with(std::u16string_view(u"TradeLite.cfg"));
}

// Holds the worker before the kit's last file.
struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
  bool open = false;
  std::atomic<bool> reached{false};
  void Wait() {
    reached = true;
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [this] { return open; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    cv.notify_all();
  }
};

void Click(GtkWidget* button) { gtk_button_clicked(GTK_BUTTON(button)); }

void TourSuccess(const char16_t* languageCode, const PageVisitor& visit) {
  Sandbox sandbox;
  kittest::WriteKit(sandbox.kitPath(), TourKit(languageCode));
  Gate gate;
  SetFaultHook([&gate](FileOp op, const WideString& path) -> ErrorCode {
    if (IsLastFile(op, path)) gate.Wait();
    return 0;
  });
  {
    std::unique_ptr<CInstallerDlg> dialog = NewDialog(false, languageCode);
    dialog->SetOpener([](const NarrowString&) {});
    if (OpenWizard(dialog.get())) {
      Pump();
      visit("1-welcome", *dialog);
      Click(dialog->nextButton());
      Pump();
      visit("2-directory", *dialog);

      DialogAnswerer answerer;
      // Visit once the worker waits at the gate and the loop has read the
      // progress it posted before.
      bool settled = false;
      std::function<void()> atProgress = [&] {
        if (!gate.reached || !settled) {
          settled = gate.reached;
          answerer.Later(atProgress);
          return;
        }
        Pump();
        visit("3-progress", *dialog);
        gate.Open();
      };
      answerer.Later(atProgress);
      Click(dialog->nextButton());
      Pump();
      visit("4-success", *dialog);
    }
    gate.Open();
  }
  SetFaultHook({});
}

void TourFailure(const char16_t* languageCode, const PageVisitor& visit) {
  Sandbox sandbox;
  kittest::WriteKit(sandbox.kitPath(), TourKit(languageCode));
  SetFaultHook([](FileOp op, const WideString& path) -> ErrorCode {
    return IsLastFile(op, path) ? kErrorInvalidParameter : 0;
  });
  {
    std::unique_ptr<CInstallerDlg> dialog = NewDialog(false, languageCode);
    if (OpenWizard(dialog.get())) {
      DialogAnswerer answerer;
      answerer.Plan(GTK_RESPONSE_OK);
      Click(dialog->nextButton());
      Click(dialog->nextButton());
      Pump();
      visit("5-error", *dialog);
    }
  }
  SetFaultHook({});
}

}  // namespace

void TourPages(const char16_t* languageCode, const PageVisitor& visit) {
  TourSuccess(languageCode, visit);
  TourFailure(languageCode, visit);
}

}  // namespace ordx::guitest
