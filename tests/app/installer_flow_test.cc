// The wizard driven in-process under the X display: pages, buttons, keys,
// the progress loop, success and rolled-back failure, Finish, the silent run
// and the pre-flight messages. Modal dialogs are answered by the test.
#include <fcntl.h>
#include <gdk/gdkkeysyms.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <libintl.h>
#include <thread>

#include <gtest/gtest.h>

#include "app/failure_cases.h"
#include "app/gtk_language.h"
#include "app/installer_dlg.h"
#include "engine/journal.h"
#include "ui/message_box.h"
#include "support/kit_builder.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "support/gui_test_support.h"
#include "support/installer_harness.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;
using guitest::DialogAnswerer, guitest::IsSensitive, guitest::IsVisible, guitest::LabelText;

// The window's own focus: whether the X server gives the window the
// keyboard depends on whatever else runs on the display.
bool HasFocus(GtkWidget* widget) {
  return gtk_window_get_focus(GTK_WINDOW(gtk_widget_get_toplevel(widget))) == widget;
}

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
  }
  void NewSandbox() {
    TearDown();
    gate_.open = false;
    gate_.reached = false;
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
  // Holds the worker before it writes the standard kit's last file.
  void HoldAtLastFile() {
    SetFaultHook([this](FileOp op, const WideString& path) -> ErrorCode {
      if (guitest::IsLastFile(op, path)) gate_.Wait();
      return 0;
    });
  }
  static void FailOnLastFile() {
    SetFaultHook([](FileOp op, const WideString& path) -> ErrorCode {
      return guitest::IsLastFile(op, path) ? kErrorInvalidParameter : 0;
    });
  }
  void ExpectStandardFilesIn(const std::string& dir) {
    for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
      std::string name(file.name.begin(), file.name.end());  // ASCII names
      std::replace(name.begin(), name.end(), '\\', '/');
      EXPECT_EQ(guitest::ReadFileBytes(dir + name), file.bytes) << dir + name;
    }
  }
  std::string Registered() { return guitest::ReadFileBytes(sandbox_->mainStarterFile()); }
  static void ExpectFinalButtons(CInstallerDlg& dlg) {
    EXPECT_FALSE(IsVisible(dlg.backButton()));
    EXPECT_TRUE(IsVisible(dlg.nextButton()));
    EXPECT_TRUE(IsSensitive(dlg.nextButton()));
    EXPECT_FALSE(IsSensitive(dlg.cancelButton()));
    EXPECT_TRUE(gtk_widget_has_default(dlg.nextButton()));
    EXPECT_EQ(LabelText(dlg.nextButton()), "Finish");
  }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::unique_ptr<CInstallerDlg> dialog_;
  std::vector<std::string> opened_;
  guitest::Gate gate_;
};

