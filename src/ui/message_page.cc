// MessagePage and SuccessFinalPage.
#include "ui/message_page.h"

#include "text/string_table.h"
#include "text/utf8.h"
#include "ui/text_fit.h"

namespace ordx {
namespace {

// The check box of the success page, below its text.
constexpr int kCheckY = 170;

}  // namespace

MessagePage::MessagePage(GtkWidget* container, GdkPixbuf* sideImage, const WideString& text,
                         int textHeight)
    : WizardDialogPage(container), textHeight_(textHeight) {
  image_ = gtk_image_new_from_pixbuf(sideImage);
  AddWidget(image_);
  gtk_container_add(GTK_CONTAINER(container), image_);  // lands at (0, 0)
  GtkWidget* frame = NewPageText(kPageTextWidth, kPageTextHeight, kPageTextMargin, &label_);
  Put(frame, kPageTextX, kPageTextY);
  SetText(text);
}

void MessagePage::SetText(const WideString& text) {
  SetPageText(label_, ToUtf8(text).c_str(), textHeight_);
}

SuccessFinalPage::SuccessFinalPage(GtkWidget* container, GdkPixbuf* sideImage,
                                   const WideString& text)
    : MessagePage(container, sideImage, text, kCheckY - kPageTextY - 5) {
  openDescrCheck_ =
      gtk_check_button_new_with_label(ToUtf8(LoadString("IDS_SUCCESS_OPENDESCR")).c_str());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(openDescrCheck_), TRUE);
  Put(openDescrCheck_, kPageTextX, kCheckY);
  // A translation too long for one line wraps within the text column
  // instead of running off the window's edge.
  GtkRequisition natural;
  gtk_widget_size_request(openDescrCheck_, &natural);
  const int room = kPageTextWidth - kPageTextMargin;
  if (natural.width > room) {
    GtkWidget* caption = gtk_bin_get_child(GTK_BIN(openDescrCheck_));
    GtkRequisition textSize;
    gtk_widget_size_request(caption, &textSize);
    gtk_label_set_line_wrap(GTK_LABEL(caption), TRUE);
    gtk_widget_set_size_request(caption, textSize.width - (natural.width - room), -1);
  }
}

bool SuccessFinalPage::IsOpenDescriptionChecked() const {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(openDescrCheck_)) != FALSE;
}

}  // namespace ordx
