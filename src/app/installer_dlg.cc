// CInstallerDlg: construction, the run, the pre-flight checks and the
// headless silent run. The window lives in wizard_window.cc, the page flow
// in wizard_flow.cc.
#include "app/installer_dlg.h"

#include <glib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "app/cancel_signals.h"
#include "app/gtk_language.h"
#include "config/template_locations.h"
#include "engine/install_worker.h"
#include "engine/journal.h"
#include "engine/tree_ops.h"
#include "fs/dir_ops.h"
#include "fs/file_layer.h"
#include "fs/path.h"
#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"
#include "ui/images.h"
#include "ui/message_box.h"

namespace ordx {
namespace {

constexpr char kKitFileName[] = "ordx.dkt";
// The temporary directory must hold the unpacked kit with room to spare.
constexpr std::uint64_t kFreeSpaceFactor = 3;
// How often a waiting loop looks at the worker's progress.
constexpr guint kPollMilliseconds = 50;

gboolean KeepWaking(gpointer) { return TRUE; }

// The one place that knows how the kit reader reports progress and takes a
// cancel.
ErrorCode OpenKitReader(KitReader* kit, const WideString& path, const std::atomic<bool>* cancel,
                        std::atomic<std::uint64_t>* compressedBytesRead) {
  return kit->Open(path, cancel, compressedBytesRead);
}

}  // namespace

CInstallerDlg::CInstallerDlg(int argc, char** argv, bool silent, NarrowString title,
                             WideString languageCode, bool useCwd)
    : silent_(silent),
      kit_(kKitCopyBufferSize),
      languageCode_(std::move(languageCode)),
      useCwd_(useCwd),
      argc_(argc),
      argv_(argv),
      title_(std::move(title)) {
  hasDisplay_ = gtk_init_check(&argc_, &argv_) != FALSE;
  if (hasDisplay_) {
    presenter_ = std::make_unique<GtkPresenter>();
  } else {
    presenter_ = std::make_unique<ConsolePresenter>();
  }
  opener_ = OpenWithXdgOpen;
  workerStarter_ = [this](InstallState* state) { return workerThread_.Start(state); };
  installState_.Post(0, LoadString("IDS_PREPARECOPY"), 0);
}

CInstallerDlg::~CInstallerDlg() {
  // The worker borrows the kit reader, its buffer and the state: it must be
  // gone before they are.
  workerThread_.Stop();
  workerThread_.Join();
  if (window_ != nullptr) DestroyWindow();
  // The pages' widgets died with the window; the pixbufs are ours.
  if (sideImage_ != nullptr) g_object_unref(sideImage_);
  if (icon_ != nullptr) g_object_unref(icon_);
}

WideString CInstallerDlg::GetTitle() const { return FromUtf8(title_); }

int CInstallerDlg::ShowMessage(const WideString& text, std::uint32_t flags) {
  return presenter_->MessageBox(this, text, flags);
}

void CInstallerDlg::Run() {
  InstallCancelSignals();
  if (!hasDisplay_) {
    if (silent_) {
      RunHeadless();
    } else {
      std::fprintf(stderr,
                   "ordx-install: cannot open a display; run \"ordx-install /S\" to install "
                   "without a window.\n");
      exitStatus_ = kExitNoDisplay;
    }
    return;
  }
  // A signal answers any message box or folder chooser that waits for the
  // user and closes the wizard (during the copy, the progress loop rolls
  // back first): a logout must not wait for a click.
  const guint watch = g_timeout_add(kPollMilliseconds * 2, OnSignalWatch, this);
  RunWithDisplay();
  g_source_remove(watch);
}

void CInstallerDlg::RunWithDisplay() {
  if (!Prepare()) return;
  if (silent_ && targetDir_.empty()) {
    // The proposed location was an address: never fall back to the
    // current directory.
    ShowMessage(LoadString("IDS_ERROR_NOTARGET"), kMbErrorOk);
    return;
  }
  if (CancelRequested()) return;
  welcomePage_.reset();
  CreateMainWindow();
  ShowWelcomePage();
  if (silent_) {
    if (TakeTarget()) StartInstall();
  } else {
    gtk_main();
  }
}

void CInstallerDlg::RunHeadless() {
  const auto cancelled = [this] {
    ShowMessage(LoadString("IDS_CANCEL_FINISH"), kMbErrorOk);
    target_.reset();  // gives up what taking the target made
    exitStatus_ = kExitCancelled;
  };
  if (!Prepare()) {
    // A signal while the kit was unpacked ends the run as cancelled.
    if (CancelRequested()) return cancelled();
    exitStatus_ = kExitPreparationFailed;
    return;
  }
  if (CancelRequested()) return cancelled();
  if (targetDir_.empty()) {
    ShowMessage(LoadString("IDS_ERROR_NOTARGET"), kMbErrorOk);
    exitStatus_ = kExitPreparationFailed;
    return;
  }
  if (!TakeTarget()) {
    exitStatus_ = target_ && target_->notRestored() ? kExitNotRestored : kExitPreparationFailed;
    return;
  }
  if (CancelRequested()) return cancelled();
  BeginInstallation();
  ErrorCode result = 0;
  WideString text;
  std::uint32_t percent = 0;
  for (;;) {
    if (CancelRequested()) installState_.SetCancel(true);
    installState_.Read(&result, &text, &percent);
    if (result != 0 || static_cast<std::int32_t>(percent) >= 100) break;
    g_usleep(kPollMilliseconds * 1000);
  }
  EndInstallation();
  if (result != 0) {
    ShowMessage(text, kMbErrorOk);
    exitStatus_ = target_ && target_->notRestored() ? kExitNotRestored
                  : result == kErrorCancelled      ? kExitCancelled
                                                   : kExitInstallFailed;
    return;
  }
  // After the commit a signal waits for the registration.
  if (!RegisterTarget()) {
    ShowMessage(LoadString("IDS_ERROR_NOTREGISTERED"), kMbErrorOk);
    exitStatus_ = kExitNotRegistered;
    return;
  }
  exitStatus_ = kExitInstalled;
}

gboolean CInstallerDlg::OnSignalWatch(gpointer self) {
  auto* dlg = static_cast<CInstallerDlg*>(self);
  if (!CancelRequested()) return TRUE;
  // A dialog's own loop must return before the window under it goes: the
  // window waits for the next round.
  if (CloseModalDialogs()) return TRUE;
  if (!dlg->silent_ && dlg->pageId_ != kPageProgress && dlg->window_ != nullptr) {
    dlg->DestroyWindow();
  }
  return TRUE;
}

bool CInstallerDlg::TakeTarget() {
  if (!targetDir_.empty() && targetDir_[0] != u'/') {
    WideString cwd;
    if (GetCurrentDirectory(&cwd) == kErrorSuccess) {
      targetDir_ = (cwd == u"/" ? cwd : cwd + u"/") + targetDir_;
    }
  }
  target_ = std::make_unique<InstallTarget>();
  const ErrorCode code = target_->Acquire(targetDir_);
  if (code == kErrorBusy) {
    ShowMessage(LoadString("IDS_ERROR_BUSY"), kMbErrorOk);
    return false;
  }
  if (code == kErrorNotRestored) {
    ShowMessage(ComposeFailureText(LoadString("IDS_ERROR_NOTRESTORED"),
                                   target_->transactionPath(), WideString()),
                kMbErrorOk);
    return false;
  }
  if (code != kErrorSuccess) {
    // A directory that cannot be made or opened: the worker tries again
    // and reports the failure as an installation error.
    target_.reset();
    return true;
  }
  if (target_->recovered()) ShowMessage(LoadString("IDS_RECOVERED"), kMbPlainOk);
  // A copy that cannot fit would only fail half-way: refuse it before the
  // first file is touched. A file system that cannot say is not refused.
  std::uint64_t needed = 0;
  std::uint64_t room = 0;
  if (MeasureWrites(target_.get(), kit_, &needed) == kErrorSuccess &&
      GetFreeSpaceOf(target_->record()->rootDirectory, &room) == kErrorSuccess && needed > room) {
    target_.reset();  // gives up what taking the target made
    ShowMessage(LoadString("IDS_ERROR_NOTARGETSPACE"), kMbErrorOk);
    return false;
  }
  return true;
}

WideString CInstallerDlg::GetKitPath() const {
  std::vector<char> base;
  if (useCwd_) {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) return WideString();
    base.assign(cwd, cwd + std::strlen(cwd));
    std::free(cwd);
  } else {
    std::vector<char> link(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", link.data(), link.size());
    // A path that fills the buffer may have been cut: treat it as unknown.
    if (n < 1 || static_cast<std::size_t>(n) >= link.size()) return WideString();
    link.resize(static_cast<std::size_t>(n));
    const std::string_view exe(link.data(), link.size());
    const std::size_t slash = LastSeparator(exe);
    const std::string_view dir = slash == std::string_view::npos ? exe : ParentPart(exe);
    base.assign(dir.begin(), dir.end());
  }
  NarrowString path(base.data(), base.size());
  path += "/";
  path += kKitFileName;
  return ToWide(path);
}

bool CInstallerDlg::Prepare() {
  const WideString path = GetKitPath();
  // Only a regular file is a kit: a FIFO or device must not block the start.
  if (path.empty() || !IsRegularFile(path)) {
    ShowMessage(LoadString("IDS_ERROR_NOSOURCE"), kMbErrorOk);
    return false;
  }
  kitPath_ = path;
  targetDir_ =
      SelectTemplateDirectory(&templateLocations_, &alternateFileExists_, &listFromAlternateFile_);

  // A temporary directory where no file can be made is no space problem and
  // no damaged kit: say so before either is suspected.
  {
    WideString temp;
    GetTempPath(&temp);
    ScopedHandle probe;
    if (CreateAnonymousFile(temp, probe.out()) != kErrorSuccess) {
      const int err = GetLastSystemFailure().error;
      ShowMessage(LoadString(err == ENOSPC || err == EDQUOT ? "IDS_ERROR_NOSPACE"
                                                            : "IDS_ERROR_TEMPUNUSABLE"),
                  kMbErrorOk);
      return false;
    }
  }

  std::uint64_t size = 0;
  std::uint64_t freeBytes = 0;
  if (GetFileSizeByName(kitPath_, &size) == 0 && GetTempFreeSpace(&freeBytes) == 0) {
    // size * 3 > free, without the product wrapping around.
    if (size > freeBytes / kFreeSpaceFactor) {
      ShowMessage(LoadString("IDS_ERROR_NOSPACE"), kMbErrorOk);
      return false;
    }
  }
  bool cancelled = false;
  const ErrorCode opened = OpenKit(size, &cancelled);
  if (cancelled) return false;  // the user's own choice: nothing to report
  if (opened != kErrorSuccess) {
    // A kit that unpacks to more than the temporary directory holds, or a
    // directory where its copy cannot be made, is no damaged kit.
    ShowMessage(LoadString(opened == kErrorDiskFull   ? "IDS_ERROR_NOSPACE"
                           : opened == kErrorCantWrite ? "IDS_ERROR_TEMPUNUSABLE"
                                                       : "IDS_ERROR_DAMAGEDSOURCE"),
                kMbErrorOk);
    return false;
  }
  return true;
}

ErrorCode CInstallerDlg::OpenKit(std::uint64_t kitSize, bool* cancelled) {
  *cancelled = false;
  if (!hasDisplay_) {
    const ErrorCode code = OpenKitReader(&kit_, kitPath_, CancelRequestFlag(), nullptr);
    *cancelled = code == kErrorCancelled;
    return code;
  }
  // Unpacked on a thread of its own, so that this one can show how far it
  // got and hear a Cancel.
  std::atomic<bool> cancel{false};
  std::atomic<bool> done{false};
  std::atomic<std::uint64_t> read{0};
  ErrorCode code = 0;
  std::thread opener([&] {
    code = OpenKitReader(&kit_, kitPath_, &cancel, &read);
    done.store(true, std::memory_order_release);
  });
  const auto showAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(preparingDelayMs_);
  const guint wake = g_timeout_add(kPollMilliseconds, KeepWaking, nullptr);
  while (!done.load(std::memory_order_acquire)) {
    if (CancelRequested()) cancel = true;
    if (!preparing_ && !cancel.load() && std::chrono::steady_clock::now() >= showAt) {
      if (icon_ == nullptr) icon_ = LoadIcon();
      preparing_ = std::make_unique<PreparingWindow>(GetTitle(), icon_, [&cancel] { cancel = true; });
    }
    if (preparing_) {
      const std::uint64_t bytes = read.load();
      preparing_->SetFraction(kitSize != 0 && bytes != 0 ? static_cast<double>(bytes) / kitSize
                                                         : -1.0);
      gtk_main_iteration();
    } else {
      g_usleep(kPollMilliseconds * 1000 / 5);
    }
  }
  opener.join();
  g_source_remove(wake);
  preparing_.reset();
  *cancelled = cancel.load();
  return *cancelled ? kErrorCancelled : code;
}

void CInstallerDlg::BeginInstallation() {
  installState_.SetJob(&kit_, targetDir_);
  installState_.SetTarget(target_.get());
  const int started = workerStarter_(&installState_);
  if (started != 0) {
    // Whatever the starter posted, make sure a failure is there: the
    // waiting loop ends only on a result.
    ErrorCode result = 0;
    WideString text;
    std::uint32_t percent = 0;
    installState_.Read(&result, &text, &percent);
    if (result == 0) {
      // The thread's POSIX error is no code of ours: the one a failed start
      // posts itself.
      installState_.Post(kErrorInvalidParameter, LoadString("IDS_INSTALL_ERROR"), 0);
    }
  }
}

void CInstallerDlg::EndInstallation() { workerThread_.Stop(); }

bool CInstallerDlg::RegisterTarget() {
  // Two registrations at once would each write the list without the
  // other's directory: a lock file beside the starter file keeps them apart.
  const WideString starter = GetMainStarterFile();
  ScopedHandle lock;
  if (!starter.empty()) {
    if (LastSeparator(starter.view()) != WideString::npos) CreateDirectory(ParentPart(starter));
    LockFile(starter + u".lock", &lock);
  }
  // Read again under the lock: another installer, or the user, may have
  // changed the list since the installer started, and writing the list of
  // then would lose that.
  LocationList current;
  ReadCurrentLocations(&current, &alternateFileExists_, &listFromAlternateFile_);
  templateLocations_ = current;
  const bool registered = RegisterTemplateDirectory(&templateLocations_, targetDir_,
                                                    listFromAlternateFile_, alternateFileExists_);
  // The target stays locked until the registration is through.
  target_.reset();
  return registered;
}

bool HasParentComponent(const WideString& path) {
  return AnyComponent(path.view(), Separators::kSlashOrBackslash,
                      [](std::u16string_view component) { return component == u".."; });
}

bool HasLineBreak(const WideString& text) {
  return text.find(u'\n') != WideString::npos || text.find(u'\r') != WideString::npos;
}

WideString JoinDescriptionPath(const WideString& targetDir, const WideString& description) {
  WideString path = JoinPath(targetDir, description, Separators::kSlashOrBackslash);
  ReplaceAll(path, u"\\", u"/");
  return path;
}

WideString ExpandHome(const WideString& directory) {
  if (directory != u"~" && !directory.starts_with(u"~/")) return directory;
  WideString home = GetHomeDirectory();
  if (home.empty()) return directory;
  home = TrimTrailingSlashes(home);
  if (directory.length() == 1) return home;
  return (home == u"/" ? WideString() : home) + directory.substr(1);
}

WideString NearestExistingDirectory(const WideString& directory) {
  WideString dir = directory;
  if (dir.empty() || dir[0] != u'/') {
    WideString cwd;
    if (GetCurrentDirectory(&cwd) != kErrorSuccess) return WideString();
    dir = cwd + u"/" + dir;
  }
  for (;;) {
    dir = TrimTrailingSlashes(dir);
    ScopedHandle opened;
    if (OpenDirectory(dir, &opened) == kErrorSuccess) return dir;
    const std::size_t slash = LastSeparator(dir.view());
    if (slash == WideString::npos || dir.length() == 1) return WideString();
    dir = slash == 0 ? WideString(u"/") : ParentPart(dir);
  }
}

void OpenWithXdgOpen(const NarrowString& path) {
  // xdg-open takes an argument that starts with "-" for an option: a relative
  // path that does is passed as "./-...".
  const StartupLanguageScope userLanguage;
  RunProgram({NarrowString("xdg-open"), path.starts_with("-") ? NarrowString("./") + path : path});
}

}  // namespace ordx
