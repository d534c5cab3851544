// The wizard driven in-process under the X display: pages, keys, the copy
// and its cancel, success and rolled-back failure, Finish, the silent run
// and every failure's error box. Modal dialogs are answered by the test.
#include <gdk/gdkkeysyms.h>
#include <libintl.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/failure_cases.h"
#include "app/gtk_language.h"
#include "app/installer_dlg.h"
#include "support/gui_test_support.h"
#include "support/installer_harness.h"
#include "support/kit_builder.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/message_box.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;
using guitest::DialogAnswerer, guitest::IsSensitive, guitest::IsVisible, guitest::LabelText;
enum How { kButton, kEscape, kClose };

class InstallerFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ORDX_REQUIRE_DISPLAY();
    SetLanguage(kEnglishLanguageId);
    NewSandbox();
  }
  void TearDown() override {
    gate_.open = true;
    dialog_.reset();  // joins the worker before the hook goes
    SetFaultHook({});
    sandbox_.reset();
    if (!path_.empty()) setenv("PATH", path_.c_str(), 1);
  }
  void NewSandbox() {
    TearDown();
    gate_.open = gate_.reached = false;
    sandbox_ = std::make_unique<guitest::Sandbox>();
    guitest::WriteStandardKit(sandbox_->kitPath());
  }
  // A dialog as start-up builds it; `wizard`: showing the welcome page.
  CInstallerDlg& Open(bool silent = false, const char16_t* language = u"en", bool wizard = true) {
    dialog_ = guitest::NewDialog(silent, language);
    dialog_->SetOpener([this](const NarrowString& path) { opened_.emplace_back(path.c_str()); });
    if (wizard && !guitest::OpenWizard(dialog_.get())) ADD_FAILURE() << "Prepare failed";
    guitest::Pump();
    return *dialog_;
  }
  static void Click(GtkWidget* button) { EXPECT_TRUE(guitest::Press(button)); }
  static void Next(CInstallerDlg& dlg, int times) {
    for (int i = 0; i < times; ++i) Click(dlg.nextButton());
  }
  static void Act(How how, GtkWidget* window, GtkWidget* cancel) {
    how == kButton   ? Click(cancel)
    : how == kEscape ? guitest::SendKey(window, GDK_Escape)
                     : guitest::SendDelete(window);
  }
  // The worker fails at (or, `hold`, waits before) the kit's last file.
  void AtLastFile(bool hold) {
    SetFaultHook([this, hold](FileOp op, const WideString& path) -> ErrorCode {
      if (!guitest::IsLastFile(op, path)) return 0;
      if (hold) gate_.Wait();
      return hold ? 0 : kErrorInvalidParameter;
    });
  }
  // An xdg-open first on PATH that runs `body`; the log it may write.
  std::string StubXdgOpen(const std::string& body) {
    const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/opened.log";
    guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\n" + body + " > '" + log + "'\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    if (path_.empty()) path_ = getenv("PATH");
    setenv("PATH", (bin + ":" + path_).c_str(), 1);
    return log;
  }
  std::string Registered() { return guitest::ReadFileBytes(sandbox_->mainStarterFile()); }
  static void ExpectFinalButtons(CInstallerDlg& dlg) {
    EXPECT_FALSE(IsVisible(dlg.backButton()));
    EXPECT_TRUE(IsSensitive(dlg.nextButton()));
    EXPECT_FALSE(IsSensitive(dlg.cancelButton()));
    EXPECT_TRUE(gtk_widget_has_default(dlg.nextButton()));
    EXPECT_EQ(LabelText(dlg.nextButton()), "Finish");
  }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::unique_ptr<CInstallerDlg> dialog_;
  std::vector<std::string> opened_;
  guitest::Gate gate_;
  std::string path_;  // PATH before a stub xdg-open
};

