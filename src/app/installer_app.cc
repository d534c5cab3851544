// InstallerApp: from the command line to a finished installer dialog.
#include "app/installer_app.h"

#include <clocale>
#include <memory>

#include "app/command_line.h"
#include "app/gtk_language.h"
#include "app/installer_dlg.h"
#include "text/convert.h"
#include "text/utf8.h"
#include "text/string_table.h"

namespace ordx {

int InstallerApp::Run() {
  // Before any thread and before GTK: a C locale becomes C.UTF-8 here.
  EnsureEnvironmentLocale();
  const StartupOptions options =
      ParseCommandLine(argc, argv, [] { return std::setlocale(LC_ALL, ""); });
  languageId = options.languageId;
  SetLanguage(languageId);
  title = LoadString("IDR_MAINFRAME");
  UseLanguageForGtk(options.languageCode);
  auto dialog = std::make_unique<CInstallerDlg>(argc, argv, options.silent, ToUtf8(title),
                                                options.languageCode, options.useCwd);
  dialog->Run();
  const int status = dialog->exitStatus();
  dialog.reset();
  return status;
}

}  // namespace ordx
