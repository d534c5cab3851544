// The wizard driven in-process under the X display: pages, buttons, keys,
// the progress loop, success and rolled-back failure, Finish, the silent run
// and the pre-flight messages. Modal dialogs are answered by the test.
#include <errno.h>
#include <fcntl.h>
#include <gdk/gdkkeysyms.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/installer_dlg.h"
#include "engine/file_layer.h"
#include "kit/kit_builder.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/gui_test_support.h"
#include "ui/installer_harness.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;
using guitest::DialogAnswerer;
using guitest::IsSensitive;
using guitest::IsVisible;
using guitest::LabelText;
using guitest::Pump;

constexpr char kWelcomeEn[] =
    "Welcome to the product installation program Trade Lite 2.1.4 (Northwind Software).";
constexpr char kErrorFinishEn[] =
    "An error occurred during the installation process. Installation canceled. Template "
    "directory has not been changed.";

bool EndsWith(const WideString& text, const char16_t* suffix) {
  return text.ends_with(std::u16string_view(suffix));
}

// Holds the worker at one file until the test opens it; opens itself when
// the test ends early so that no thread stays blocked.
class WorkerGate {
 public:
  ~WorkerGate() { Open(); }
  void Wait() {
    reached_ = true;
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return open_; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  bool reached() const { return reached_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
  std::atomic<bool> reached_{false};
};

class InstallerFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ORDX_REQUIRE_DISPLAY();
    SetLanguage(kEnglishLanguageId);
    sandbox_ = std::make_unique<guitest::Sandbox>();
    guitest::WriteStandardKit(sandbox_->kitPath());
  }
  void TearDown() override {
    gate_.Open();
    dialog_.reset();  // joins the worker before the hook goes
    SetFaultHook({});
    sandbox_.reset();
  }

  CInstallerDlg& Open(bool silent = false, const char16_t* language = u"en") {
    dialog_ = guitest::NewDialog(silent, language);
    dialog_->SetOpener([this](const NarrowString& path) { opened_.emplace_back(path.c_str()); });
    EXPECT_TRUE(guitest::OpenWizard(dialog_.get()));
    Pump();
    return *dialog_;
  }
  static void Click(GtkWidget* button) { gtk_button_clicked(GTK_BUTTON(button)); }

  // Welcome -> directory -> Next with the proposed directory.
  void InstallToDefault(CInstallerDlg& dlg) {
    Click(dlg.nextButton());
    ASSERT_EQ(dlg.pageId(), kPageDirectory);
    Click(dlg.nextButton());
  }

  // Makes the worker fail on the kit's last file (after earlier files were
  // written), so the run has something to roll back.
  static void FailOnLastFile() {
    SetFaultHook([](FileOp op, const WideString& path) -> ErrorCode {
      return op == FileOp::kCreateFile && EndsWith(path, u"TradeLite.cfg") ? kErrorInvalidParameter
                                                                            : 0;
    });
  }

  void ExpectStandardFilesIn(const std::string& dir) {
    for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
      std::string name = ToNarrow(WideString(file.name.c_str())).c_str();
      std::replace(name.begin(), name.end(), '\\', '/');
      const std::string path = dir + name;
      EXPECT_EQ(guitest::ReadFileBytes(path), file.bytes) << path;
      struct stat st {};
      ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
      EXPECT_EQ(st.st_mtime, guitest::kKitUnixTime) << path;
    }
  }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::unique_ptr<CInstallerDlg> dialog_;
  std::vector<std::string> opened_;
  WorkerGate gate_;
};

// --- Window, welcome page, directory page, Back.

