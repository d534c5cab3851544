// A tour of every wizard page in the current language: welcome, directory,
// progress while a copy is held mid-way, success, and the error page of a
// run that failed. Shared by the text fit test and the screenshot tool.
#pragma once

#include <functional>
#include <string>

#include "app/installer_dlg.h"

namespace ordx::guitest {

// Called with a short page name ("1-welcome" ... "5-error") while that page
// is shown and laid out.
using PageVisitor = std::function<void(const std::string& page, CInstallerDlg& dialog)>;
// Builds the pages with a kit whose texts are in `languageCode` and visits
// each. Creates and removes its own sandboxes.
void TourPages(const char16_t* languageCode, const PageVisitor& visit);

}  // namespace ordx::guitest