// The window as the window manager sees it, the welcome page, and the
// directory page with the keyboard: the field has the focus, Tab goes down
// the screen and then along the buttons, and Next is the marked default.
// An edited directory does not survive Back.
TEST_F(InstallerFlowTest, WindowAndPagesAsTheUserMeetsThem) {
  CInstallerDlg& dlg = Open();
  GtkWindow* window = GTK_WINDOW(dlg.window());
  EXPECT_STREQ(gtk_window_get_title(window), "Installing configuration");
  EXPECT_EQ(gtk_window_get_type_hint(window), GDK_WINDOW_TYPE_HINT_MENU);
  EXPECT_TRUE(gtk_window_get_modal(window));
  GdkPixbuf* icon = gtk_window_get_icon(window);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(icon), 256);
  gtk_window_resize(window, 800, 600);  // asking for more does not grow it
  guitest::Pump();
  GtkAllocation a;
  gtk_widget_get_allocation(dlg.window(), &a);
  EXPECT_EQ(std::make_pair(a.width, a.height), std::make_pair(500, 360));
  EXPECT_EQ(LabelText(dlg.welcomePage()->label()),
            "Welcome to the product installation program Trade Lite 2.1.4 (Northwind Software).");
  EXPECT_FALSE(IsSensitive(dlg.backButton()));
  EXPECT_FALSE(guitest::Press(dlg.backButton()));  // insensitive: nothing happens
  EXPECT_EQ(dlg.pageId(), kPageWelcome);
  GtkBorder* frame = nullptr;
  gtk_widget_style_get(dlg.nextButton(), "default-border", &frame, nullptr);
  EXPECT_TRUE(gtk_widget_has_default(dlg.nextButton()));
  if (frame != nullptr) {
    EXPECT_GT(frame->left + frame->right + frame->top + frame->bottom, 0)
        << "the default button is not marked";
  }
  if (frame != nullptr) gtk_border_free(frame);

  MessagePage* welcome = dlg.welcomePage();
  Click(dlg.nextButton());
  ASSERT_EQ(dlg.pageId(), kPageDirectory);
  EXPECT_TRUE(IsSensitive(dlg.backButton()));
  EXPECT_FALSE(gtk_widget_get_mapped(welcome->label()));
  DirSelectPage* page = dlg.dirPage();
  EXPECT_TRUE(HasFocus(page->entry()));
  const std::vector<GtkWidget*> screenOrder = {page->entry(), page->browseButton(),
                                               dlg.backButton(), dlg.nextButton(),
                                               dlg.cancelButton()};
  guitest::SendFocusIn(dlg.window());  // as a window manager gives it
  for (std::size_t i = 1; i < screenOrder.size(); ++i) {
    guitest::SendKey(dlg.window(), GDK_Tab);
    GtkWidget* focus = gtk_window_get_focus(window);
    EXPECT_TRUE(HasFocus(screenOrder[i]))
        << "Tab " << i << " went to " << (focus ? G_OBJECT_TYPE_NAME(focus) : "nothing") << " "
        << (focus && GTK_IS_BUTTON(focus) ? LabelText(focus) : "");
  }
  const NarrowString proposed(sandbox_->defaultTarget().c_str());
  EXPECT_EQ(ToNarrow(page->GetDirectory()), proposed);
  gtk_entry_set_text(GTK_ENTRY(page->entry()), "/edited/elsewhere");
  Click(dlg.backButton());
  EXPECT_EQ(dlg.pageId(), kPageWelcome);
  EXPECT_EQ(dlg.welcomePage(), welcome);
  EXPECT_FALSE(gtk_widget_get_mapped(page->entry()));
  Click(dlg.nextButton());
  EXPECT_EQ(ToNarrow(page->GetDirectory()), proposed);
  EXPECT_TRUE(HasFocus(page->entry()));
}

// Enter in the directory field is Next; "~" alone or leading "~/" is the
// home directory, any other "~" an ordinary name.
TEST_F(InstallerFlowTest, EnterInTheFieldInstallsWhereTheTextPoints) {
  struct Case {
    const char* typed;
    std::string installedIn;  // below the sandbox root
  };
  for (const Case& c : {Case{"~", "/home/"}, Case{"~/tmplts", "/home/tmplts/"},
                        Case{"~\\win\\style", "/home/win/style/"}, Case{"~x", "/kit/~x/"}}) {
    SCOPED_TRACE(c.typed);
    NewSandbox();
    CInstallerDlg& dlg = Open();
    Click(dlg.nextButton());
    gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), c.typed);
    guitest::SendKey(dlg.window(), GDK_Return);
    // A button activated from the keyboard shows itself pressed a moment
    // before it acts.
    const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    while (dlg.pageId() == kPageDirectory && g_get_monotonic_time() < deadline) {
      gtk_main_iteration_do(FALSE);
      g_usleep(1000);
    }
    ASSERT_EQ(dlg.pageId(), kPageSuccess) << "Enter did not press Next";
    ExpectStandardFilesIn(sandbox_->root() + c.installedIn);
    EXPECT_FALSE(guitest::PathExists(sandbox_->kitDir() + "/~"));
  }
}

// The folder chooser is titled, opens at the typed folder or its nearest
// existing parent, and its answer replaces the field; Cancel keeps it.
TEST_F(InstallerFlowTest, FolderChooserStartsAtTheTypedFolderAndItsAnswerReplacesTheField) {
  struct Case {
    std::string typed;
    std::string opensAt;
    gint answer;
  };
  const std::string home = sandbox_->home(), chosen = sandbox_->tmp();
  for (const Case& c : {Case{home + "/not/there/yet", home, GTK_RESPONSE_ACCEPT},
                        Case{"~/nothing", home, GTK_RESPONSE_ACCEPT},
                        Case{sandbox_->tmp(), sandbox_->tmp(), GTK_RESPONSE_CANCEL}}) {
    SCOPED_TRACE(c.typed);
    CInstallerDlg& dlg = Open();
    Click(dlg.nextButton());
    gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), c.typed.c_str());
    DialogAnswerer answerer;
    std::string title, openedAt;
    bool moved = false;
    answerer.Inspect([&](GtkWidget* chooser) {
      gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
      const std::string now = folder != nullptr ? folder : "";
      g_free(folder);
      if (!moved) {
        if (now.empty()) return false;  // still loading
        openedAt = now;
        title = gtk_window_get_title(GTK_WINDOW(chooser));
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), chosen.c_str());
        moved = true;
      }
      return now == chosen;
    });
    answerer.Plan(c.answer);
    Click(dlg.dirPage()->browseButton());
    EXPECT_EQ(title, "Choose Directory");
    EXPECT_EQ(openedAt, c.opensAt);
    EXPECT_EQ(ToNarrow(dlg.dirPage()->GetDirectory()),
              NarrowString((c.answer == GTK_RESPONSE_ACCEPT ? chosen : c.typed).c_str()));
  }
}

