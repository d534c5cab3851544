// GTK message box: the text wrapped to fit the screen, the owner's title.
#include "ui/message_box.h"

#include "text/convert.h"
#include "text/utf8.h"

namespace ordx {

GtkMessageType MessageTypeForFlags(std::uint32_t flags) {
  switch (flags & kMbTypeMask) {
    case kMbTypeError:
      return GTK_MESSAGE_ERROR;
    case kMbTypeQuestion:
      return GTK_MESSAGE_QUESTION;
    default:
      return GTK_MESSAGE_OTHER;
  }
}

GtkButtonsType ButtonsForFlags(std::uint32_t flags) {
  return (flags & kMbButtonsMask) == kMbButtonsYesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK;
}

int ResultForResponse(gint response) {
  switch (response) {
    case GTK_RESPONSE_YES:
      return kIdYes;
    case GTK_RESPONSE_NO:
      return kIdNo;
    case GTK_RESPONSE_OK:
      return kIdOk;
    default:
      return kIdNone;
  }
}

int MessageBox(const CWnd* owner, const WideString& text, std::uint32_t flags) {
  const NarrowString narrow = ToUtf8(text);
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, MessageTypeForFlags(flags),
                             ButtonsForFlags(flags), "%s", narrow.c_str());
  if (owner != nullptr) {
    gtk_window_set_title(GTK_WINDOW(dialog), ToUtf8(owner->GetTitle()).c_str());
  }
  // A path is one long word: it must break anywhere rather than widen the
  // box past the screen. Wrapped labels stay within half the screen.
  GList* parts = gtk_container_get_children(
      GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))));
  for (GList* part = parts; part != nullptr; part = part->next) {
    if (!GTK_IS_LABEL(part->data)) continue;
    gtk_label_set_line_wrap(GTK_LABEL(part->data), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(part->data), PANGO_WRAP_WORD_CHAR);
  }
  g_list_free(parts);
  // The box has no parent window; without a hint it lands in a screen
  // corner where no window manager places it.
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return ResultForResponse(response);
}

}  // namespace ordx
