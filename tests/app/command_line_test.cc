// The command-line grammar and the choice of language.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include "text/string_table.h"

namespace ordx {
namespace {

TEST(CommandLine, SwitchesAndLanguage) {
  struct Case { std::vector<const char*> args; const char* locale; bool silent, useCwd; std::u16string code; int localeQueries; };
  const Case cases[] = {
      {{}, "de_DE.UTF-8", false, false, u"de", 1},
      // "usecwd" only exact and first; the scan goes on after it.
      {{"usecwd"}, "C", false, true, u"en", 1},
      {{"usecwd", "-s"}, "C", true, true, u"en", 1},
      {{"/S", "usecwd"}, "C", true, false, u"en", 1},
      {{"usecwdX"}, "C", false, false, u"en", 1},
      {{"UseCwd"}, "C", false, false, u"en", 1},
      // Silent by the second character of "/" or "-" switches.
      {{"/s"}, "C", true, false, u"en", 1},
      {{"-Silent"}, "C", true, false, u"en", 1},
      {{"S", "/", "-", "--silent", "x/S", ""}, "C", false, false, u"en", 1},
      // A known language switch ends the scan and skips the locale.
      {{"/S", "/Lde"}, "C", true, false, u"de", 0},
      {{"/Lde", "/S"}, "C", false, false, u"de", 0},
      {{"-lru"}, "C", false, false, u"ru", 0},
      // An unknown or empty code ends the scan too, then the locale decides.
      {{"/Lzz", "/S"}, "fr_FR.UTF-8", false, false, u"fr", 1},
      {{"/L"}, "C", false, false, u"en", 1},
      {{"/LDE"}, "POSIX", false, false, u"en", 1},
      // Locale names: lower-case two-letter prefixes, short names whole.
      {{}, "el_GR.UTF-8", false, false, u"el", 1},
      {{}, "RU_ru", false, false, u"en", 1},
      {{}, "de", false, false, u"de", 1},
      {{}, "d", false, false, u"en", 1},
      {{}, nullptr, false, false, u"en", 1},
  };
  for (const Case& c : cases) {
    std::vector<const char*> args = c.args;
    args.insert(args.begin(), "ordx-install");
    SCOPED_TRACE(::testing::Message() << (args.size() > 1 ? args[1] : "") << " " << (c.locale ? c.locale : "-"));
    int queries = 0;
    const StartupOptions options = ParseCommandLine(static_cast<int>(args.size()), args.data(), [&] {
      ++queries;
      return c.locale;
    });
    EXPECT_EQ(options.silent, c.silent);
    EXPECT_EQ(options.useCwd, c.useCwd);
    EXPECT_EQ(std::u16string(options.languageCode.c_str(), options.languageCode.length()), c.code);
    EXPECT_EQ(options.languageId, LookupLanguageCode(NarrowString(std::string(c.code.begin(), c.code.end()).c_str())));
    EXPECT_EQ(queries, c.localeQueries);
  }
}

}  // namespace
}  // namespace ordx