TEST_F(InstallerFlowTest, WindowIsFixedSizeModalWithItsButtons) {
  CInstallerDlg& dlg = Open();
  GtkWidget* window = dlg.window();
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Installing configuration");
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window)));
  EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(window)), GDK_WINDOW_TYPE_HINT_MENU);
  EXPECT_NE(gtk_window_get_icon(GTK_WINDOW(window)), nullptr);
  GtkAllocation allocation;
  gtk_widget_get_allocation(window, &allocation);
  EXPECT_EQ(allocation.width, 500);
  EXPECT_EQ(allocation.height, 360);
  // Asking for more does not grow it.
  gtk_window_resize(GTK_WINDOW(window), 800, 600);
  Pump();
  gtk_widget_get_allocation(window, &allocation);
  EXPECT_EQ(allocation.width, 500);
  EXPECT_EQ(allocation.height, 360);

  EXPECT_EQ(LabelText(dlg.backButton()), "< Back");
  EXPECT_EQ(LabelText(dlg.nextButton()), "Next >");
  EXPECT_EQ(LabelText(dlg.cancelButton()), "Cancel");
  for (GtkWidget* button : {dlg.backButton(), dlg.nextButton(), dlg.cancelButton()}) {
    gtk_widget_get_allocation(button, &allocation);
    EXPECT_EQ(allocation.width, 80);
    EXPECT_EQ(allocation.height, 30);
    EXPECT_EQ(allocation.y, 320);
  }
  EXPECT_TRUE(gtk_widget_has_default(dlg.nextButton()));
}

TEST_F(InstallerFlowTest, WelcomePageNamesProductAndVendor) {
  CInstallerDlg& dlg = Open();
  EXPECT_EQ(dlg.pageId(), kPageWelcome);
  ASSERT_NE(dlg.welcomePage(), nullptr);
  EXPECT_EQ(dlg.currentPage(), dlg.welcomePage());
  EXPECT_EQ(LabelText(dlg.welcomePage()->label()), kWelcomeEn);
  EXPECT_TRUE(IsVisible(dlg.welcomePage()->label()));
  EXPECT_FALSE(IsSensitive(dlg.backButton()));
  EXPECT_TRUE(IsSensitive(dlg.nextButton()));
  EXPECT_TRUE(IsSensitive(dlg.cancelButton()));
}

TEST_F(InstallerFlowTest, WelcomeUsesPlaceholdersWithoutTextsInTheLanguage) {
  CInstallerDlg& dlg = Open(false, u"fr");
  EXPECT_EQ(LabelText(dlg.welcomePage()->label()),
            "Welcome to the product installation program <Product> (<Vendor>).");
}

TEST_F(InstallerFlowTest, EnterOnWelcomeActivatesNext) {
  CInstallerDlg& dlg = Open();
  guitest::SendKey(dlg.window(), GDK_Return);
  // A key-activated button reports its click from a short GTK timer.
  EXPECT_TRUE(guitest::PumpUntil([&] { return dlg.pageId() != kPageWelcome; }));
  EXPECT_EQ(dlg.pageId(), kPageDirectory);
}

TEST_F(InstallerFlowTest, DirectoryPageProposesDefaultAndBackRestoresIt) {
  CInstallerDlg& dlg = Open();
  MessagePage* welcome = dlg.welcomePage();
  Click(dlg.nextButton());
  ASSERT_EQ(dlg.pageId(), kPageDirectory);
  ASSERT_NE(dlg.dirPage(), nullptr);
  EXPECT_EQ(ToNarrow(dlg.dirPage()->GetDirectory()),
            NarrowString(sandbox_->defaultTarget().c_str()));
  EXPECT_TRUE(IsSensitive(dlg.backButton()));
  EXPECT_TRUE(IsSensitive(dlg.nextButton()));
  EXPECT_FALSE(IsVisible(dlg.welcomePage()->label()));
  EXPECT_TRUE(IsVisible(dlg.dirPage()->entry()));

  dlg.dirPage()->SetDirectory(u"/edited/by/user");
  Click(dlg.backButton());
  EXPECT_EQ(dlg.pageId(), kPageWelcome);
  EXPECT_EQ(dlg.welcomePage(), welcome);  // reused, not rebuilt
  EXPECT_FALSE(IsVisible(dlg.dirPage()->entry()));
  EXPECT_FALSE(IsSensitive(dlg.backButton()));
  Click(dlg.nextButton());
  EXPECT_EQ(ToNarrow(dlg.dirPage()->GetDirectory()),
            NarrowString(sandbox_->defaultTarget().c_str()));
}

// --- Accepting the directory.

