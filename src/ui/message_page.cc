// MessagePage and SuccessFinalPage.
#include "ui/message_page.h"

#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"

namespace ordx {
namespace {

// Width of the text column right of the side picture.
constexpr int kTextColumnWidth = 330;

}  // namespace

MessagePage::MessagePage(GtkWidget* container, GdkPixbuf* sideImage, const WideString& text)
    : WizardDialogPage(container) {
  image_ = gtk_image_new_from_pixbuf(sideImage);
  AddWidget(image_);
  gtk_container_add(GTK_CONTAINER(container), image_);  // lands at (0, 0)
  label_ = NewPageLabel(kTextColumnWidth, 250);
  Put(label_, 170, 10);
  SetText(text);
}

void MessagePage::SetText(const WideString& text) {
  gtk_label_set_text(GTK_LABEL(label_), ToUtf8(text).c_str());
}

SuccessFinalPage::SuccessFinalPage(GtkWidget* container, GdkPixbuf* sideImage,
                                   const WideString& text)
    : MessagePage(container, sideImage, text) {
  openDescrCheck_ =
      gtk_check_button_new_with_label(ToUtf8(LoadString("IDS_SUCCESS_OPENDESCR")).c_str());
  AddWidget(openDescrCheck_);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(openDescrCheck_), TRUE);
  gtk_fixed_put(GTK_FIXED(container), openDescrCheck_, 170, 170);
  // A long translation wraps within the text column instead of running off
  // the window's edge.
  GtkRequisition natural;
  gtk_widget_size_request(openDescrCheck_, &natural);
  if (natural.width > kTextColumnWidth) {
    GtkWidget* caption = gtk_bin_get_child(GTK_BIN(openDescrCheck_));
    GtkRequisition textSize;
    gtk_widget_size_request(caption, &textSize);
    gtk_label_set_line_wrap(GTK_LABEL(caption), TRUE);
    gtk_widget_set_size_request(caption, textSize.width - (natural.width - kTextColumnWidth), -1);
  }
}

bool SuccessFinalPage::IsOpenDescriptionChecked() const {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(openDescrCheck_)) != FALSE;
}

}  // namespace ordx
