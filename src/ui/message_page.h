// MessagePage: the side picture and one wrapping text (the welcome and error
// pages); SuccessFinalPage adds the "open description" check box.
#pragma once

#include "text/cow_string.h"
#include "ui/wizard_page.h"

namespace ordx {

class MessagePage : public WizardDialogPage {
 public:
  MessagePage(GtkWidget* container, GdkPixbuf* sideImage, const WideString& text)
      : MessagePage(container, sideImage, text, kPageTextHeight) {}
  // A text too long for the page ends with "…" and shows whole as a tooltip.
  void SetText(const WideString& text);
  GtkWidget* label() const { return label_; }

 protected:
  // `textHeight`: how far down the text may run before what follows it.
  MessagePage(GtkWidget* container, GdkPixbuf* sideImage, const WideString& text, int textHeight);

 private:
  GtkWidget* image_;
  GtkWidget* label_;
  int textHeight_;
};

class SuccessFinalPage : public MessagePage {
 public:
  SuccessFinalPage(GtkWidget* container, GdkPixbuf* sideImage, const WideString& text);
  bool IsOpenDescriptionChecked() const;
  GtkWidget* openDescrCheck() const { return openDescrCheck_; }

 private:
  GtkWidget* openDescrCheck_;
};

}  // namespace ordx
