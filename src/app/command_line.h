// The installer's command line and its choice of language: the optional
// first argument "usecwd", /S (silent) and /L<code> (language).
#pragma once

#include <cstdint>
#include <functional>

#include "text/cow_string.h"

namespace ordx {

struct StartupOptions {
  bool useCwd = false;
  bool silent = false;
  std::int32_t languageId = 0;
  WideString languageCode = u"en";
};

// Scans the arguments (argv[0] is the program) and chooses the language:
// a known /L code wins, else the first two letters of the locale name that
// `queryLocale` returns (called only when no /L code was known; it may
// return null), else English.
StartupOptions ParseCommandLine(int argc, const char* const* argv,
                                const std::function<const char*()>& queryLocale);

}  // namespace ordx