TEST_F(InstallerFlowTest, EmptyOrMultiLineDirectoryIsRefusedAndNothingInstalled) {
  CInstallerDlg& dlg = Open();
  Click(dlg.nextButton());
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  answerer.Plan(GTK_RESPONSE_OK);
  dlg.dirPage()->SetDirectory(u"");
  Click(dlg.nextButton());
  EXPECT_EQ(dlg.pageId(), kPageDirectory);
  const std::string twoLines = sandbox_->root() + "/line\nbreak";
  gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), twoLines.c_str());
  ASSERT_TRUE(HasLineBreak(dlg.dirPage()->GetDirectory()));
  Click(dlg.nextButton());
  EXPECT_EQ(dlg.pageId(), kPageDirectory);

  ASSERT_EQ(answerer.shown().size(), 2u);
  for (const auto& shown : answerer.shown()) {
    EXPECT_EQ(shown.text, "Specify correct path to template directory.");
    EXPECT_EQ(shown.type, GTK_MESSAGE_OTHER);
    EXPECT_EQ(shown.title, "Installing configuration");
    EXPECT_EQ(shown.responses, std::vector<gint>{GTK_RESPONSE_OK});
  }
  EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
  EXPECT_FALSE(guitest::PathExists(sandbox_->root() + "/line"));
  EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
}

TEST_F(InstallerFlowTest, TypedDirectoryWithBackslashesIsInstalledAndRegistered) {
  CInstallerDlg& dlg = Open();
  Click(dlg.nextButton());
  std::string typed = sandbox_->root() + "/typed/dir";
  std::replace(typed.begin(), typed.end(), '/', '\\');
  gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), typed.c_str());
  Click(dlg.nextButton());

  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  const std::string target = sandbox_->root() + "/typed/dir";
  EXPECT_EQ(ToNarrow(dlg.targetDir()), NarrowString(target.c_str()));
  ExpectStandardFilesIn(target + "/");
  EXPECT_EQ(guitest::ReadFileBytes(sandbox_->mainStarterFile()),
            "ConfigurationTemplatesLocation=" + target + "\n");
  EXPECT_FALSE(guitest::PathExists(sandbox_->defaultTarget()));
}

TEST_F(InstallerFlowTest, ProposedDirectoryInstallShowsSuccessPage) {
  CInstallerDlg& dlg = Open();
  InstallToDefault(dlg);
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  ExpectStandardFilesIn(sandbox_->defaultTarget());
  std::string registered = sandbox_->defaultTarget();
  registered.pop_back();
  EXPECT_EQ(guitest::ReadFileBytes(sandbox_->mainStarterFile()),
            "ConfigurationTemplatesLocation=" + registered + "\n");

  ASSERT_NE(dlg.successPage(), nullptr);
  EXPECT_EQ(dlg.currentPage(), dlg.successPage());
  EXPECT_EQ(LabelText(dlg.successPage()->label()), "Configuration installed successfully.");
  EXPECT_TRUE(dlg.successPage()->IsOpenDescriptionChecked());
  EXPECT_FALSE(IsVisible(dlg.progressPage()->progressBar()));
  EXPECT_EQ(LabelText(dlg.progressPage()->statusLabel()), "Copying complete...");
  EXPECT_FALSE(IsVisible(dlg.backButton()));
  EXPECT_TRUE(IsVisible(dlg.nextButton()));
  EXPECT_TRUE(IsSensitive(dlg.nextButton()));
  EXPECT_TRUE(gtk_widget_has_default(dlg.nextButton()));
  EXPECT_EQ(LabelText(dlg.nextButton()), "Finish");
  EXPECT_FALSE(IsSensitive(dlg.cancelButton()));
  // Nothing of the run is left in the temporary directory but our kit copy.
  for (const auto& entry : fs::directory_iterator(sandbox_->tmp())) {
    EXPECT_EQ(entry.path().filename().string().rfind("qzstp", 0), std::string::npos)
        << entry.path();
  }
}

