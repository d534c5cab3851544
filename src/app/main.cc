// ordx-install: installs the configuration templates of the kit "ordx.dkt"
// that lies beside it.
#include <gdk/gdk.h>

#include <cstdio>
#include <cstring>

#include "app/installer_app.h"

int main(int argc, char** argv) {
  // "--version" counts only as the sole argument: anywhere else it stays an
  // ignored argument, as every unknown one is. ORDX_VERSION comes from the
  // project's version in CMake.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("ordx-install %s\n", ORDX_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // Only the main thread touches GTK, but GDK's thread support must be on
  // before anything else starts a thread.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  gdk_threads_init();
#pragma GCC diagnostic pop
  ordx::InstallerApp app(argc, argv);
  return app.Run();
}
