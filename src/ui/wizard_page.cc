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

}  // namespace ordx