TEST_F(InstallerFlowTest, FailedInstallationRollsBackAndShowsErrorPage) {
  const std::string target = sandbox_->defaultTarget();
  // An older copy of a kit file that the run replaces before it fails.
  guitest::WriteFileBytes(target + "TradeLite/2.1.4/manifest.ini", "old manifest\n");
  const std::string old = target + "TradeLite/2.1.4/manifest.ini";
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
  const auto before = guitest::Snapshot(target);

  CInstallerDlg& dlg = Open();
  FailOnLastFile();
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  InstallToDefault(dlg);

  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Installation error");
  EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
  ASSERT_EQ(dlg.pageId(), kPageError);
  EXPECT_EQ(LabelText(dlg.errorPage()->label()), kErrorFinishEn);
  EXPECT_EQ(LabelText(dlg.nextButton()), "Finish");
  EXPECT_FALSE(IsSensitive(dlg.cancelButton()));
  EXPECT_FALSE(IsVisible(dlg.backButton()));

  EXPECT_EQ(guitest::Snapshot(target), before);
  struct stat st {};
  ASSERT_EQ(stat(old.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
  EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));

  Click(dlg.nextButton());
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(InstallerFlowTest, WorkerThatCannotStartEndsOnErrorPage) {
  CInstallerDlg& dlg = Open();
  dlg.SetWorkerStarter([](InstallState*) { return EAGAIN; });
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  InstallToDefault(dlg);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Installation error");
  EXPECT_EQ(dlg.pageId(), kPageError);
  EXPECT_FALSE(guitest::PathExists(sandbox_->defaultTarget()));
  EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
}

// --- The progress page: Escape, the close button and Cancel do not close
// the window under the running loop.

TEST_F(InstallerFlowTest, EscapeCloseAndCancelDuringCopyLetTheCopyFinish) {
  CInstallerDlg& dlg = Open();
  SetFaultHook([this](FileOp op, const WideString& path) -> ErrorCode {
    if (op == FileOp::kCreateFile && EndsWith(path, u"TradeLite.cfg")) gate_.Wait();
    return 0;
  });
  DialogAnswerer answerer;
  std::vector<int> pagesSeen;
  answerer.Later([&] {
    pagesSeen.push_back(dlg.pageId());
    EXPECT_FALSE(IsSensitive(dlg.backButton()));
    EXPECT_FALSE(IsSensitive(dlg.nextButton()));
    EXPECT_TRUE(IsSensitive(dlg.cancelButton()));
    guitest::SendKey(dlg.window(), GDK_Escape);
  });
  answerer.Later([&] {
    pagesSeen.push_back(dlg.pageId());
    ASSERT_NE(dlg.window(), nullptr);
    guitest::SendDelete(dlg.window());
  });
  answerer.Later([&] {
    pagesSeen.push_back(dlg.pageId());
    ASSERT_NE(dlg.window(), nullptr);
    Click(dlg.cancelButton());
  });
  answerer.Later([&] {
    pagesSeen.push_back(dlg.pageId());
    EXPECT_NE(dlg.window(), nullptr);
    gate_.Open();
  });
  InstallToDefault(dlg);

  EXPECT_EQ(pagesSeen, (std::vector<int>{kPageProgress, kPageProgress, kPageProgress,
                                         kPageProgress}));
  EXPECT_TRUE(answerer.shown().empty());  // no question on this page
  EXPECT_TRUE(gate_.reached());
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  ASSERT_NE(dlg.window(), nullptr);
  ExpectStandardFilesIn(sandbox_->defaultTarget());
}

// --- Escape and Cancel on the other pages.

struct CancelCase {
  int page;
  bool useEscape;
};

class CancelQuestionTest : public InstallerFlowTest,
                           public ::testing::WithParamInterface<CancelCase> {
 protected:
  void GoTo(CInstallerDlg& dlg, int page) {
    if (page >= kPageDirectory) Click(dlg.nextButton());
    if (page == kPageSuccess) Click(dlg.nextButton());
    if (page == kPageError) {
      FailOnLastFile();
      DialogAnswerer answerer;
      answerer.Plan(GTK_RESPONSE_OK);
      Click(dlg.nextButton());
    }
    ASSERT_EQ(dlg.pageId(), page);
  }
  void Trigger(CInstallerDlg& dlg, bool useEscape) {
    if (useEscape) {
      guitest::SendKey(dlg.window(), GDK_Escape);
    } else {
      Click(dlg.cancelButton());
    }
  }
};

TEST_P(CancelQuestionTest, AsksAndOnlyYesClosesTheWindow) {
  CInstallerDlg& dlg = Open();
  GoTo(dlg, GetParam().page);
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_NO);
  answerer.Plan(GTK_RESPONSE_DELETE_EVENT);
  answerer.Plan(GTK_RESPONSE_YES);
  Trigger(dlg, GetParam().useEscape);
  ASSERT_NE(dlg.window(), nullptr);
  EXPECT_EQ(dlg.pageId(), GetParam().page);
  Trigger(dlg, GetParam().useEscape);
  ASSERT_NE(dlg.window(), nullptr);
  Trigger(dlg, GetParam().useEscape);
  EXPECT_EQ(dlg.window(), nullptr);

  ASSERT_EQ(answerer.shown().size(), 3u);
  for (const auto& shown : answerer.shown()) {
    EXPECT_EQ(shown.text, "Do you really want to cancel installation?");
    EXPECT_EQ(shown.type, GTK_MESSAGE_QUESTION);
    EXPECT_EQ(shown.title, "Installing configuration");
  }
  EXPECT_TRUE(opened_.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryPage, CancelQuestionTest,
                         ::testing::Values(CancelCase{kPageWelcome, true},
                                           CancelCase{kPageWelcome, false},
                                           CancelCase{kPageDirectory, true},
                                           CancelCase{kPageDirectory, false},
                                           CancelCase{kPageSuccess, true},
                                           CancelCase{kPageError, true}),
                         [](const ::testing::TestParamInfo<CancelCase>& param) {
                           return "Page" + std::to_string(param.param.page) +
                                  (param.param.useEscape ? "Escape" : "Cancel");
                         });

TEST_F(InstallerFlowTest, CloseButtonOutsideTheCopyClosesWithoutQuestion) {
  CInstallerDlg& dlg = Open();
  Click(dlg.nextButton());
  DialogAnswerer answerer;
  guitest::SendDelete(dlg.window());
  Pump();
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_TRUE(answerer.shown().empty());
}

// --- Finish and the description document.

TEST_F(InstallerFlowTest, FinishOpensDescriptionWhenTicked) {
  CInstallerDlg& dlg = Open();
  InstallToDefault(dlg);
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  Click(dlg.nextButton());
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_EQ(opened_, std::vector<std::string>{sandbox_->defaultTarget() +
                                              "TradeLite/2.1.4/docs/readme_en.html"});
}

TEST_F(InstallerFlowTest, FinishWithBoxClearedOpensNothing) {
  CInstallerDlg& dlg = Open();
  InstallToDefault(dlg);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dlg.successPage()->openDescrCheck()), FALSE);
  Click(dlg.nextButton());
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(InstallerFlowTest, TypedDirectoryWithoutSlashStillFindsTheDescription) {
  CInstallerDlg& dlg = Open(false, u"de");
  Click(dlg.nextButton());
  const std::string target = sandbox_->root() + "/plain";
  gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), target.c_str());
  Click(dlg.nextButton());
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  Click(dlg.nextButton());
  EXPECT_EQ(opened_,
            std::vector<std::string>{target + "/TradeLite/2.1.4/docs/readme_de.html"});
}

