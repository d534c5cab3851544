// DirSelectPage and its folder chooser.
#include "ui/dir_select_page.h"

#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"
#include "ui/text_fit.h"

namespace ordx {

DirSelectPage::DirSelectPage(GtkWidget* container, GdkPixbuf* sideImage)
    : WizardDialogPage(container) {
  image_ = gtk_image_new_from_pixbuf(sideImage);
  AddWidget(image_);
  gtk_container_add(GTK_CONTAINER(container), image_);
  GtkWidget* prompt = NewPageText(kPageTextWidth, kPageTextHeight, kPageTextMargin, &promptLabel_);
  Put(prompt, kPageTextX, kPageTextY);
  // The prompt ends above the directory's caption.
  SetPageText(promptLabel_, ToUtf8(LoadString("IDS_DESTINATION_PROMPT")).c_str(), 240);

  catalogLabel_ = gtk_label_new(ToUtf8(LoadString("IDS_TEMPLATE_CATALOG")).c_str());
  Put(catalogLabel_, 170, 255);

  entry_ = gtk_entry_new();
  gtk_entry_set_activates_default(GTK_ENTRY(entry_), TRUE);
  gtk_widget_set_size_request(entry_, 280, 30);
  Put(entry_, 170, 275);

  browseButton_ = gtk_button_new_with_label("...");
  gtk_widget_set_size_request(browseButton_, 30, 30);
  Put(browseButton_, 460, 275);
  g_signal_connect(browseButton_, "clicked", G_CALLBACK(OnBrowseClicked), this);
}

void DirSelectPage::OnActivate() { gtk_widget_grab_focus(entry_); }

void DirSelectPage::SetDirectory(const WideString& directory) {
  original_ = directory;
  shown_ = ToUtf8(directory);
  gtk_entry_set_text(GTK_ENTRY(entry_), shown_.c_str());
}

WideString DirSelectPage::GetDirectory() const {
  const gchar* text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (text == nullptr) return WideString();
  // The entry holds only UTF-8: a directory whose bytes do not decode is
  // shown with U+FFFD and keeps its own bytes unless the user edits it.
  const NarrowString typed(text);
  return typed == shown_ ? original_ : FromUtf8(typed);
}

void DirSelectPage::OnBrowse() {
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      ToUtf8(LoadString("IDS_CHOOSEDIR_TITLE")).c_str(), nullptr,
      GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN,
      GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  gtk_window_set_position(GTK_WINDOW(chooser), GTK_WIN_POS_CENTER);
  // Open where the user is heading, not on an empty "Recently Used" view.
  const NarrowString start = startFolder_ ? startFolder_(GetDirectory()) : NarrowString();
  if (!start.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), start.c_str());
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (folder != nullptr) {
      SetDirectory(ToWide(NarrowString(folder)));  // the folder's bytes, not UTF-8
      g_free(folder);
    }
  }
  gtk_widget_destroy(chooser);
}

void DirSelectPage::OnBrowseClicked(GtkWidget* /*button*/, gpointer self) {
  static_cast<DirSelectPage*>(self)->OnBrowse();
}

}  // namespace ordx
