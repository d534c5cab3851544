// Keeping texts visible in the wizard's fixed layout: button captions that
// are too wide for their button are drawn in a smaller size of the same font
// (never below 8 pt), and page texts that are too long for their box end
// with "…" and carry the whole text as a tooltip.
#pragma once

#include <gtk/gtk.h>

namespace ordx {

// The smallest caption size, in Pango units.
inline constexpr int kSmallestCaptionSize = 8 * PANGO_SCALE;

// From now on, whenever `button` is laid out, its caption's font is the
// largest size (down to 8 pt, in half points) at which the caption fits the
// room the button gives it. Survives label and theme changes.
void KeepCaptionFitting(GtkWidget* button);

// A wrapping page text of `width` by `height` pixels whose last `margin`
// pixels on the right stay empty. Returns the widget to place; `*label` is
// the label inside it. Words too long for a line are broken anywhere.
GtkWidget* NewPageText(int width, int height, int margin, GtkWidget** label);

// Sets a page text made by NewPageText. A text taller than `height` pixels
// is cut and ends with "…", and the whole text becomes the tooltip; a text
// that fits has no tooltip. Refitted when the label's font changes.
void SetPageText(GtkWidget* label, const char* utf8, int height);

}  // namespace ordx
