// The wizard driven in-process under the X display; the test answers its
// modal dialogs.
#include <gdk/gdkkeysyms.h>
#include <libintl.h>
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/gtk_language.h"
#include "app/installer_dlg.h"
#include "support/gui_test_support.h"
#include "support/installer_harness.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/message_box.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;
using guitest::DialogAnswerer, guitest::LabelText, guitest::ReadFileBytes;
enum How { kButton, kEscape, kClose };
const std::string kKey = "ConfigurationTemplatesLocation=";

class InstallerFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ORDX_REQUIRE_DISPLAY();
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
  CInstallerDlg& Open(const char16_t* language = u"en", bool wizard = true) {
    dialog_ = guitest::NewDialog(false, language);
    if (wizard && !guitest::OpenWizard(dialog_.get())) ADD_FAILURE() << "Prepare failed";
    guitest::Pump();
    return *dialog_;
  }
  static void Click(GtkWidget* button, int times = 1) {
    for (int i = 0; i < times; ++i) EXPECT_TRUE(guitest::Press(button));
  }
  // An xdg-open first on PATH that runs `body` into the log it returns.
  std::string StubXdgOpen(const std::string& body) {
    const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/opened.log";
    guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\n" + body + " > '" + log + "'\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    if (path_.empty()) path_ = getenv("PATH");
    setenv("PATH", (bin + ":" + path_).c_str(), 1);
    return log;
  }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::unique_ptr<CInstallerDlg> dialog_;
  guitest::Gate gate_;
  std::string path_;  // PATH before a stub xdg-open
};

// Enter is Next. Only "~" and "~/..." mean the home; a relative text is taken
// against the working directory; an empty or multi-line one is refused. Finish
// hands the description to xdg-open as one literal argument, if ticked.
TEST_F(InstallerFlowTest, EnterInstallsWhereTheTextPointsAndFinishOpensTheDescription) {
  const std::string odd = "-it's \"new\"/$HOME `id` & more";
  for (const auto& [typed, where] : {std::pair<std::string, std::string>{"~", "/home"},
           {"~/tmplts", "/home/tmplts"}, {"~\\win\\style", "/home/win/style"}, {"~x", "/kit/~x"},
           {"-it's \"new\"\\$HOME `id` & more", "/kit/" + odd}, {"", ""}, {"../line\nbreak", ""}}) {
    SCOPED_TRACE(typed);
    NewSandbox();
    const std::string log = StubXdgOpen("printf '%s|' \"$#\" \"$@\"");
    CInstallerDlg& dlg = Open(u"de");
    dlg.SetOpener(OpenWithXdgOpen);
    Click(dlg.nextButton());
    gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), typed.c_str());
    DialogAnswerer answerer;
    guitest::SendKey(dlg.window(), GDK_Return);
    // A button activated by a key shows itself pressed a moment first.
    testsupport::WaitUntil([&] {
      gtk_main_iteration_do(FALSE);
      return dlg.pageId() != kPageDirectory || !answerer.shown().empty();
    }, "Enter to press Next", 5);
    if (where.empty()) {
      EXPECT_EQ(dlg.pageId(), kPageDirectory);
      ASSERT_EQ(answerer.shown().size(), 1u);
      EXPECT_EQ(answerer.shown()[0].text, "Specify correct path to template directory.");
      EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_OTHER);
      EXPECT_FALSE(guitest::PathExists(sandbox_->root() + "/line\nbreak"));
      continue;
    }
    ASSERT_EQ(dlg.pageId(), kPageSuccess);
    const std::string target = sandbox_->root() + where;
    guitest::ExpectStandardFilesIn(target + "/");
    EXPECT_EQ(ReadFileBytes(sandbox_->mainStarterFile()), kKey + target + "\n");
    EXPECT_FALSE(guitest::PathExists(sandbox_->kitDir() + "/~"));
    const bool cleared = typed == "~x";
    if (cleared) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dlg.successPage()->openDescrCheck()), FALSE);
    Click(dlg.nextButton());
    EXPECT_EQ(dlg.window(), nullptr);
    EXPECT_EQ(ReadFileBytes(log), cleared ? "" : "1|" + target + "/TradeLite/2.1.4/docs/readme_de.html|");
  }
}