// Enter in the field is Next; "~" alone or leading "~/" is the home
// directory, any other "~" an ordinary name; an empty or multi-line text is
// refused in a box and nothing is made.
TEST_F(InstallerFlowTest, EnterInstallsWhereTheTextPoints) {
  for (const auto& [typed, where] : {std::pair<std::string, const char*>{"~", "/home/"},
           {"~/tmplts", "/home/tmplts/"}, {"~\\win\\style", "/home/win/style/"},
           {"~x", "/kit/~x/"}, {"", nullptr}, {"../line\nbreak", nullptr}}) {
    SCOPED_TRACE(typed);
    NewSandbox();
    CInstallerDlg& dlg = Open();
    Click(dlg.nextButton());
    gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), typed.c_str());
    DialogAnswerer answerer;
    guitest::SendKey(dlg.window(), GDK_Return);
    // A button activated by a key shows itself pressed a moment first.
    testsupport::WaitUntil([&] {
      gtk_main_iteration_do(FALSE);
      return dlg.pageId() != kPageDirectory || !answerer.shown().empty();
    }, "Enter to press Next", 5);
    if (where == nullptr) {
      EXPECT_EQ(dlg.pageId(), kPageDirectory);
      ASSERT_EQ(answerer.shown().size(), 1u);
      EXPECT_EQ(answerer.shown()[0].text, "Specify correct path to template directory.");
      EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_OTHER);
      EXPECT_FALSE(guitest::PathExists(sandbox_->root() + "/line\nbreak"));
      continue;
    }
    ASSERT_EQ(dlg.pageId(), kPageSuccess);
    guitest::ExpectStandardFilesIn(sandbox_->root() + where);
    EXPECT_FALSE(guitest::PathExists(sandbox_->kitDir() + "/~"));
  }
}

// A proposed directory whose bytes are no UTF-8 shows U+FFFD and is, unedited,
// installed into and registered with its own bytes, above the other lines
// kept byte for byte; a starter file that cannot be updated is reported in a
// box, and the run still succeeds.
TEST_F(InstallerFlowTest, UndecodableDirectoryKeepsItsBytesAndFailedRegistrationIsShown) {
  for (const bool registrationFails : {false, true}) {
    NewSandbox();
    const std::string target = sandbox_->root() + "/caf\xE9", key = "ConfigurationTemplatesLocation=";
    fs::create_directories(target);
    const std::string starter = key + "/missing/x\n" + key + target + "\nOther=\xFF\n";
    guitest::WriteFileBytes(sandbox_->mainStarterFile(), starter);
    CInstallerDlg& dlg = Open();
    Click(dlg.nextButton());
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(dlg.dirPage()->entry()))),
              sandbox_->root() + "/caf\xEF\xBF\xBD");
    if (registrationFails) {
      SetFaultHook([](FileOp op, const WideString& path) -> ErrorCode {
        const bool ours = ToNarrow(path).find(".ordolaunch") != NarrowString::npos;
        return op == FileOp::kMoveFile && ours ? kErrorInvalidParameter : 0;
      });
    }
    DialogAnswerer answerer;
    Click(dlg.nextButton());
    ASSERT_EQ(dlg.pageId(), kPageSuccess);
    guitest::ExpectStandardFilesIn(target + "/");
    EXPECT_EQ(answerer.shown().size(), registrationFails ? 1u : 0u);
    EXPECT_EQ(Registered(),
              registrationFails ? starter : key + target + "\n" + key + "/missing/x\nOther=\xFF\n");
  }
  EXPECT_EQ(dialog_->exitStatus(), 0);
}

// A relative typed directory with backslashes is taken against the working
// directory; Finish hands the German description to xdg-open as one literal
// argument, never as an option.
TEST_F(InstallerFlowTest, TypedDirectoryIsInstalledAndFinishOpensItsDescription) {
  const std::string log = StubXdgOpen("printf '%s|' \"$#\" \"$@\"");
  CInstallerDlg& dlg = Open(false, u"de");
  dlg.SetOpener(OpenWithXdgOpen);
  Click(dlg.nextButton());
  gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), "-it's \"new\"\\$HOME `id` & more");
  Click(dlg.nextButton());
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  const std::string absolute = sandbox_->kitDir() + "/-it's \"new\"/$HOME `id` & more";
  guitest::ExpectStandardFilesIn(absolute + "/");
  EXPECT_EQ(Registered(), "ConfigurationTemplatesLocation=" + absolute + "\n");
  EXPECT_FALSE(guitest::PathExists(sandbox_->defaultTarget()));
  Click(dlg.nextButton());
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_EQ(guitest::ReadFileBytes(log), "1|" + absolute + "/TradeLite/2.1.4/docs/readme_de.html|");
}