TEST_F(InstallerFlowTest, EmptyOrMultiLineDirectoryIsRefused) {
  CInstallerDlg& dlg = Open();
  Click(dlg.nextButton());
  DialogAnswerer answerer;
  for (const std::string& text : {std::string(), sandbox_->root() + "/line\nbreak"}) {
    gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), text.c_str());
    ASSERT_EQ(ToNarrow(dlg.dirPage()->GetDirectory()), NarrowString(text.c_str()));
    Click(dlg.nextButton());
    EXPECT_EQ(dlg.pageId(), kPageDirectory);
  }
  ASSERT_EQ(answerer.shown().size(), 2u);
  for (const auto& shown : answerer.shown()) {
    EXPECT_EQ(shown.text, "Specify correct path to template directory.");
    EXPECT_EQ(shown.type, GTK_MESSAGE_OTHER);  // plain
  }
  EXPECT_FALSE(guitest::PathExists(sandbox_->root() + "/line"));
}

TEST_F(InstallerFlowTest, ProposedDirectoryInstallsAndFinishWithBoxClearedOpensNothing) {
  CInstallerDlg& dlg = Open();
  // Registered by another installer while this one waited: kept.
  guitest::WriteFileBytes(sandbox_->mainStarterFile(), "ConfigurationTemplatesLocation=/srv/other\n");
  Next(dlg, 2);
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  const std::string target = sandbox_->defaultTarget();
  ExpectStandardFilesIn(target);
  EXPECT_EQ(Registered(), "ConfigurationTemplatesLocation=" + target.substr(0, target.size() - 1) +
                              "\nConfigurationTemplatesLocation=/srv/other\n");  // without its trailing slash
  EXPECT_EQ(LabelText(dlg.successPage()->label()), "Configuration installed successfully.");
  EXPECT_EQ(LabelText(dlg.progressPage()->statusLabel()), "Copying complete...");
  ExpectFinalButtons(dlg);
  EXPECT_TRUE(dlg.successPage()->IsOpenDescriptionChecked());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dlg.successPage()->openDescrCheck()), FALSE);
  Click(dlg.nextButton());
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_TRUE(opened_.empty());
}

// A proposed directory whose bytes are no UTF-8 is shown with U+FFFD and,
// unedited, installed into and registered with its own bytes, next to a
// foreign line that keeps its bytes too. A starter file that cannot be
// updated is reported in a box; the run still ends on the success page.
TEST_F(InstallerFlowTest, UndecodableDirectoryKeepsItsBytesAndFailedRegistrationIsShown) {
  for (const bool registrationFails : {false, true}) {
    NewSandbox();
    const std::string target = sandbox_->root() + "/caf\xE9";
    fs::create_directories(target);
    const std::string key = "ConfigurationTemplatesLocation=";
    const std::string starter = key + "/missing/x\n" + key + target + "\nOther=\xFF\n";
    guitest::WriteFileBytes(sandbox_->mainStarterFile(), starter);
    CInstallerDlg& dlg = Open();
    Click(dlg.nextButton());
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(dlg.dirPage()->entry()))),
              sandbox_->root() + "/caf\xEF\xBF\xBD");
    if (registrationFails) {
      SetFaultHook([](FileOp op, const WideString& path) -> ErrorCode {
        return op == FileOp::kMoveFile && ToNarrow(path).find(".ordolaunch") != NarrowString::npos
                   ? kErrorInvalidParameter
                   : 0;
      });
    }
    DialogAnswerer answerer;
    answerer.Plan(GTK_RESPONSE_OK);
    Click(dlg.nextButton());
    ASSERT_EQ(dlg.pageId(), kPageSuccess);
    ExpectStandardFilesIn(target + "/");
    if (registrationFails) {
      ASSERT_EQ(answerer.shown().size(), 1u);
      EXPECT_EQ(answerer.shown()[0].text,
                "The templates were installed, but the starter configuration could not be "
                "updated.");
      EXPECT_EQ(Registered(), starter);
    } else {
      EXPECT_TRUE(answerer.shown().empty());
      EXPECT_EQ(Registered(), key + target + "\n" + key + "/missing/x\nOther=\xFF\n");
    }
  }
}

