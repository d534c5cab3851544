// Message box flags, results and the console presenter: none of it needs a
// display.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "ui/message_box.h"
#include "ui/presenter.h"

namespace ordx {
namespace {

class TitledOwner : public CWnd {
 public:
  WideString GetTitle() const override { return u"Owner title"; }
};

TEST(MessageBoxFlags, TypeComesFromTheTopByteOnly) {
  EXPECT_EQ(MessageTypeForFlags(kMbErrorOk), GTK_MESSAGE_ERROR);
  EXPECT_EQ(MessageTypeForFlags(kMbQuestionYesNo), GTK_MESSAGE_QUESTION);
  EXPECT_EQ(MessageTypeForFlags(kMbPlainOk), GTK_MESSAGE_OTHER);
  EXPECT_EQ(MessageTypeForFlags(0x03000001u), GTK_MESSAGE_OTHER);
  // Bits 8 to 23 are ignored.
  EXPECT_EQ(MessageTypeForFlags(0x01FFFF01u), GTK_MESSAGE_ERROR);
  EXPECT_EQ(MessageTypeForFlags(0x00010000u), GTK_MESSAGE_OTHER);
}

TEST(MessageBoxFlags, OnlyLowByteTwoGivesYesAndNo) {
  EXPECT_EQ(ButtonsForFlags(kMbQuestionYesNo), GTK_BUTTONS_YES_NO);
  EXPECT_EQ(ButtonsForFlags(0x00000002u), GTK_BUTTONS_YES_NO);
  EXPECT_EQ(ButtonsForFlags(0x00000102u), GTK_BUTTONS_YES_NO);
  EXPECT_EQ(ButtonsForFlags(0x00000001u), GTK_BUTTONS_OK);
  EXPECT_EQ(ButtonsForFlags(0x00000000u), GTK_BUTTONS_OK);
  EXPECT_EQ(ButtonsForFlags(0x00000003u), GTK_BUTTONS_OK);
}

TEST(MessageBoxFlags, ResponsesMapToResults) {
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_YES), kIdYes);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_NO), kIdNo);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_OK), kIdOk);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_CANCEL), kIdNone);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_CLOSE), kIdNone);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_DELETE_EVENT), kIdNone);
  EXPECT_EQ(ResultForResponse(GTK_RESPONSE_NONE), kIdNone);
  EXPECT_EQ(ResultForResponse(42), kIdNone);
}

std::string Captured(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), stream)) > 0) out.append(buffer, n);
  return out;
}

TEST(ConsolePresenter, WritesEachMessageAsOneLineAndNeverConfirms) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  ConsolePresenter presenter(stream);
  const TitledOwner owner;
  EXPECT_EQ(presenter.MessageBox(&owner, u"Kit not found: 50% done", kMbErrorOk), kIdOk);
  EXPECT_EQ(presenter.MessageBox(nullptr, u"two\nlines\r", kMbPlainOk), kIdOk);
  // A question is never answered Yes for the user.
  EXPECT_EQ(presenter.MessageBox(&owner, u"Cancel?", kMbQuestionYesNo), kIdNo);
  EXPECT_EQ(Captured(stream), "Kit not found: 50% done\ntwo lines \nCancel?\n");
  std::fclose(stream);
}

}  // namespace
}  // namespace ordx