// Finish opens nothing when the box is cleared, nothing outside the template
// directory and nothing missing; no description path opens the directory.
TEST_F(InstallerFlowTest, FinishOpensOnlyAnExistingDescriptionInside) {
  const std::string dir = "/.ordx/Ordo/ordx/tmplts/";
  for (const auto& [description, opened] : {std::pair<const char16_t*, std::string>{u"", dir},
           {u"..\\outside.html", ""}, {u"docs\\absent.html", ""}, {u"only.txt", "-"}}) {
    NewSandbox();
    kittest::KitBuilder kit;
    kit.AddDescription(u"en", u"", u"", description).AddFile(u"only.txt", "x");
    kittest::WriteKit(sandbox_->kitPath(), kit.Build());
    guitest::WriteFileBytes(sandbox_->home() + "/.ordx/Ordo/ordx/outside.html", "<html/>");
    opened_.clear();
    CInstallerDlg& dlg = Open();
    EXPECT_EQ(LabelText(dlg.welcomePage()->label()),
              "Welcome to the product installation program <Product> (<Vendor>).");
    Next(dlg, 2);
    const bool cleared = opened == "-";
    if (cleared) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dlg.successPage()->openDescrCheck()), FALSE);
    Click(dlg.nextButton());
    EXPECT_EQ(dlg.window(), nullptr);
    EXPECT_EQ(opened_.size(), opened.empty() || cleared ? 0u : 1u);
    for (const std::string& path : opened_) EXPECT_EQ(path, sandbox_->home() + opened);
  }
}

// A silent run in the window installs and ends on the success page without
// waiting for Finish, or on the error page after the error box.
TEST_F(InstallerFlowTest, SilentRunEndsOnItsFinalPage) {
  for (const bool fails : {false, true}) {
    NewSandbox();
    CInstallerDlg& dlg = Open(true, u"en", false);
    if (fails) AtLastFile(false);
    DialogAnswerer answerer;
    dlg.Run();
    EXPECT_EQ(answerer.shown().size(), fails ? 1u : 0u);
    EXPECT_EQ(dlg.pageId(), fails ? kPageError : kPageSuccess);
    ExpectFinalButtons(dlg);
    EXPECT_EQ(guitest::PathExists(sandbox_->mainStarterFile()), !fails);
    EXPECT_EQ(guitest::PathExists(sandbox_->defaultTarget() + "TradeLite"), !fails);
  }
}

TEST_F(InstallerFlowTest, WorkerThatCannotStartEndsOnErrorPage) {
  CInstallerDlg& dlg = Open();
  dlg.SetWorkerStarter([](InstallState*) { return EAGAIN; });  // posts nothing
  DialogAnswerer answerer;
  Next(dlg, 2);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Installation error");
  EXPECT_EQ(dlg.pageId(), kPageError);
}

// During the copy Cancel, Escape and the close button ask first, while Back
// and Next cannot be pressed. Yes rolls back to exactly the tree before and
// ends on the error page with the cancel text and no error box; No, or
// closing the question, lets the copy go on.
TEST_F(InstallerFlowTest, CancelDuringTheCopyAsksAndYesRollsBack) {
  for (const auto& [how, answer] : {std::pair{kButton, GTK_RESPONSE_YES}, {kEscape, GTK_RESPONSE_YES},
           {kClose, GTK_RESPONSE_YES}, {kButton, GTK_RESPONSE_NO},
           {kEscape, GTK_RESPONSE_DELETE_EVENT}, {kClose, GTK_RESPONSE_NO}}) {
    SCOPED_TRACE(::testing::Message() << "how " << how << " answer " << answer);
    NewSandbox();
    const std::string target = sandbox_->defaultTarget();
    const std::string old = target + "TradeLite/2.1.4/manifest.ini";
    guitest::WriteFileBytes(old, "old manifest\n");  // older than the kit's: replaced
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
    const auto before = guitest::Snapshot(target);
    CInstallerDlg& dlg = Open();
    AtLastFile(true);
    Click(dlg.nextButton());
    DialogAnswerer answerer;
    answerer.Plan(answer);
    double fraction = 0;
    answerer.When([&] { return gate_.reached.load(); }, [&, how = how] {
      ASSERT_EQ(dlg.pageId(), kPageProgress);
      guitest::Pump();
      fraction = gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(dlg.progressPage()->progressBar()));
      EXPECT_EQ(LabelText(dlg.progressPage()->statusLabel()), "Files being copied...");
      EXPECT_FALSE(guitest::Press(dlg.backButton()));
      EXPECT_FALSE(guitest::Press(dlg.nextButton()));
      Act(how, dlg.window(), dlg.cancelButton());
      gate_.open = true;
    });
    Click(dlg.nextButton());
    EXPECT_GT(fraction, 0.0);
    EXPECT_LT(fraction, 1.0);
    ASSERT_EQ(answerer.shown().size(), 1u) << "one question, no error box";
    EXPECT_EQ(answerer.shown()[0].text, "Do you really want to cancel installation?");
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_QUESTION);
    if (answer != GTK_RESPONSE_YES) {
      ASSERT_EQ(dlg.pageId(), kPageSuccess);
      guitest::ExpectStandardFilesIn(target);
      continue;
    }
    ASSERT_EQ(dlg.pageId(), kPageError);
    EXPECT_EQ(LabelText(dlg.errorPage()->label()),
              "Installation canceled. Template directory has not been changed.");
    EXPECT_EQ(guitest::Snapshot(target), before);
    EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
  }
}

