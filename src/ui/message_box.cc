// GTK message box: the text wrapped to fit the screen, the owner's title.
#include "ui/message_box.h"

#include "text/convert.h"
#include "text/string_table.h"
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

namespace {

// A button with the table's text and GTK's picture for it.
void AddButton(GtkWidget* dialog, const char* key, const char* stock, gint response) {
  GtkWidget* button = gtk_button_new_with_label(ToUtf8(LoadString(key)).c_str());
  gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_stock(stock, GTK_ICON_SIZE_BUTTON));
  gtk_dialog_add_action_widget(GTK_DIALOG(dialog), button, response);
  gtk_widget_show(button);
}

}  // namespace

int MessageBox(const CWnd* owner, const WideString& text, std::uint32_t flags) {
  const NarrowString narrow = ToUtf8(text);
  const GtkButtonsType buttons = ButtonsForFlags(flags);
  // GTK's own catalogues have no Yes and No in several of our languages
  // (Armenian, Azerbaijani, Georgian, Turkmen): the question would ask in
  // one language and answer in English. The table has them in all.
  GtkWidget* dialog = gtk_message_dialog_new(
      nullptr, GTK_DIALOG_MODAL, MessageTypeForFlags(flags),
      buttons == GTK_BUTTONS_YES_NO ? GTK_BUTTONS_NONE : buttons, "%s", narrow.c_str());
  if (buttons == GTK_BUTTONS_YES_NO) {
    AddButton(dialog, "IDS_BUTTON_NO", GTK_STOCK_NO, GTK_RESPONSE_NO);
    AddButton(dialog, "IDS_BUTTON_YES", GTK_STOCK_YES, GTK_RESPONSE_YES);
  }
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

bool CloseModalDialogs() {
  bool closed = false;
  GList* toplevels = gtk_window_list_toplevels();
  // Held while answering: a response handler may destroy another window.
  for (GList* item = toplevels; item != nullptr; item = item->next) g_object_ref(item->data);
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (GTK_IS_DIALOG(window) && gtk_window_get_modal(GTK_WINDOW(window)) &&
        gtk_widget_get_mapped(window)) {
      gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_DELETE_EVENT);
      closed = true;
    }
  }
  for (GList* item = toplevels; item != nullptr; item = item->next) g_object_unref(item->data);
  g_list_free(toplevels);
  return closed;
}

}  // namespace ordx
