// The wizard's 80 by 30 pixel buttons (Back, Next, Cancel, and Cancel of the
// preparing window): one look, and captions that always fit.
#pragma once

#include <gtk/gtk.h>

namespace ordx {

inline constexpr int kWizardButtonWidth = 80;
inline constexpr int kWizardButtonHeight = 30;

// A button with the caption `utf8`, sized and styled as a wizard button,
// whose caption shrinks when it is too wide for it.
GtkWidget* NewWizardButton(const char* utf8);

}  // namespace ordx
