// The modal GTK message box and the mapping of the program's flags and
// results to GTK's message types, buttons and responses.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "ui/presenter.h"

namespace ordx {

GtkMessageType MessageTypeForFlags(std::uint32_t flags);
GtkButtonsType ButtonsForFlags(std::uint32_t flags);
int ResultForResponse(gint response);

// Shows a modal message dialog with `text` shown literally (percent signs
// included) and the owner's title; blocks in a nested main loop.
int MessageBox(const CWnd* owner, const WideString& text, std::uint32_t flags);

// Answers every open modal dialog (a message box, the folder chooser) as its
// close button would, so that the loop it runs returns. True when one was open.
bool CloseModalDialogs();

class GtkPresenter : public Presenter {
 public:
  int MessageBox(const CWnd* owner, const WideString& text, std::uint32_t flags) override {
    return ordx::MessageBox(owner, text, flags);
  }
};

}  // namespace ordx
