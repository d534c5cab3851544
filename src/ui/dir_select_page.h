// DirSelectPage: the prompt, the directory entry and the "..." button that
// opens a folder chooser.
#pragma once

#include <functional>

#include "text/cow_string.h"
#include "ui/wizard_page.h"

namespace ordx {

class DirSelectPage : public WizardDialogPage {
 public:
  // Where the folder chooser opens for the typed text: a folder that
  // exists, as a file-system path; empty leaves GTK's choice.
  using StartFolder = std::function<NarrowString(const WideString& typed)>;

  DirSelectPage(GtkWidget* container, GdkPixbuf* sideImage);
  // The directory is what the page asks for: it takes the focus, and Enter
  // in it activates the window's default button.
  void OnActivate() override;
  void SetStartFolder(StartFolder startFolder) { startFolder_ = std::move(startFolder); }

  void SetDirectory(const WideString& directory);
  // The entry's text (the directory set, exactly, while the text is
  // unchanged); empty when the entry yields none.
  WideString GetDirectory() const;
  // Runs the folder chooser; a confirmed folder replaces the entry's text.
  void OnBrowse();

  GtkWidget* entry() const { return entry_; }
  GtkWidget* browseButton() const { return browseButton_; }

 private:
  static void OnBrowseClicked(GtkWidget* button, gpointer self);

  GtkWidget* image_;
  GtkWidget* entry_;
  GtkWidget* promptLabel_;
  GtkWidget* catalogLabel_;
  GtkWidget* browseButton_;
  // The directory last set and its UTF-8 form in the entry; an unedited
  // entry gives back the directory itself, bytes that UTF-8 cannot show
  // included.
  WideString original_;
  NarrowString shown_;
  StartFolder startFolder_;
};

}  // namespace ordx