TEST_F(InstallerFlowTest, LanguageWithoutDescriptionPathFallsBackToEnglish) {
  CInstallerDlg& dlg = Open(false, u"ru");
  InstallToDefault(dlg);
  Click(dlg.nextButton());
  EXPECT_EQ(opened_, std::vector<std::string>{sandbox_->defaultTarget() +
                                              "TradeLite/2.1.4/docs/readme_en.html"});
}

// The kit's description path decides what Finish opens: nothing outside
// the template directory, nothing missing, the directory itself when empty.
TEST_F(InstallerFlowTest, DescriptionPathDecidesWhatIsOpened) {
  struct Case {
    const char16_t* description;
    bool opened;
  };
  for (const Case c : {Case{u"", true}, Case{u"..\\outside.html", false},
                       Case{u"docs\\absent.html", false}}) {
    kittest::KitBuilder builder;
    builder.AddDescription(u"en", u"P", u"V", c.description);
    builder.AddFile(u"only.txt", "x");
    kittest::WriteKit(sandbox_->kitPath(), builder.Build());
    // The outside document exists where its path points.
    guitest::WriteFileBytes(sandbox_->home() + "/.ordx/Ordo/ordx/outside.html", "<html/>");
    opened_.clear();
    CInstallerDlg& dlg = Open();
    InstallToDefault(dlg);
    Click(dlg.nextButton());
    EXPECT_EQ(dlg.window(), nullptr);
    if (c.opened) {
      EXPECT_EQ(opened_, std::vector<std::string>{sandbox_->defaultTarget()});
    } else {
      EXPECT_TRUE(opened_.empty()) << ToNarrow(WideString(c.description)).c_str();
    }
  }
}