// A typed directory with backslashes is installed into and registered; Finish
// hands the German description to xdg-open as one literal argument whatever
// characters it holds, never as an option (a relative path starting "-").
TEST_F(InstallerFlowTest, TypedDirectoryIsInstalledAndFinishOpensItsDescription) {
  const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/opened.log";
  guitest::WriteFileBytes(bin + "/xdg-open",
                          "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + log + "'\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  const std::string oldPath = getenv("PATH");
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
  CInstallerDlg& dlg = Open(false, u"de");
  dlg.SetOpener(OpenWithXdgOpen);
  Click(dlg.nextButton());
  const std::string target = "-it's \"new\"/$HOME `id` & more";  // in the working directory
  std::string typed = target;
  std::replace(typed.begin(), typed.end(), '/', '\\');
  gtk_entry_set_text(GTK_ENTRY(dlg.dirPage()->entry()), typed.c_str());
  Click(dlg.nextButton());
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  ExpectStandardFilesIn(target + "/");
  // A relative directory is taken against the working directory.
  const std::string absolute = std::filesystem::current_path().string() + "/" + target;
  EXPECT_EQ(Registered(), "ConfigurationTemplatesLocation=" + absolute + "\n");
  EXPECT_FALSE(guitest::PathExists(sandbox_->defaultTarget()));
  Click(dlg.nextButton());
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_EQ(guitest::ReadFileBytes(log), "1|" + absolute + "/TradeLite/2.1.4/docs/readme_de.html|");
}

// Interactive or silent, a failed copy is rolled back and reported in an
// error box (answered before the run goes on), then on the error page.
TEST_F(InstallerFlowTest, FailedInstallationRollsBackAndShowsErrorPage) {
  for (const bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "interactive");
    NewSandbox();
    // An older copy of a kit file that the run replaces before it fails.
    const std::string target = sandbox_->defaultTarget(), old = target + "TradeLite/2.1.4/manifest.ini";
    guitest::WriteFileBytes(old, "old manifest\n");
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
    const auto before = guitest::Snapshot(target);
    CInstallerDlg& dlg = Open(silent, u"en", !silent);
    FailOnLastFile();
    DialogAnswerer answerer;
    answerer.Plan(GTK_RESPONSE_OK);
    silent ? dlg.Run() : Next(dlg, 2);
    ASSERT_EQ(answerer.shown().size(), 1u);
    // An injected failure has no system reason, only the file.
    EXPECT_EQ(answerer.shown()[0].text, "Installation error\nTradeLite/2.1.4/TradeLite.cfg");
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
    ASSERT_EQ(dlg.pageId(), kPageError);
    EXPECT_EQ(LabelText(dlg.errorPage()->label()),
              "An error occurred during the installation process. Installation canceled. "
              "Template directory has not been changed.");
    ExpectFinalButtons(dlg);
    EXPECT_EQ(guitest::Snapshot(target), before);
    EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
    EXPECT_EQ(dlg.exitStatus(), 0);
  }
  Click(dialog_->nextButton());  // Finish on the error page only closes
  EXPECT_EQ(dialog_->window(), nullptr);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(InstallerFlowTest, WorkerThatCannotStartEndsOnErrorPage) {
  CInstallerDlg& dlg = Open();
  dlg.SetWorkerStarter([](InstallState*) { return EAGAIN; });  // posts nothing
  DialogAnswerer answerer;
  Next(dlg, 2);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "Installation error");
  EXPECT_EQ(dlg.pageId(), kPageError);
  EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
}

