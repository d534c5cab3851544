// The string table: English texts, the language codes users give, lookups in other languages.
#include "text/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scoped_locale.h"
#include "text/convert.h"
#include "text/string_table_data.h"

namespace ordx {
namespace {

class StringTable : public ::testing::Test {
 protected:
  ~StringTable() override { SetLanguage(kEnglishLanguageId); }
  const ScopedLocale utf8_{"C.UTF-8"};
};

// The English texts are the product's own wording: every one, in key order.
TEST_F(StringTable, EnglishTextsByDefault) {
  const char* const texts[] = {"< Back", "Next >", "Finish", "Cancel",
      "Do you really want to cancel installation?", "Installing configuration",
      "Preparing to copy...", "Installation error", "Distribution kit file ordx.dkt not found.",
      "Installation of templates to the current directory is not supported.",
      "Insufficient space available in the directory Temp.", "&Folder:", "Choose Directory",
      "Installing configuration", "Specify correct path to template directory.",
      "Copying complete...",
      "Distribution kit file ordx.dkt corrupted or not designed for this installation program.",
      "<Product>", "<Vendor>", "Configuration installed successfully.",
      "Open description of distribution package", "Files being copied...",
      "An error occurred during the installation process. Installation canceled. Template "
      "directory has not been changed.",
      "Installation canceled. Template directory has not been changed.", "Directory selected:",
      "Select", "Cancel", "Welcome to the product installation program",
      "The installation directory contains files that may be changed during the installation "
      "process. Do you want to continue?",
      "Specify path to template directory. The installation program will install templates and "
      "configuration files to the specified directory.",
      "Template directory:"};
  ASSERT_GE(std::size(kStringKeys), std::size(texts));
  EXPECT_EQ(GetLanguage(), kEnglishLanguageId);
  for (std::size_t i = 0; i < std::size(texts); ++i)
    EXPECT_EQ(LoadString(kStringKeys[i]), ToWide(texts[i])) << kStringKeys[i];
}

// Codes by identifier from 1; "es" stands twice and finds the first.
TEST_F(StringTable, LanguageCodesAreExact) {
  const std::string codes = "hyazbgzhenfrkadeeshuitkklvltplroruestrukviartkel";
  ASSERT_EQ(LanguageIds().size(), codes.size() / 2);
  for (const std::int32_t id : LanguageIds()) {
    const std::string code = codes.substr(2 * (id - 1), 2);
    EXPECT_EQ(std::string(LanguageCode(id).view()), code) << id;
    EXPECT_EQ(LookupLanguageCode(code.c_str()), code == "es" ? 9 : id) << code;
  }
  for (const char* unknown : {"RU", "eng", "e", "", "en_US"}) EXPECT_EQ(LookupLanguageCode(unknown), 0) << unknown;
}

// Russian comes back as one unit per character; Arabic is English; an unknown key or language gives an empty text.
TEST_F(StringTable, LookupsInOtherLanguagesAndMisses) {
  SetLanguage(17);
  EXPECT_EQ(LoadString("IDS_WIZARD_NEXT"), WideString(u"\u0414\u0430\u043B\u0435\u0435 >"));
  EXPECT_TRUE(LoadString("IDS_NO_SUCH_KEY").empty());
  SetLanguage(22);
  EXPECT_EQ(LoadString("IDS_DESTINATION_PROMPT"), ToWide(RawText(5, "IDS_DESTINATION_PROMPT")));
  SetLanguage(0);
  EXPECT_TRUE(LoadString("IDR_MAINFRAME").empty());
}

}  // namespace
}  // namespace ordx