// A proposed directory that is no UTF-8 shows U+FFFD and is installed into and
// registered with its own bytes, other lines kept; a failed update is said.
TEST_F(InstallerFlowTest, UndecodableDirectoryKeepsItsBytesAndFailedRegistrationIsShown) {
  for (const bool registrationFails : {false, true}) {
    NewSandbox();
    const std::string target = sandbox_->root() + "/caf\xE9";
    fs::create_directories(target);
    const std::string starter = kKey + "/missing/x\n" + kKey + target + "\nOther=\xFF\n";
    guitest::WriteFileBytes(sandbox_->mainStarterFile(), starter);
    CInstallerDlg& dlg = Open();
    Click(dlg.nextButton());
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(dlg.dirPage()->entry()))),
              sandbox_->root() + "/caf\xEF\xBF\xBD");
    SetFaultHook([registrationFails](FileOp op, const WideString& path) -> ErrorCode {
      const bool ours = ToNarrow(path).find(".ordolaunch") != NarrowString::npos;
      return registrationFails && op == FileOp::kMoveFile && ours ? kErrorInvalidParameter : 0;
    });
    DialogAnswerer answerer;
    Click(dlg.nextButton());
    ASSERT_EQ(dlg.pageId(), kPageSuccess);
    guitest::ExpectStandardFilesIn(target + "/");
    EXPECT_EQ(answerer.shown().size(), registrationFails ? 1u : 0u);
    EXPECT_EQ(ReadFileBytes(sandbox_->mainStarterFile()),
              registrationFails ? starter : kKey + target + "\n" + kKey + "/missing/x\nOther=\xFF\n");
  }
}

TEST_F(InstallerFlowTest, WorkerThatCannotStartEndsOnErrorPage) {
  CInstallerDlg& dlg = Open();
  dlg.SetWorkerStarter([](InstallState*) { return EAGAIN; });  // posts nothing
  DialogAnswerer answerer;
  Click(dlg.nextButton(), 2);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Installation error");
  EXPECT_EQ(dlg.pageId(), kPageError);
}

// During the copy Cancel, Escape and the close button ask first; Yes rolls back
// to the tree before and ends on the error page, else the copy goes on.
TEST_F(InstallerFlowTest, CancelDuringTheCopyAsksAndYesRollsBack) {
  for (const auto& [how, answer] : {std::pair{kButton, GTK_RESPONSE_YES}, {kEscape, GTK_RESPONSE_YES},
           {kClose, GTK_RESPONSE_YES}, {kButton, GTK_RESPONSE_NO},
           {kEscape, GTK_RESPONSE_DELETE_EVENT}, {kClose, GTK_RESPONSE_NO}}) {
    SCOPED_TRACE(::testing::Message() << "how " << how << " answer " << answer);
    NewSandbox();
    const std::string target = sandbox_->defaultTarget(), old = target + "TradeLite/2.1.4/manifest.ini";
    guitest::WriteFileBytes(old, "old manifest\n");  // older than the kit's: replaced
    fs::last_write_time(old, fs::last_write_time(old) - std::chrono::hours(300000));  // 1992
    const auto before = guitest::Snapshot(target);
    CInstallerDlg& dlg = Open();
    SetFaultHook([this](FileOp op, const WideString& path) -> ErrorCode {
      if (guitest::IsLastFile(op, path)) gate_.Wait();
      return 0;
    });
    Click(dlg.nextButton());
    DialogAnswerer answerer;
    answerer.Plan(answer);
    double fraction = 0;
    const auto bar = [&] {
      ProgressPage* page = dlg.progressPage();
      return page ? gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(page->progressBar())) : 0.0;
    };
    // The worker waits before the last file; the bar must have moved.
    answerer.When([&] { return gate_.reached && bar() > 0; }, [&, how = how] {
      ASSERT_EQ(dlg.pageId(), kPageProgress);
      fraction = bar();
      EXPECT_EQ(LabelText(dlg.progressPage()->statusLabel()), "Files being copied...");
      EXPECT_FALSE(guitest::Press(dlg.backButton()));
      EXPECT_FALSE(guitest::Press(dlg.nextButton()));
      how == kButton ? Click(dlg.cancelButton()) : how == kEscape ? guitest::SendKey(dlg.window(), GDK_Escape)
                                                                  : guitest::SendDelete(dlg.window());
      gate_.open = true;
    });
    Click(dlg.nextButton());
    EXPECT_GT(fraction, 0.0);
    EXPECT_LT(fraction, 1.0);
    ASSERT_EQ(answerer.shown().size(), 1u) << "one question, no error box";
    EXPECT_EQ(answerer.shown()[0].text, "Do you really want to cancel installation?");
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_QUESTION);
    if (answer != GTK_RESPONSE_YES) {
      EXPECT_EQ(dlg.pageId(), kPageSuccess);
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

void CollectLabels(GtkWidget* widget, std::string* out) {
  if (GTK_IS_LABEL(widget)) *out += LabelText(widget) + "|";
  if (!GTK_IS_CONTAINER(widget)) return;
  gtk_container_forall(GTK_CONTAINER(widget), [](GtkWidget* child, gpointer data) {
    CollectLabels(child, static_cast<std::string*>(data));
  }, out);
}

// The chosen language reaches GTK's buttons (Armenian from our table, Arabic in
// English); xdg-open still gets the user's own LANGUAGE.
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
    EXPECT_EQ(ReadFileBytes(log), "pl");
  }
  unsetenv("LANGUAGE");
  textdomain(textdomain(nullptr));
  SetLanguage(kEnglishLanguageId);
}

}  // namespace
}  // namespace ordx
