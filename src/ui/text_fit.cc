// Caption and page-text fitting.
#include "ui/text_fit.h"

#include <string>
#include <vector>

namespace ordx {
namespace {

constexpr char kFullTextKey[] = "ordx-full-text";
constexpr char kHeightKey[] = "ordx-text-height";
constexpr char kEllipsis[] = "\xE2\x80\xA6";  // "…"

int PixelWidth(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return PANGO_PIXELS(logical.width);
}

int PixelHeight(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return PANGO_PIXELS(logical.height);
}

// After the button has placed its caption: the room is the caption's own
// allocation, whatever the theme's borders and the default frame take.
void CaptionAllocated(GtkWidget* button, GtkAllocation* /*allocation*/, gpointer /*unused*/) {
  GtkWidget* caption = gtk_bin_get_child(GTK_BIN(button));
  if (caption == nullptr || !GTK_IS_LABEL(caption)) return;
  GtkAllocation room;
  gtk_widget_get_allocation(caption, &room);
  gint xpad = 0, ypad = 0;
  gtk_misc_get_padding(GTK_MISC(caption), &xpad, &ypad);
  const int width = room.width - 2 * xpad;

  const PangoFontDescription* base = gtk_widget_get_style(button)->font_desc;
  const int baseSize = pango_font_description_get_size(base);
  const bool absolute = pango_font_description_get_size_is_absolute(base) != FALSE;
  PangoFontDescription* font = pango_font_description_copy(base);
  PangoLayout* layout = gtk_widget_create_pango_layout(caption, gtk_label_get_text(GTK_LABEL(caption)));
  int size = baseSize;
  for (;;) {
    absolute ? pango_font_description_set_absolute_size(font, size)
             : pango_font_description_set_size(font, size);
    pango_layout_set_font_description(layout, font);
    if (PixelWidth(layout) <= width || size - PANGO_SCALE / 2 < kSmallestCaptionSize) break;
    size -= PANGO_SCALE / 2;
  }
  g_object_unref(layout);
  // Changing the font lays the button out again; the second pass finds the
  // size it chose and stops.
  const int current = pango_font_description_get_size(gtk_widget_get_style(caption)->font_desc);
  if (size != current) gtk_widget_modify_font(caption, size == baseSize ? nullptr : font);
  pango_font_description_free(font);
}

void FitPageText(GtkWidget* label) {
  const char* full = static_cast<const char*>(g_object_get_data(G_OBJECT(label), kFullTextKey));
  if (full == nullptr) return;
  const int height = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(label), kHeightKey));
  gint width = -1;
  gtk_widget_get_size_request(label, &width, nullptr);
  PangoLayout* layout = gtk_widget_create_pango_layout(label, nullptr);
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  const auto fits = [&](const std::string& text) {
    pango_layout_set_text(layout, text.c_str(), -1);
    return PixelHeight(layout) <= height;
  };
  const std::string whole = full;
  std::string shown = whole;
  if (!fits(whole)) {
    // The longest start of the text that fits with the ellipsis after it.
    std::vector<std::size_t> ends;
    for (const char* p = full; *p != '\0'; p = g_utf8_next_char(p)) ends.push_back(p - full);
    const auto cut = [&](std::size_t chars) {
      std::string text = whole.substr(0, ends[chars]);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return text + kEllipsis;
    };
    std::size_t low = 0, high = ends.size() - 1;  // cut(low) fits or is the last resort
    while (low < high) {
      const std::size_t middle = (low + high + 1) / 2;
      if (fits(cut(middle))) {
        low = middle;
      } else {
        high = middle - 1;
      }
    }
    shown = cut(low);
  }
  g_object_unref(layout);
  gtk_label_set_text(GTK_LABEL(label), shown.c_str());
  gtk_widget_set_tooltip_text(label, shown == whole ? nullptr : full);
}

void PageTextStyleSet(GtkWidget* label, GtkStyle* /*previous*/, gpointer /*unused*/) {
  FitPageText(label);
}

}  // namespace

void KeepCaptionFitting(GtkWidget* button) {
  g_signal_connect_after(button, "size-allocate", G_CALLBACK(CaptionAllocated), nullptr);
}

GtkWidget* NewPageText(int width, int height, int margin, GtkWidget** label) {
  GtkWidget* frame = gtk_alignment_new(0.0f, 0.0f, 1.0f, 1.0f);
  gtk_alignment_set_padding(GTK_ALIGNMENT(frame), 0, 0, 0, margin);
  gtk_widget_set_size_request(frame, width, height);
  *label = gtk_label_new(nullptr);
  gtk_widget_set_size_request(*label, width - margin, -1);
  gtk_label_set_line_wrap(GTK_LABEL(*label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(*label), PANGO_WRAP_WORD_CHAR);
  gtk_misc_set_alignment(GTK_MISC(*label), 0.0f, 0.0f);
  gtk_container_add(GTK_CONTAINER(frame), *label);
  gtk_widget_show(*label);
  g_signal_connect(*label, "style-set", G_CALLBACK(PageTextStyleSet), nullptr);
  return frame;
}

void SetPageText(GtkWidget* label, const char* utf8, int height) {
  g_object_set_data_full(G_OBJECT(label), kFullTextKey, g_strdup(utf8), g_free);
  g_object_set_data(G_OBJECT(label), kHeightKey, GINT_TO_POINTER(height));
  FitPageText(label);
}

}  // namespace ordx
