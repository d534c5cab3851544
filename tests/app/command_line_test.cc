// The command-line grammar and the choice of language.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/string_table.h"

namespace ordx {
namespace {

struct Scan {
  StartupOptions options;
  int localeQueries = 0;
};

Scan Parse(std::vector<const char*> args, const char* locale = "C") {
  args.insert(args.begin(), "ordx-install");
  Scan run;
  run.options = ParseCommandLine(static_cast<int>(args.size()), args.data(), [&]() {
    ++run.localeQueries;
    return locale;
  });
  return run;
}

std::u16string Code(const Scan& run) {
  return std::u16string(run.options.languageCode.c_str(), run.options.languageCode.length());
}

TEST(CommandLine, NoArgumentsUsesTheLocale) {
  const Scan run = Parse({}, "de_DE.UTF-8");
  EXPECT_FALSE(run.options.silent);
  EXPECT_FALSE(run.options.useCwd);
  EXPECT_EQ(run.options.languageId, 8);
  EXPECT_EQ(Code(run), u"de");
  EXPECT_EQ(run.localeQueries, 1);
}

TEST(CommandLine, UseCwdOnlyAsFirstArgumentAndExact) {
  EXPECT_TRUE(Parse({"usecwd"}).options.useCwd);
  EXPECT_FALSE(Parse({"/S", "usecwd"}).options.useCwd);
  EXPECT_FALSE(Parse({"usecwdX"}).options.useCwd);
  EXPECT_FALSE(Parse({"UseCwd"}).options.useCwd);
  // As the first argument it is never a switch, but the scan goes on after it.
  const Scan run = Parse({"usecwd", "-s"});
  EXPECT_TRUE(run.options.useCwd);
  EXPECT_TRUE(run.options.silent);
}

TEST(CommandLine, SilentSwitchesByTheirSecondCharacter) {
  for (const char* arg : {"/S", "/s", "-s", "-S", "-Silent", "/sq"})
    EXPECT_TRUE(Parse({arg}).options.silent) << arg;
  for (const char* arg : {"S", "/", "-", "--silent", "x/S", ""})
    EXPECT_FALSE(Parse({arg}).options.silent) << arg;
}

TEST(CommandLine, LanguageSwitchEndsTheScan) {
  Scan run = Parse({"/S", "/Lde"});
  EXPECT_TRUE(run.options.silent);
  EXPECT_EQ(run.options.languageId, 8);
  EXPECT_EQ(Code(run), u"de");
  EXPECT_EQ(run.localeQueries, 0);  // a known switch skips the locale

  run = Parse({"/Lde", "/S"});
  EXPECT_FALSE(run.options.silent);
  EXPECT_EQ(run.options.languageId, 8);

  run = Parse({"-lru"});
  EXPECT_EQ(run.options.languageId, 17);
  EXPECT_EQ(Code(run), u"ru");
}

TEST(CommandLine, UnknownOrEmptyCodeFallsBackToLocaleThenEnglish) {
  Scan run = Parse({"/Lzz", "/S"}, "fr_FR.UTF-8");
  EXPECT_FALSE(run.options.silent);
  EXPECT_EQ(run.options.languageId, 6);
  EXPECT_EQ(Code(run), u"fr");
  EXPECT_EQ(run.localeQueries, 1);

  run = Parse({"/L"}, "C");
  EXPECT_EQ(run.options.languageId, kEnglishLanguageId);
  EXPECT_EQ(Code(run), u"en");

  run = Parse({"/LDE"}, "POSIX");
  EXPECT_EQ(run.options.languageId, kEnglishLanguageId);
}

TEST(CommandLine, LocaleNamePrefixRules) {
  EXPECT_EQ(Parse({}, "ru_RU.UTF-8").options.languageId, 17);
  EXPECT_EQ(Parse({}, "RU_ru").options.languageId, kEnglishLanguageId);
  EXPECT_EQ(Parse({}, "de").options.languageId, 8);  // short names are taken whole
  EXPECT_EQ(Parse({}, "d").options.languageId, kEnglishLanguageId);
  EXPECT_EQ(Parse({}, "el_GR.UTF-8").options.languageId, 24);
  EXPECT_EQ(Parse({}, nullptr).options.languageId, kEnglishLanguageId);
}

}  // namespace
}  // namespace ordx