// Outside the copy Escape and Cancel ask first and only Yes closes; the
// close button closes at once.
TEST_F(InstallerFlowTest, OtherPagesAskBeforeTheyCloseButTheCloseButton) {
  for (const auto& [page, how] : {std::pair{kPageWelcome, kEscape}, {kPageWelcome, kButton},
           {kPageDirectory, kEscape}, {kPageDirectory, kButton}, {kPageSuccess, kEscape},
           {kPageError, kEscape}, {kPageDirectory, kClose}}) {
    SCOPED_TRACE(::testing::Message() << "page " << page << " how " << how);
    NewSandbox();
    CInstallerDlg& dlg = Open();
    if (page == kPageError) AtLastFile(false);
    DialogAnswerer answerer;
    Next(dlg, page >= kPageSuccess ? 2 : page - 1);
    ASSERT_EQ(dlg.pageId(), page);
    const std::size_t before = answerer.shown().size();
    answerer.Plan(GTK_RESPONSE_NO);
    answerer.Plan(GTK_RESPONSE_YES);
    for (const bool yes : {false, true}) {
      Act(how, dlg.window(), dlg.cancelButton());
      EXPECT_EQ(dlg.pageId(), page);
      EXPECT_EQ(dlg.window() == nullptr, yes || how == kClose);
      if (how == kClose) break;
    }
    ASSERT_EQ(answerer.shown().size(), before + (how == kClose ? 0 : 2));
    for (std::size_t i = before; i < answerer.shown().size(); ++i) {
      EXPECT_EQ(answerer.shown()[i].text, "Do you really want to cancel installation?");
      EXPECT_EQ(answerer.shown()[i].type, GTK_MESSAGE_QUESTION);
    }
  }
}

// Every label text inside `widget`, in order.
void CollectLabels(GtkWidget* widget, std::string* out) {
  if (GTK_IS_LABEL(widget)) *out += std::string(gtk_label_get_text(GTK_LABEL(widget))) + "|";
  if (!GTK_IS_CONTAINER(widget)) return;
  gtk_container_forall(GTK_CONTAINER(widget), [](GtkWidget* child, gpointer data) {
    CollectLabels(child, static_cast<std::string*>(data));
  }, out);
}

// The chosen language reaches GTK's own buttons (Armenian from the table,
// GTK has none; Arabic, which has the English texts, keeps GTK in English);
// xdg-open still gets the user's own LANGUAGE.
TEST_F(InstallerFlowTest, GtkTextsFollowTheChosenLanguageAndChildrenKeepTheUsers) {
  const std::string log = StubXdgOpen("printf '%s' \"$LANGUAGE\"");
  setenv("LANGUAGE", "pl", 1);
  for (const auto& [code, buttons] : {std::pair<const char*, std::string>{"de", "Ja|Nein|"},
                                      {"hy", "Այո|Ոչ|"}, {"ar", "Yes|No|"}}) {
    SetLanguage(LookupLanguageCode(code));
    UseLanguageForGtk(ToWide(NarrowString(code)));
    textdomain(textdomain(nullptr));  // gettext forgets what it translated
    DialogAnswerer answerer;
    std::string shown;
    answerer.Inspect([&](GtkWidget* dialog) {
      CollectLabels(gtk_dialog_get_action_area(GTK_DIALOG(dialog)), &shown);
      return true;
    });
    ordx::MessageBox(nullptr, u"?", kMbQuestionYesNo);
    EXPECT_EQ(shown, buttons);
    OpenWithXdgOpen(NarrowString("x"));
    EXPECT_EQ(guitest::ReadFileBytes(log), "pl");
  }
  unsetenv("LANGUAGE");
  textdomain(textdomain(nullptr));
}

