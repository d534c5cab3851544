// ordx-install: installs the configuration templates of the kit "ordx.dkt"
// that lies beside it.
#include <gdk/gdk.h>

#include "app/installer_app.h"

int main(int argc, char** argv) {
  // Only the main thread touches GTK, but GDK's thread support must be on
  // before anything else starts a thread.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  gdk_threads_init();
#pragma GCC diagnostic pop
  ordx::InstallerApp app(argc, argv);
  return app.Run();
}
