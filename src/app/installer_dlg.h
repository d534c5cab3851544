// CInstallerDlg: the installer dialog. It owns everything of one run (the
// kit, the state shared with the install worker, the template locations, the
// window with its buttons and pages) and drives the wizard from the
// pre-flight checks to the final page. Without a display a silent run
// installs headless and reports through standard error and its exit status.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "config/template_locations.h"
#include "engine/install_state.h"
#include "engine/install_target.h"
#include "engine/worker_thread.h"
#include "kit/kit_reader.h"
#include "text/cow_string.h"
#include "ui/cwnd.h"
#include "ui/dir_select_page.h"
#include "ui/message_page.h"
#include "ui/preparing_window.h"
#include "ui/presenter.h"
#include "ui/progress_page.h"

namespace ordx {

// Page identifiers held in pageId.
inline constexpr int kPageNone = 0;
inline constexpr int kPageWelcome = 1;
inline constexpr int kPageDirectory = 2;
inline constexpr int kPageProgress = 3;
inline constexpr int kPageSuccess = 4;
inline constexpr int kPageError = 5;

// Exit statuses of a silent run without a display; every other run ends 0.
inline constexpr int kExitInstalled = 0;
inline constexpr int kExitPreparationFailed = 1;
inline constexpr int kExitInstallFailed = 2;
inline constexpr int kExitCancelled = 3;
// Installed, but the starter configuration could not be updated.
inline constexpr int kExitNotRegistered = 4;
// Failed, and some saved files stayed in the transaction directory.
inline constexpr int kExitNotRestored = 5;
// An interactive run that finds no display.
inline constexpr int kExitNoDisplay = 1;

class CInstallerDlg : public CWnd {
 public:
  // Opens the description document; receives the path as one argument.
  using Opener = std::function<void(const NarrowString& path)>;
  // Starts the install worker on the state; 0 or an error number.
  using WorkerStarter = std::function<int(InstallState* state)>;

  // Initialises GTK (when a display can be opened) with the dialog's own
  // argc/argv, so GTK's options are taken out before anything reads them.
  CInstallerDlg(int argc, char** argv, bool silent, NarrowString title, WideString languageCode,
                bool useCwd);
  // Waits for a running installation, closes the window if it is still
  // there, and lets the kit reader delete its unpacked copy.
  ~CInstallerDlg() override;
  CInstallerDlg(const CInstallerDlg&) = delete;
  CInstallerDlg& operator=(const CInstallerDlg&) = delete;

  WideString GetTitle() const override;

  // Runs once: pre-flight checks, then the wizard (interactive), the
  // installation with a window (silent) or without one (silent, headless).
  void Run();
  // The process exit status the run asks for.
  int exitStatus() const { return exitStatus_; }

  // Pre-flight: finds and opens the kit, proposes the target directory,
  // checks temporary space. False after its one error message.
  bool Prepare();
  // "ordx.dkt" beside the program (or in the working directory with
  // usecwd); empty when that directory cannot be determined.
  WideString GetKitPath() const;

  // --- Window and wizard operations (called by Run and the handlers).
  void CreateMainWindow();
  void ShowWelcomePage();
  void ShowDirSelectPage();
  void ShowSuccessPage();
  // The error page with `text`: by default the failure text.
  void ShowErrorPage();
  void ShowErrorPage(const WideString& text);
  void AcceptDirectory();
  // Takes the target directory for the installation (a relative one made
  // absolute first): locks it, undoes an interrupted run there, and checks
  // that its file system has room for what the kit will write. False, after
  // its message, when the installation must not start (busy, a transaction
  // that cannot be undone, or too little room); nothing is changed then.
  bool TakeTarget();
  void StartInstall();
  void SetupFinalButtons();
  void Finish();
  void ConfirmCancel();
  // Cancel during the copy: asks, and on Yes has the worker roll back.
  void ConfirmCancelCopy();
  void SetActivePage(WizardDialogPage* page);
  WideString ComposeWelcomeText() const;

  void OnBackClicked();
  void OnNextClicked();
  void OnCancelClicked();
  // True when the key was handled (Escape).
  bool OnKeyPress(guint keyval);
  // The window manager's close request; true keeps the window.
  bool OnDeleteRequest();

  // --- Seams for tests.
  void SetOpener(Opener opener) { opener_ = std::move(opener); }
  void SetWorkerStarter(WorkerStarter starter) { workerStarter_ = std::move(starter); }
  // How long the kit may take to open before the preparing window shows.
  void SetPreparingDelay(int ms) { preparingDelayMs_ = ms; }

