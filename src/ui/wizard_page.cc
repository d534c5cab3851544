// WizardDialogPage: showing and hiding a page's widgets.
#include "ui/wizard_page.h"

namespace ordx {

void WizardDialogPage::Show() {
  for (GtkWidget* widget : widgets_) gtk_widget_show(widget);
}

void WizardDialogPage::Hide() {
  for (GtkWidget* widget : widgets_) gtk_widget_hide(widget);
}

void WizardDialogPage::Put(GtkWidget* widget, int x, int y) {
  AddWidget(widget);
  gtk_fixed_put(GTK_FIXED(container_), widget, x, y);
}

GtkWidget* NewPageLabel(int width, int height) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_widget_set_size_request(label, width, height);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
  return label;
}

}  // namespace ordx
