// The wizard pages, the GTK message box and the folder chooser, built in a
// plain window under the X display.
#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "text/convert.h"
#include "text/string_table.h"
#include "ui/dir_select_page.h"
#include "ui/images.h"
#include "ui/message_box.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"

namespace ordx {
namespace {

using guitest::DialogAnswerer;
using guitest::LabelText;
using guitest::Pump;

class TitledOwner : public CWnd {
 public:
  WideString GetTitle() const override { return u"Installing configuration"; }
};

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ORDX_REQUIRE_DISPLAY();
    SetLanguage(kEnglishLanguageId);
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(window_, 500, 360);
    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window_), fixed_);
    side_ = LoadSideImage();
    gtk_widget_show_all(window_);
  }
  void TearDown() override {
    if (window_ != nullptr) gtk_widget_destroy(window_);
    if (side_ != nullptr) g_object_unref(side_);
  }

  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  GdkPixbuf* side_ = nullptr;
};

TEST_F(PageTest, MessagePageLaysOutPictureAndWrappingText) {
  MessagePage page(fixed_, side_, u"Welcome text");
  ASSERT_EQ(page.widgets().size(), 2u);
  EXPECT_EQ(page.widgets()[0], page.image());
  EXPECT_EQ(page.widgets()[1], page.label());
  EXPECT_EQ(LabelText(page.label()), "Welcome text");
  // Built hidden; Show and Hide act on every widget.
  EXPECT_FALSE(guitest::IsVisible(page.label()));
  page.Show();
  EXPECT_TRUE(guitest::IsVisible(page.image()));
  EXPECT_TRUE(guitest::IsVisible(page.label()));
  page.Hide();
  EXPECT_FALSE(guitest::IsVisible(page.image()));
  page.SetText(u"Changed 100%");
  EXPECT_EQ(LabelText(page.label()), "Changed 100%");
}

TEST_F(PageTest, SuccessPageCheckBoxStartsTicked) {
  SuccessFinalPage page(fixed_, side_, u"Done.");
  ASSERT_EQ(page.widgets().size(), 3u);
  EXPECT_EQ(page.widgets()[2], page.openDescrCheck());
  EXPECT_EQ(LabelText(page.openDescrCheck()), "Open description of distribution package");
  EXPECT_TRUE(page.IsOpenDescriptionChecked());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(page.openDescrCheck()), FALSE);
  EXPECT_FALSE(page.IsOpenDescriptionChecked());
}

TEST_F(PageTest, ProgressShowsFinishTextAtExactlyOneHundred) {
  ProgressPage page(fixed_, 480);
  EXPECT_EQ(LabelText(page.statusLabel()), "Files being copied...");
  const GtkProgressBar* bar = GTK_PROGRESS_BAR(page.progressBar());
  page.SetProgress(99);
  EXPECT_EQ(LabelText(page.statusLabel()), "Files being copied...");
  EXPECT_NEAR(gtk_progress_bar_get_fraction(const_cast<GtkProgressBar*>(bar)), 0.99, 1e-9);
  page.SetProgress(100);
  EXPECT_EQ(LabelText(page.statusLabel()), "Copying complete...");
  EXPECT_NEAR(gtk_progress_bar_get_fraction(const_cast<GtkProgressBar*>(bar)), 1.0, 1e-9);
  page.SetProgress(101);
  EXPECT_EQ(LabelText(page.statusLabel()), "Files being copied...");
  page.SetProgress(0);
  EXPECT_NEAR(gtk_progress_bar_get_fraction(const_cast<GtkProgressBar*>(bar)), 0.0, 1e-9);
}

TEST_F(PageTest, ChooserCancelKeepsEntryAndChoiceReplacesIt) {
  DirSelectPage page(fixed_, side_);
  page.Show();
  page.SetDirectory(u"typed/by/user");
  {
    DialogAnswerer answerer;
    answerer.Plan(GTK_RESPONSE_CANCEL);
    page.OnBrowse();
    ASSERT_EQ(answerer.shown().size(), 1u);
    EXPECT_FALSE(answerer.shown()[0].isMessage);
  }
  EXPECT_EQ(page.GetDirectory(), WideString(u"typed/by/user"));

  std::string base = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/chooserXXXXXX";
  ASSERT_NE(mkdtemp(base.data()), nullptr);
  {
    DialogAnswerer answerer;
    answerer.Plan(guitest::Answer{GTK_RESPONSE_ACCEPT, base, {}});
    page.OnBrowse();
    ASSERT_EQ(answerer.shown().size(), 1u);
  }
  EXPECT_EQ(ToNarrow(page.GetDirectory()), NarrowString(base.c_str()));
  std::filesystem::remove_all(base);
}

TEST_F(PageTest, MessageBoxShowsTextLiterallyWithOwnerTitle) {
  const TitledOwner owner;
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_OK);
  EXPECT_EQ(MessageBox(&owner, u"50% done %s %d", kMbErrorOk), kIdOk);
  ASSERT_EQ(answerer.shown().size(), 1u);
  const auto& shown = answerer.shown()[0];
  EXPECT_TRUE(shown.isMessage);
  EXPECT_EQ(shown.text, "50% done %s %d");
  EXPECT_EQ(shown.title, "Installing configuration");
  EXPECT_EQ(shown.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(shown.responses, std::vector<gint>{GTK_RESPONSE_OK});
}

TEST_F(PageTest, QuestionAnswersAndClosingGiveTheirResults) {
  const TitledOwner owner;
  DialogAnswerer answerer;
  answerer.Plan(GTK_RESPONSE_NO);
  answerer.Plan(GTK_RESPONSE_YES);
  answerer.Plan(GTK_RESPONSE_DELETE_EVENT);
  EXPECT_EQ(MessageBox(&owner, u"Sure?", kMbQuestionYesNo), kIdNo);
  EXPECT_EQ(MessageBox(&owner, u"Sure?", kMbQuestionYesNo), kIdYes);
  EXPECT_EQ(MessageBox(&owner, u"Sure?", kMbQuestionYesNo), kIdNone);
  ASSERT_EQ(answerer.shown().size(), 3u);
  EXPECT_EQ(answerer.shown()[0].type, GTK_MESSAGE_QUESTION);
  EXPECT_EQ(answerer.shown()[0].responses.size(), 2u);
}

}  // namespace
}  // namespace ordx
