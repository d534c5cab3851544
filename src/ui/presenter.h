// Presenter: where message boxes go. The wizard shows them as GTK dialogs;
// a silent run without a display writes their texts to standard error.
// Keeping this seam free of GTK lets the headless path run without an X
// server.
#pragma once

#include <cstdint>
#include <cstdio>

#include "text/cow_string.h"
#include "ui/cwnd.h"

namespace ordx {

// Message box flags: the type in the top byte, the buttons in the low byte.
inline constexpr std::uint32_t kMbTypeMask = 0xFF000000u;
inline constexpr std::uint32_t kMbButtonsMask = 0x000000FFu;
inline constexpr std::uint32_t kMbTypeError = 0x01000000u;
inline constexpr std::uint32_t kMbTypeQuestion = 0x02000000u;
inline constexpr std::uint32_t kMbButtonsYesNo = 0x00000002u;

inline constexpr std::uint32_t kMbErrorOk = 0x01000001u;
inline constexpr std::uint32_t kMbPlainOk = 0x00000001u;
inline constexpr std::uint32_t kMbQuestionYesNo = 0x02000002u;

// Results; 0 means the box was closed without a button.
inline constexpr int kIdNone = 0;
inline constexpr int kIdYes = 1;
inline constexpr int kIdNo = 2;
inline constexpr int kIdOk = 3;

class Presenter {
 public:
  virtual ~Presenter() = default;
  // Shows `text` and blocks until it is answered; returns one of the kId
  // results. `owner` (may be null) supplies the title.
  virtual int MessageBox(const CWnd* owner, const WideString& text, std::uint32_t flags) = 0;
};

// A message as one line of text. A message of several lines is a headline,
// a path (escaped already, without quotes) and a reason, as the install
// worker composes them: the path is quoted and the reason follows a colon.
NarrowString ConsoleLine(const WideString& text);

// Writes each message as one line to `out` (standard error by default) and
// answers without waiting: OK for one-button boxes, No for a question, so
// that nothing is ever confirmed on the user's behalf.
class ConsolePresenter : public Presenter {
 public:
  explicit ConsolePresenter(std::FILE* out = stderr) : out_(out) {}
  int MessageBox(const CWnd* owner, const WideString& text, std::uint32_t flags) override;

 private:
  std::FILE* out_;
};

}  // namespace ordx