// During the copy Cancel, Escape and the close button ask first. Yes rolls
// the copy back, leaving the tree exactly as before, and ends on the error
// page with the cancel text and no error box; No, or closing the question,
// lets the copy go on. The bar has moved by then, and Back and Next cannot
// be pressed.
TEST_F(InstallerFlowTest, CancelDuringTheCopyAsksAndYesRollsBack) {
  enum How { kButton, kEscape, kClose };
  struct Case {
    How how;
    gint answer;
  };
  for (const Case& c : {Case{kButton, GTK_RESPONSE_YES}, Case{kEscape, GTK_RESPONSE_YES},
                        Case{kClose, GTK_RESPONSE_YES}, Case{kButton, GTK_RESPONSE_NO},
                        Case{kEscape, GTK_RESPONSE_DELETE_EVENT}, Case{kClose, GTK_RESPONSE_NO}}) {
    SCOPED_TRACE(::testing::Message() << "how " << c.how << " answer " << c.answer);
    NewSandbox();
    // An older copy of a kit file, which the run moves away before the cancel.
    const std::string target = sandbox_->defaultTarget();
    const std::string old = target + "TradeLite/2.1.4/manifest.ini";
    guitest::WriteFileBytes(old, "old manifest\n");
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
    const auto before = guitest::Snapshot(target);
    CInstallerDlg& dlg = Open();
    HoldAtLastFile();
    Click(dlg.nextButton());
    DialogAnswerer answerer;
    answerer.Plan(c.answer);
    double fraction = 0;
    const auto bar = [&] {
      return dlg.progressPage() != nullptr
                 ? gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(dlg.progressPage()->progressBar()))
                 : 0.0;
    };
    // The worker waits before the last file; the bar must have moved.
    answerer.When([&] { return gate_.reached && bar() > 0; }, [&] {
      ASSERT_EQ(dlg.pageId(), kPageProgress);
      fraction = bar();
      EXPECT_EQ(LabelText(dlg.progressPage()->statusLabel()), "Files being copied...");
      EXPECT_FALSE(guitest::Press(dlg.backButton()));
      EXPECT_FALSE(guitest::Press(dlg.nextButton()));
      if (c.how == kButton) Click(dlg.cancelButton());
      if (c.how == kEscape) guitest::SendKey(dlg.window(), GDK_Escape);
      if (c.how == kClose) guitest::SendDelete(dlg.window());
      ASSERT_NE(dlg.window(), nullptr);
      gate_.open = true;
    });
    Click(dlg.nextButton());
    EXPECT_GT(fraction, 0.0);
    EXPECT_LT(fraction, 1.0);
    ASSERT_GE(answerer.shown().size(), 1u);
    EXPECT_EQ(answerer.shown()[0].text, "Do you really want to cancel installation?");
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_QUESTION);
    EXPECT_EQ(answerer.shown().size(), 1u) << "no error box after a cancel";
    if (c.answer == GTK_RESPONSE_YES) {
      ASSERT_EQ(dlg.pageId(), kPageError);
      EXPECT_EQ(LabelText(dlg.errorPage()->label()),
                "Installation canceled. Template directory has not been changed.");
      ExpectFinalButtons(dlg);
      EXPECT_EQ(guitest::Snapshot(target), before);
      EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
    } else {
      ASSERT_EQ(dlg.pageId(), kPageSuccess);
      ExpectStandardFilesIn(target);
    }
  }
}

// Every label text inside `widget`, in order.
void CollectLabels(GtkWidget* widget, std::string* out) {
  if (GTK_IS_LABEL(widget)) *out += std::string(gtk_label_get_text(GTK_LABEL(widget))) + "|";
  if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget),
                         [](GtkWidget* child, gpointer data) {
                           CollectLabels(child, static_cast<std::string*>(data));
                         },
                         out);
  }
}

