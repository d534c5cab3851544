// The installer's command-line grammar and its choice of language.
#include "app/command_line.h"

#include <cstring>

#include "text/convert.h"
#include "text/string_table.h"

namespace ordx {

StartupOptions ParseCommandLine(int argc, const char* const* argv,
                                const std::function<const char*()>& queryLocale) {
  StartupOptions options;
  int first = 1;
  // Only the exact argument counts: "usecwd2" or "usecwd " is an ordinary one.
  if (argc >= 2 && std::strcmp(argv[1], "usecwd") == 0) {
    options.useCwd = true;
    first = 2;
  }
  for (int i = first; i < argc; ++i) {
    const char* arg = argv[i];
    if ((arg[0] != '/' && arg[0] != '-') || arg[1] == '\0') continue;
    const char kind = arg[1];
    if (kind == 'S' || kind == 's') {
      options.silent = true;
    } else if (kind == 'L' || kind == 'l') {
      const NarrowString code(arg + 2);
      options.languageId = LookupLanguageCode(code);
      if (options.languageId != 0) options.languageCode = ToWide(code);
      break;  // the scan ends at the first language switch, known or not
    }
  }
  if (options.languageId == 0 && queryLocale) {
    if (const char* name = queryLocale()) {
      const std::size_t length = std::strlen(name);
      const NarrowString prefix(name, length >= 3 ? 2 : length);
      options.languageId = LookupLanguageCode(prefix);
      if (options.languageId != 0) options.languageCode = ToWide(prefix);
    }
  }
  if (options.languageId == 0) options.languageId = kEnglishLanguageId;
  return options;
}

}  // namespace ordx