TEST_F(InstallerFlowTest, RealOpenerPassesThePathAsOneLiteralArgument) {
  // A stand-in xdg-open that records its arguments.
  const std::string bin = sandbox_->root() + "/bin";
  const std::string log = sandbox_->root() + "/opened.log";
  guitest::WriteFileBytes(bin + "/xdg-open",
                          "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + log + "'\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

  const char16_t* tricky = u"docs\\it's \"new\" $HOME `id` & more.html";
  kittest::KitBuilder builder;
  builder.AddDescription(u"en", u"P", u"V", tricky);
  builder.AddFile(tricky, "<html/>");
  kittest::WriteKit(sandbox_->kitPath(), builder.Build());
  dialog_ = guitest::NewDialog(false);
  ASSERT_TRUE(guitest::OpenWizard(dialog_.get()));
  InstallToDefault(*dialog_);
  ASSERT_EQ(dialog_->pageId(), kPageSuccess);
  Click(dialog_->nextButton());
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_EQ(guitest::ReadFileBytes(log),
            "1|" + sandbox_->defaultTarget() + "docs/it's \"new\" $HOME `id` & more.html|");
}

// --- The silent run with a display.

TEST_F(InstallerFlowTest, SilentWelcomeHidesBackAndNext) {
  CInstallerDlg& dlg = Open(true);
  EXPECT_EQ(dlg.pageId(), kPageWelcome);
  EXPECT_FALSE(IsVisible(dlg.backButton()));
  EXPECT_FALSE(IsVisible(dlg.nextButton()));
}

TEST_F(InstallerFlowTest, SilentRunInstallsWithoutWaitingForFinish) {
  dialog_ = guitest::NewDialog(true);
  dialog_->SetOpener([this](const NarrowString& path) { opened_.emplace_back(path.c_str()); });
  DialogAnswerer answerer;
  dialog_->Run();  // returns by itself: no main loop
  EXPECT_TRUE(answerer.shown().empty());
  EXPECT_EQ(dialog_->pageId(), kPageSuccess);
  ASSERT_NE(dialog_->window(), nullptr);
  EXPECT_TRUE(IsVisible(dialog_->nextButton()));
  EXPECT_EQ(LabelText(dialog_->nextButton()), "Finish");
  ExpectStandardFilesIn(sandbox_->defaultTarget());
  EXPECT_TRUE(guitest::PathExists(sandbox_->mainStarterFile()));
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(dialog_->exitStatus(), 0);
}

TEST_F(InstallerFlowTest, SilentRunFailureStillWaitsForOk) {
  dialog_ = guitest::NewDialog(true);
  FailOnLastFile();
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  dialog_->Run();
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Installation error");
  EXPECT_EQ(dialog_->pageId(), kPageError);
  EXPECT_EQ(dialog_->exitStatus(), 0);
  EXPECT_TRUE(guitest::Snapshot(sandbox_->defaultTarget()).empty());
}

TEST_F(InstallerFlowTest, SilentRunWithAddressForDirectoryRefusesToInstall) {
  // A home directory whose path reads as an address leaves no directory to
  // propose: the silent run must not fall back to the working directory.
  const std::string home = sandbox_->root() + "/http://h";
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  dialog_ = guitest::NewDialog(true);
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  dialog_->Run();
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text,
            "Installation of templates to the current directory is not supported.");
  EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(dialog_->window(), nullptr);
  EXPECT_TRUE(dialog_->targetDir().empty());
  // Nothing landed in the working directory or below the home directory.
  EXPECT_EQ(guitest::Snapshot(sandbox_->kitDir()).size(), 1u);
  EXPECT_TRUE(fs::is_empty(home));
}

