// Wizard buttons.
#include "ui/wizard_button.h"

#include "ui/text_fit.h"

namespace ordx {
namespace {

// The buttons are 80 pixels wide in every language. The theme's inner
// border and focus padding would leave little of that to the caption; the
// frame that marks the default button stays.
constexpr char kButtonStyle[] =
    "style \"ordx-wizard-button\" {\n"
    "  GtkButton::inner-border = { 0, 0, 0, 0 }\n"
    "  GtkWidget::focus-padding = 0\n"
    "}\n"
    "widget \"*.ordx-wizard-button\" style \"ordx-wizard-button\"\n";

}  // namespace

GtkWidget* NewWizardButton(const char* utf8) {
  static const bool styled = (gtk_rc_parse_string(kButtonStyle), true);
  (void)styled;
  GtkWidget* button = gtk_button_new_with_label(utf8);
  gtk_widget_set_name(button, "ordx-wizard-button");
  gtk_widget_set_size_request(button, kWizardButtonWidth, kWizardButtonHeight);
  KeepCaptionFitting(button);
  return button;
}

}  // namespace ordx