  // --- Observers.
  bool silent() const { return silent_; }
  int pageId() const { return pageId_; }
  GtkWidget* window() const { return window_; }
  GtkWidget* backButton() const { return backButton_; }
  GtkWidget* nextButton() const { return nextButton_; }
  GtkWidget* cancelButton() const { return cancelButton_; }
  MessagePage* welcomePage() const { return welcomePage_.get(); }
  DirSelectPage* dirPage() const { return dirPage_.get(); }
  ProgressPage* progressPage() const { return progressPage_.get(); }
  SuccessFinalPage* successPage() const { return successPage_.get(); }
  MessagePage* errorPage() const { return errorPage_.get(); }
  PreparingWindow* preparingWindow() const { return preparing_.get(); }
  const WideString& targetDir() const { return targetDir_; }
  const WideString& kitPath() const { return kitPath_; }
  const KitReader& kit() const { return kit_; }

 private:
  int ShowMessage(const WideString& text, std::uint32_t flags);
  // Hands the job to the worker and starts it; a start that fails is posted
  // as a failed installation so that every waiting loop ends.
  void BeginInstallation();
  // After a final result: no further run may start.
  void EndInstallation();
  // Registers the target directory in the starter configuration; false
  // when the starter could not be told.
  bool RegisterTarget();
  void RunHeadless();
  void RunWithDisplay();  // Run with a display, under the signal watch
  // Opens the kit (`kitSize` bytes, 0 when unknown), showing the preparing
  // window when that takes long. `*cancelled`: the user stopped it there.
  ErrorCode OpenKit(std::uint64_t kitSize, bool* cancelled);
  void DestroyWindow();

  static void OnWindowDestroyed(GtkWidget* widget, gpointer self);
  static gboolean OnSignalWatch(gpointer self);

  bool listFromAlternateFile_ = false;
  bool alternateFileExists_ = false;
  bool silent_;
  InstallState installState_;
  LocationList templateLocations_;
  WideString targetDir_;
  WideString kitPath_;
  KitReader kit_;
  WideString languageCode_;
  int pageId_ = kPageNone;
  std::unique_ptr<MessagePage> welcomePage_;
  std::unique_ptr<DirSelectPage> dirPage_;
  WizardDialogPage* currentPage_ = nullptr;
  std::unique_ptr<ProgressPage> progressPage_;
  std::unique_ptr<SuccessFinalPage> successPage_;
  std::unique_ptr<MessagePage> errorPage_;
  bool useCwd_;
  GdkPixbuf* sideImage_ = nullptr;
  GtkWidget* backButton_ = nullptr;
  GtkWidget* nextButton_ = nullptr;
  GtkWidget* cancelButton_ = nullptr;
  bool cancelAsked_ = false;
  bool cancelRequested_ = false;
  int argc_;
  char** argv_;
  int width_ = 500;
  int height_ = 360;
  NarrowString title_;
  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  GdkPixbuf* icon_ = nullptr;
  WorkerThread workerThread_;
  // Held from Next (or the start of a silent run) through the registration.
  std::unique_ptr<InstallTarget> target_;
  std::unique_ptr<PreparingWindow> preparing_;
  int preparingDelayMs_ = 1000;

  bool hasDisplay_ = false;
  int exitStatus_ = 0;
  std::unique_ptr<Presenter> presenter_;
  Opener opener_;
  WorkerStarter workerStarter_;
};

// True when a "/" or "\" separated path has a ".." component.
bool HasParentComponent(const WideString& path);
// True when the text holds a line feed or a carriage return.
bool HasLineBreak(const WideString& text);
// The description document's path: the target directory and the kit's
// relative description path, joined by one "/" unless the directory
// already ends with a separator; backslashes become slashes.
WideString JoinDescriptionPath(const WideString& targetDir, const WideString& description);
// "~" alone or "~/" at the start stands for the home directory, as in a
// shell; any other text, and any text when no home is known, is unchanged.
WideString ExpandHome(const WideString& directory);
// The directory itself, or the nearest of its parents, that exists as a
// directory, made absolute against the working directory; empty if none.
WideString NearestExistingDirectory(const WideString& directory);
// Runs "xdg-open" on the path without a shell, never as an option.
void OpenWithXdgOpen(const NarrowString& path);

}  // namespace ordx