// A kit slow to open shows the preparing window; its Cancel, Escape and
// close button end the run with no wizard, no message and an empty TMPDIR.
TEST_F(InstallerFlowTest, PreparingWindowEndsTheRunCleanly) {
  for (const How how : {kButton, kEscape, kClose}) {
    SCOPED_TRACE(::testing::Message() << "how " << how);
    NewSandbox();
    CInstallerDlg& dlg = Open(false, u"en", false);
    dlg.SetPreparingDelay(0);
    const std::thread::id windowThread = std::this_thread::get_id();
    SetFaultHook([this, windowThread](FileOp, const WideString&) -> ErrorCode {
      if (std::this_thread::get_id() != windowThread) gate_.Wait();  // the unpacking
      return 0;
    });
    DialogAnswerer answerer;
    bool hidden = false;
    answerer.When([&] {
      return gate_.reached && dlg.preparingWindow() != nullptr &&
             gtk_widget_get_mapped(dlg.preparingWindow()->window());
    }, [&] {
      PreparingWindow* preparing = dlg.preparingWindow();
      Act(how, preparing->window(), preparing->cancelButton());
      hidden = !gtk_widget_get_visible(preparing->window());
      gate_.open = true;
    });
    dlg.Run();
    EXPECT_TRUE(hidden) << "the window stayed after the cancel";
    EXPECT_EQ(dlg.window(), nullptr);
    EXPECT_TRUE(answerer.shown().empty());
    dialog_.reset();
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

// Each failure's error box holds its lines, wrapped within the screen, and
// the run ends where the user can act: no window before the wizard, the
// directory page for the target, else the error page; the home is untouched.
TEST_F(InstallerFlowTest, ErrorBoxSaysWhatFailedWhereAndWhy) {
  const int screenWidth = gdk_screen_get_width(gdk_screen_get_default());
  for (std::size_t i = 0; i < failtest::FailureCases(*sandbox_).size(); ++i) {
    NewSandbox();
    const failtest::FailureCase c = failtest::FailureCases(*sandbox_)[i];
    SCOPED_TRACE(c.name);
    failtest::Held held;
    if (const std::string skip = c.spoil(*sandbox_, &held); !skip.empty()) {
      std::printf("[  SKIPPED ] %s: %s\n", c.name, skip.c_str());
      continue;
    }
    const auto before = guitest::Snapshot(sandbox_->home());
    const bool early = c.stage == failtest::Stage::kPreparation;
    CInstallerDlg& dlg = Open(early, u"en", !early);
    DialogAnswerer answerer;
    int width = 0;
    answerer.Inspect([&width](GtkWidget* box) {
      GtkAllocation a;
      gtk_widget_get_allocation(box, &a);
      width = a.width;
      return gtk_widget_get_mapped(box) != FALSE;
    });
    early ? dlg.Run() : Next(dlg, 2);
    ASSERT_EQ(answerer.shown().size(), 1u);
    EXPECT_EQ(answerer.shown()[0].text, failtest::Text(c, false));
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(answerer.shown()[0].title, "Installing configuration");
    EXPECT_GT(width, 0);
    EXPECT_LE(width, screenWidth);
    EXPECT_EQ(dlg.pageId(), early ? kPageNone
                            : c.stage == failtest::Stage::kTarget ? kPageDirectory : kPageError);
    if (c.stage == failtest::Stage::kCopy) {
      EXPECT_EQ(LabelText(dlg.errorPage()->label()),
                "An error occurred during the installation process. Installation canceled. "
                "Template directory has not been changed.");
      ExpectFinalButtons(dlg);
    }
    EXPECT_EQ(guitest::Snapshot(sandbox_->home()), before);
    EXPECT_FALSE(guitest::PathExists(sandbox_->kitDir() + "/TradeLite"));
    dialog_.reset();  // the unpacked kit goes before its file system
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

}  // namespace
}  // namespace ordx
