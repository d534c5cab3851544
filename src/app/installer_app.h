// InstallerApp: the start-up record. It reads the command line, fixes the
// language, builds the installer dialog, runs it and returns the exit status.
#pragma once

#include <cstdint>

#include "text/cow_string.h"

namespace ordx {

class InstallerApp {
 public:
  InstallerApp(int count, char** vector) : argc(count), argv(vector) {}
  // Runs the whole installer; returns the process exit status.
  int Run();

  int argc;
  char** argv;
  std::int32_t languageId = 0;
  WideString title;
};

}  // namespace ordx
