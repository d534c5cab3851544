// The string table: completeness of every language, the English texts, and
// lookups by key and by language code.
#include "text/string_table.h"

#include <gtest/gtest.h>

#include <clocale>
#include <set>
#include <string>

#include "text/convert.h"

namespace ordx {
namespace {

std::u16string Str(const WideString& w) { return std::u16string(w.c_str(), w.length()); }

class StringTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureEnvironmentLocale();
    saved_ = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C.UTF-8");
  }
  void TearDown() override {
    SetLanguage(kEnglishLanguageId);
    std::setlocale(LC_ALL, saved_.c_str());
  }
  std::string saved_;
};

TEST_F(StringTableTest, EnglishByDefault) {
  EXPECT_EQ(GetLanguage(), 5);
  EXPECT_EQ(Str(LoadString("IDR_MAINFRAME")), u"Installing configuration");
  EXPECT_EQ(Str(LoadString("IDS_ERROR_NOSOURCE")), u"Distribution kit file ordx.dkt not found.");
  EXPECT_EQ(Str(LoadString("IDS_DEFPRODUCT")), u"<Product>");
  EXPECT_EQ(Str(LoadString("IDS_WIZARD_BACK")), u"< Back");
  EXPECT_EQ(Str(LoadString("IDS_ERROR_FINISH")),
            u"An error occurred during the installation process. Installation canceled. "
            u"Template directory has not been changed.");
  EXPECT_EQ(Str(LoadString("IDS_CHOOSEDIR_FOLDER")), u"&Folder:");
}

TEST_F(StringTableTest, EveryLanguageHasEveryKey) {
  const auto ids = LanguageIds();
  ASSERT_EQ(ids.size(), 24u);
  EXPECT_EQ(ids.front(), 1);
  EXPECT_EQ(ids.back(), 24);
  const auto keys = StringKeys();
  ASSERT_EQ(keys.size(), 47u);
  EXPECT_STREQ(keys.front().c_str(), "IDS_WIZARD_BACK");
  EXPECT_STREQ(keys.back().c_str(), "IDS_BUTTON_NO");
  for (const std::int32_t id : ids) {
    for (const auto& key : keys) {
      const NarrowString text = RawText(id, key);
      EXPECT_FALSE(text.empty()) << "language " << id << " key " << key.c_str();
      EXPECT_EQ(std::string(text.c_str()).find('\n'), std::string::npos);
      EXPECT_EQ(std::string(text.c_str()).find('%'), std::string::npos);
    }
    EXPECT_EQ(RawText(id, "IDR_MAINFRAME"), RawText(id, "IDS_TITLE_INSTALLER")) << id;
    for (const char* key : {"IDS_ERROR_NOSOURCE", "IDS_ERROR_DAMAGEDSOURCE"})
      EXPECT_NE(std::string(RawText(id, key).c_str()).find("ordx.dkt"), std::string::npos)
          << id << " " << key;
    for (const char* key : {"IDS_DEFPRODUCT", "IDS_DEFPROVIDER"}) {
      const std::string text = RawText(id, key).c_str();
      EXPECT_EQ(text.front(), '<') << id;
      EXPECT_EQ(text.back(), '>') << id;
    }
  }
}

TEST_F(StringTableTest, TranslationsDifferFromEnglish) {
  for (const std::int32_t id : LanguageIds()) {
    if (id == 5 || id == 22) continue;
    EXPECT_NE(RawText(id, "IDS_WIZARD_CANCEL"), RawText(5, "IDS_WIZARD_CANCEL")) << id;
    EXPECT_NE(RawText(id, "IDS_ERROR_FINISH"), RawText(5, "IDS_ERROR_FINISH")) << id;
  }
}

TEST_F(StringTableTest, ArabicIsEnglishAndBothSpanishAgree) {
  for (const auto& key : StringKeys()) {
    EXPECT_EQ(RawText(22, key), RawText(5, key)) << key.c_str();
    EXPECT_EQ(RawText(9, key), RawText(18, key)) << key.c_str();
  }
}

TEST_F(StringTableTest, UnknownKeyOrLanguageGivesEmptyText) {
  EXPECT_TRUE(LoadString("IDS_NO_SUCH_KEY").empty());
  EXPECT_TRUE(LoadString("").empty());
  SetLanguage(0);
  EXPECT_TRUE(LoadString("IDR_MAINFRAME").empty());
  SetLanguage(25);
  EXPECT_TRUE(LoadString("IDS_WIZARD_NEXT").empty());
}

TEST_F(StringTableTest, RussianTextIsOneUnitPerCharacter) {
  SetLanguage(17);
  const WideString next = LoadString("IDS_WIZARD_NEXT");
  ASSERT_FALSE(next.empty());
  const NarrowString raw = RawText(17, "IDS_WIZARD_NEXT");
  EXPECT_LT(next.length(), raw.length());  // Cyrillic: two bytes, one unit
  EXPECT_EQ(ToNarrow(next), raw);
}

TEST_F(StringTableTest, LookupLanguageCodeIsExact) {
  EXPECT_EQ(LookupLanguageCode("ru"), 17);
  EXPECT_EQ(LookupLanguageCode("de"), 8);
  EXPECT_EQ(LookupLanguageCode("zh"), 4);
  EXPECT_EQ(LookupLanguageCode("en"), 5);
  EXPECT_EQ(LookupLanguageCode("es"), 9);  // the first of the two Spanish rows
  EXPECT_EQ(LookupLanguageCode("el"), 24);
  for (const char* unknown : {"RU", "eng", "e", "", "en_US"})
    EXPECT_EQ(LookupLanguageCode(unknown), 0) << unknown;
  std::set<std::string> seen;
  for (const std::int32_t id : LanguageIds()) {
    const std::string code = LanguageCode(id).c_str();
    EXPECT_EQ(code.size(), 2u);
    if (code != "es") {
      EXPECT_EQ(LookupLanguageCode(code.c_str()), id);
    }
    seen.insert(code);
  }
  EXPECT_EQ(seen.size(), 23u);
}

}  // namespace
}  // namespace ordx