// --- The interactive run's main loop.

TEST_F(InstallerFlowTest, InteractiveRunEndsWhenTheWindowCloses) {
  dialog_ = guitest::NewDialog(false);
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_YES);
  answerer.Later([this] { guitest::SendKey(dialog_->window(), GDK_Escape); });
  dialog_->Run();
  EXPECT_EQ(dialog_->window(), nullptr);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Do you really want to cancel installation?");
  EXPECT_EQ(dialog_->exitStatus(), 0);
}

// --- Pre-flight: one message, no window.

class PreflightTest : public InstallerFlowTest {
 protected:
  // Runs the installer and expects exactly one error box with `text`.
  void ExpectOneMessage(const std::string& text) {
    for (bool silent : {false, true}) {
      dialog_ = guitest::NewDialog(silent);
      DialogAnswerer answerer;
      answerer.Plan(GTK_RESPONSE_OK);
      dialog_->Run();
      ASSERT_EQ(answerer.shown().size(), 1u) << "silent " << silent;
      EXPECT_EQ(answerer.shown()[0].text, text);
      EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
      EXPECT_EQ(answerer.shown()[0].title, "Installing configuration");
      EXPECT_EQ(dialog_->window(), nullptr);
      EXPECT_EQ(dialog_->pageId(), kPageNone);
      EXPECT_EQ(dialog_->exitStatus(), 0);
      dialog_.reset();
    }
    EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
};

TEST_F(PreflightTest, MissingKit) {
  fs::remove(sandbox_->kitPath());
  ExpectOneMessage("Distribution kit file ordx.dkt not found.");
}

TEST_F(PreflightTest, DamagedKit) {
  guitest::WriteFileBytes(sandbox_->kitPath(), "this is not a deflate stream of a kit");
  ExpectOneMessage(
      "Distribution kit file ordx.dkt corrupted or not designed for this installation program.");
}

TEST_F(PreflightTest, EmptyKitPassesSpaceCheckAndIsDamaged) {
  guitest::WriteFileBytes(sandbox_->kitPath(), "");
  ExpectOneMessage(
      "Distribution kit file ordx.dkt corrupted or not designed for this installation program.");
}

TEST_F(PreflightTest, KitTooLargeForTemporarySpace) {
  struct statvfs info {};
  ASSERT_EQ(statvfs(sandbox_->tmp().c_str(), &info), 0);
  const std::uint64_t freeBytes =
      static_cast<std::uint64_t>(info.f_frsize) * static_cast<std::uint64_t>(info.f_bfree);
  // A sparse kit whose triple size is half as much again as the free
  // space, so that other work on the disk cannot tip the balance.
  const std::uint64_t size = freeBytes / 2;
  if (truncate(sandbox_->kitPath().c_str(), static_cast<off_t>(size)) != 0) {
    GTEST_SKIP() << "cannot make a sparse file of " << size << " bytes here";
  }
  ExpectOneMessage("Insufficient space available in the directory Temp.");
}

// --- Where the kit is looked for.

TEST_F(InstallerFlowTest, KitPathIsBesideTheProgramOrInTheWorkingDirectory) {
  auto inCwd = guitest::NewDialog(false);
  EXPECT_EQ(ToNarrow(inCwd->GetKitPath()), NarrowString(sandbox_->kitPath().c_str()));
  static char program[] = "ordx-install";
  static char* argv[] = {program, nullptr};
  CInstallerDlg beside(1, argv, false, NarrowString("t"), WideString(u"en"), false);
  const std::string self = fs::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(ToNarrow(beside.GetKitPath()), NarrowString((self + "/ordx.dkt").c_str()));
}

}  // namespace
}  // namespace ordx