// A language chosen over the locale's reaches GTK's own buttons (Arabic,
// which has the English texts, keeps GTK in English); xdg-open still gets
// the LANGUAGE the user started the installer with.
TEST_F(InstallerFlowTest, GtkTextsFollowTheChosenLanguageAndChildrenKeepTheUsers) {
  const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/env.log";
  guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$LANGUAGE\" > '" + log + "'\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  const std::string oldPath = getenv("PATH");
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
  setenv("LANGUAGE", "pl", 1);  // the user's own, in a C.UTF-8 locale
  // Armenian: GTK's catalogue has no Yes and No for it, the table does.
  for (const auto& [code, buttons] : {std::pair<const char*, std::string>{"de", "Ja|Nein|"},
                                      {"hy", "Այո|Ոչ|"},
                                      {"ar", "Yes|No|"}}) {
    SCOPED_TRACE(buttons);
    SetLanguage(LookupLanguageCode(code));
    UseLanguageForGtk(ToWide(NarrowString(code)));
    // gettext keeps what it translated: a program sets LANGUAGE before its
    // first lookup, this test only after GTK's.
    textdomain(textdomain(nullptr));
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
  setenv("PATH", oldPath.c_str(), 1);
  unsetenv("LANGUAGE");
  textdomain(textdomain(nullptr));
  SetLanguage(kEnglishLanguageId);
}

// A kit slow to open shows the preparing window; its Cancel, Escape and
// close button end the run with no wizard, no message and nothing left in
// the temporary directory.
TEST_F(InstallerFlowTest, PreparingWindowEndsTheRunCleanly) {
  enum How { kButton, kEscape, kClose };
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
    answerer.When(
        [&] {
          return gate_.reached && dlg.preparingWindow() != nullptr &&
                 gtk_widget_get_mapped(dlg.preparingWindow()->window());
        },
        [&] {
          PreparingWindow* preparing = dlg.preparingWindow();
          if (how == kButton) Click(preparing->cancelButton());
          if (how == kEscape) guitest::SendKey(preparing->window(), GDK_Escape);
          if (how == kClose) guitest::SendDelete(preparing->window());
          hidden = !gtk_widget_get_visible(preparing->window());
          gate_.open = true;
        });
    dlg.Run();
    EXPECT_TRUE(hidden) << "the window stayed after the cancel";
    EXPECT_EQ(dlg.preparingWindow(), nullptr);
    EXPECT_EQ(dlg.window(), nullptr);
    EXPECT_TRUE(answerer.shown().empty());
    dialog_.reset();
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

// Names from the kit never vanish: a word too long for a line wraps within
// the text column, and a text too long for the page ends with "…" and shows
// whole as its tooltip.
TEST_F(InstallerFlowTest, LongNamesFromTheKitStayVisible) {
  std::u16string many;
  for (int i = 0; i < 150; ++i) many += u"Trade Lite ";
  struct Case {
    std::u16string product;
    bool cut;
  };
  for (const Case& c : {Case{std::u16string(60, u'W'), false}, Case{many, true}}) {
    SCOPED_TRACE(c.cut ? "cut" : "wrapped");
    NewSandbox();
    kittest::KitBuilder kit;
    kit.AddDescription(u"en", c.product.c_str(), u"Northwind", u"").AddFile(u"only.txt", "x");
    kittest::WriteKit(sandbox_->kitPath(), kit.Build());
    CInstallerDlg& dlg = Open();
    GtkWidget* label = dlg.welcomePage()->label();
    GtkAllocation a;
    gtk_widget_get_allocation(label, &a);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &logical);
    EXPECT_LE(a.x + logical.width, 500 - 8);  // inside the column, off the edge
    EXPECT_LE(a.y + logical.height, 310);     // above the separator
    const std::string whole = "Welcome to the product installation program " +
                              std::string(ToNarrow(WideString(c.product.c_str())).c_str()) +
                              " (Northwind).";
    gchar* tip = gtk_widget_get_tooltip_text(label);
    const std::string tooltip = tip != nullptr ? tip : "";
    g_free(tip);
    const std::string shown = LabelText(label);
    if (c.cut) {
      EXPECT_TRUE(shown.ends_with("\xE2\x80\xA6")) << shown;
      EXPECT_TRUE(whole.starts_with(shown.substr(0, shown.size() - 3)));
      EXPECT_EQ(tooltip, whole);
    } else {
      EXPECT_EQ(shown, whole);
      EXPECT_EQ(tooltip, "");
    }
  }
}

// Escape and Cancel on every other page ask first; only Yes closes.
TEST_F(InstallerFlowTest, EscapeAndCancelAskFirstOnEveryOtherPage) {
  for (const auto& [page, escape] : std::vector<std::pair<int, bool>>{
           {kPageWelcome, true}, {kPageWelcome, false}, {kPageDirectory, true},
           {kPageDirectory, false}, {kPageSuccess, true}, {kPageError, true}}) {
    SCOPED_TRACE(::testing::Message() << "page " << page << (escape ? " Escape" : " Cancel"));
    NewSandbox();
    CInstallerDlg& dlg = Open();
    DialogAnswerer answerer;
    if (page == kPageError) {
      FailOnLastFile();
      answerer.Plan(GTK_RESPONSE_OK);  // the error box on the way
    }
    Next(dlg, page >= kPageSuccess ? 2 : page - 1);
    ASSERT_EQ(dlg.pageId(), page);
    const std::size_t before = answerer.shown().size();
    answerer.Plan(GTK_RESPONSE_NO);
    answerer.Plan(GTK_RESPONSE_YES);
    for (const bool yes : {false, true}) {
      ASSERT_NE(dlg.window(), nullptr);
      escape ? guitest::SendKey(dlg.window(), GDK_Escape) : Click(dlg.cancelButton());
      EXPECT_EQ(dlg.window() == nullptr, yes);
      EXPECT_EQ(dlg.pageId(), page);
    }
    ASSERT_EQ(answerer.shown().size(), before + 2);
    EXPECT_EQ(answerer.shown().back().text, "Do you really want to cancel installation?");
    EXPECT_EQ(answerer.shown().back().type, GTK_MESSAGE_QUESTION);
  }
}

// Finish opens nothing outside the template directory and nothing missing;
// a kit without a description path opens the directory itself. (A kit
// without names gets placeholders in the welcome text.)
TEST_F(InstallerFlowTest, DescriptionPathDecidesWhatIsOpened) {
  for (const char16_t* description : {u"", u"..\\outside.html", u"docs\\absent.html"}) {
    SCOPED_TRACE(ToNarrow(WideString(description)).c_str());
    NewSandbox();
    kittest::KitBuilder kit;
    kit.AddDescription(u"en", u"", u"", description).AddFile(u"only.txt", "x");
    kittest::WriteKit(sandbox_->kitPath(), kit.Build());
    guitest::WriteFileBytes(sandbox_->home() + "/.ordx/Ordo/ordx/outside.html", "<html/>");
    opened_.clear();
    CInstallerDlg& dlg = Open();
    EXPECT_EQ(LabelText(dlg.welcomePage()->label()),
              "Welcome to the product installation program <Product> (<Vendor>).");
    Next(dlg, 3);
    EXPECT_EQ(dlg.window(), nullptr);
    EXPECT_EQ(opened_, *description == 0 ? std::vector<std::string>{sandbox_->defaultTarget()}
                                         : std::vector<std::string>{});
  }
}

TEST_F(InstallerFlowTest, SilentRunInstallsWithoutWaitingForFinish) {
  CInstallerDlg& dlg = Open(true);
  EXPECT_FALSE(IsVisible(dlg.backButton()));
  EXPECT_FALSE(IsVisible(dlg.nextButton()));
  DialogAnswerer answerer;
  dlg.StartInstall();  // what Run does next: returns by itself, no main loop
  EXPECT_TRUE(answerer.shown().empty());
  ASSERT_EQ(dlg.pageId(), kPageSuccess);
  ExpectFinalButtons(dlg);
  ExpectStandardFilesIn(sandbox_->defaultTarget());
  EXPECT_TRUE(guitest::PathExists(sandbox_->mainStarterFile()));
}

// The close button outside the copy closes without a question and ends the
// interactive run's main loop.
TEST_F(InstallerFlowTest, CloseButtonEndsTheInteractiveRunWithoutQuestion) {
  CInstallerDlg& dlg = Open(false, u"en", false);
  DialogAnswerer answerer;
  answerer.Later([&] { Click(dlg.nextButton()); });
  answerer.Later([&] { guitest::SendDelete(dlg.window()); });
  dlg.Run();
  EXPECT_EQ(dlg.window(), nullptr);
  EXPECT_TRUE(answerer.shown().empty());
  EXPECT_EQ(dlg.exitStatus(), 0);
}

// A missing kit, a damaged one, one too large for the temporary space, and
// (silent) no directory to propose each show their one error box and no
// window; status 0. A home directory whose path reads as an address leaves
// no directory: the silent run must not fall back to the working directory.
TEST_F(InstallerFlowTest, PreflightFailuresShowOneMessageAndNoWindow) {
  struct statvfs info {};
  ASSERT_EQ(statvfs(sandbox_->tmp().c_str(), &info), 0);
  // A sparse kit whose triple size is half as much again as the free space.
  const auto huge = static_cast<off_t>(std::uint64_t{info.f_frsize} * info.f_bfree / 2);
  const std::pair<const char*, std::function<void(const guitest::Sandbox&)>> cases[] = {
      {"Distribution kit file ordx.dkt not found.",
       [](const guitest::Sandbox& box) { fs::remove(box.kitPath()); }},
      {"Distribution kit file ordx.dkt corrupted or not designed for this installation program.",
       [](const guitest::Sandbox& box) { guitest::WriteFileBytes(box.kitPath(), "not a kit"); }},
      {"Insufficient space available in the directory Temp.",
       [huge](const guitest::Sandbox& box) {
         EXPECT_EQ(truncate(box.kitPath().c_str(), huge), 0);
       }},
      {"Installation of templates to the current directory is not supported.",
       [](const guitest::Sandbox& box) {
         fs::create_directories(box.root() + "/http://h");
         setenv("HOME", (box.root() + "/http://h").c_str(), 1);
       }}};
  for (const auto& [text, spoil] : cases) {
    SCOPED_TRACE(text);
    NewSandbox();
    spoil(*sandbox_);
    CInstallerDlg& dlg = Open(text != cases[0].first, u"en", false);  // the first interactive
    DialogAnswerer answerer;
    dlg.Run();
    ASSERT_EQ(answerer.shown().size(), 1u);
    EXPECT_EQ(answerer.shown()[0].text, text);
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(answerer.shown()[0].title, "Installing configuration");
    EXPECT_EQ(dlg.window(), nullptr);
    EXPECT_EQ(dlg.exitStatus(), 0);
    EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
    EXPECT_FALSE(guitest::PathExists(sandbox_->kitDir() + "/TradeLite"));
    dialog_.reset();  // an unpacked kit goes with the dialog
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

}  // namespace
}  // namespace ordx

namespace ordx {
namespace {

// The failures of the headless table, in the window: the error box holds
// the same lines, wrapped within the screen however long the path, and the
// run ends where the user can act on it (no window before the wizard, the
// directory page for a target without room, else the error page).
TEST_F(InstallerFlowTest, ErrorBoxSaysWhatFailedWhereAndWhy) {
  const int screenWidth = gdk_screen_get_width(gdk_screen_get_default());
  for (const failtest::FailureCase& c : failtest::FailureCases()) {
    SCOPED_TRACE(c.name);
    NewSandbox();
    failtest::Mounts mounts;
    const std::string skip = c.spoil(*sandbox_, &mounts);
    if (!skip.empty()) {
      std::printf("[  SKIPPED ] %s: %s\n", c.name, skip.c_str());
      continue;
    }
    const auto before = guitest::Snapshot(sandbox_->home());
    const bool early = c.stage == failtest::Stage::kPreparation;
    CInstallerDlg& dlg = Open(early, u"en", !early);
    DialogAnswerer answerer;
    answerer.Plan(GTK_RESPONSE_OK);
    int width = 0;
    answerer.Inspect([&width](GtkWidget* box) {
      GtkAllocation a;
      gtk_widget_get_allocation(box, &a);
      width = a.width;
      return gtk_widget_get_mapped(box) != FALSE;
    });
    early ? dlg.Run() : Next(dlg, 2);
    ASSERT_EQ(answerer.shown().size(), 1u);
    EXPECT_EQ(answerer.shown()[0].text, failtest::BoxText(c, *sandbox_));
    EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_ERROR);
    EXPECT_GT(width, 0);
    EXPECT_LE(width, screenWidth);
    EXPECT_EQ(dlg.pageId(), early                                   ? kPageNone
                            : c.stage == failtest::Stage::kTarget ? kPageDirectory
                                                                  : kPageError);
    EXPECT_EQ(guitest::Snapshot(sandbox_->home()), before);
    dialog_.reset();  // the unpacked kit goes before its file system
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

// Next on the directory page takes the target before the copy: one that
// another installer holds is refused there (the page stays, nothing
// changes); what a killed run left is undone first, said in a box, and the
// copy goes on.
TEST_F(InstallerFlowTest, NextTakesTheTargetBusyOrRecoveredFirst) {
  const std::string target = sandbox_->defaultTarget();
  fs::create_directories(target);
  {
    CInstallerDlg& dlg = Open();
    const int held = open(target.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    DialogAnswerer answerer;
    answerer.Plan(GTK_RESPONSE_OK);
    Next(dlg, 2);
    close(held);
    ASSERT_EQ(answerer.shown().size(), 1u);
    EXPECT_EQ(answerer.shown()[0].text,
              "Another installation into this directory is running. Try again when it has "
              "finished.");
    EXPECT_EQ(dlg.pageId(), kPageDirectory);
    EXPECT_TRUE(fs::is_empty(target));
  }
  // A killed run had saved the user's a.txt, replaced it, and added b.txt.
  const std::string tx = target + ".ordx-transaction";
  guitest::WriteFileBytes(target + "a.txt", "the user's");
  fs::create_directories(tx);
  ASSERT_EQ(link((target + "a.txt").c_str(), (tx + "/b0").c_str()), 0);
  guitest::WriteFileBytes(target + "new", "the run's");
  fs::rename(target + "new", target + "a.txt");
  guitest::WriteFileBytes(target + "b.txt", "the run's");
  struct stat added {};
  ASSERT_EQ(stat((target + "b.txt").c_str(), &added), 0);
  guitest::WriteFileBytes(tx + "/journal",
                          EncodeRecord({JournalRecord::kSaved, 0, 0, u"a.txt"}) +
                              EncodeRecord({JournalRecord::kNewFile, added.st_ino, 0, u"b.txt"}));
  // Private, as a run makes them: recovery obeys no one else's journal.
  ASSERT_EQ(chmod(tx.c_str(), 0700), 0);
  ASSERT_EQ(chmod((tx + "/journal").c_str(), 0600), 0);
  CInstallerDlg& dlg = Open();
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  Next(dlg, 2);
  ASSERT_EQ(answerer.shown().size(), 1u);
  EXPECT_EQ(answerer.shown()[0].text, "An interrupted installation into this directory was undone.");
  EXPECT_EQ(dlg.pageId(), kPageSuccess);
  EXPECT_EQ(guitest::ReadFileBytes(target + "a.txt"), "the user's");
  EXPECT_FALSE(guitest::PathExists(target + "b.txt"));
  EXPECT_FALSE(guitest::PathExists(tx));
  ExpectStandardFilesIn(target);
}

}  // namespace
}  // namespace ordx
