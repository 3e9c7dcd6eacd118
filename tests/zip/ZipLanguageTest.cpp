// Language tables from the program's language resource: selection by name, language id and the
// user's default language, fallback to the compiled-in table for missing texts and for a
// damaged table, and the core's reset.
#include <gtest/gtest.h>

#include "ZBCore.h"
#include "ZipMsg.h"

namespace {

class ZipLanguageTest : public ::testing::Test {
 protected:
  void TearDown() override { SetZipMsgLanguage(""); }
};

TEST_F(ZipLanguageTest, SelectsTheKoreanTable) {
  struct Case {
    const char* language;
    const char* selected;
  };
  const Case cases[] = {
      {"KO", "KO"}, {"ko", "KO"}, {"  ko-KR", "KO"}, {"1042", "KO"}, {"18", "KO"},  // primary language
      {"*", "KO"},  // the user's default language here is Korean
      {"KO_X", ""}, {"FR", ""}, {"2052", ""}, {"US", ""}, {"1033", ""}, {"", ""},
  };
  for (const Case& c : cases) {
    SetZipMsgLanguage("");
    EXPECT_EQ(SetZipMsgLanguage(c.language).str(), c.selected) << c.language;
    const bool korean = *c.selected != '\0';
    EXPECT_EQ(ZipMsgLanguageInfo(0).str(), korean ? "KO" : "US: default") << c.language;
    EXPECT_EQ(LoadZipStr(10222).str(), korean ? "확인(&O)" : "&OK") << c.language;
  }
}

TEST_F(ZipLanguageTest, MissingTextsComeFromTheCompiledInTable) {
  ASSERT_EQ(SetZipMsgLanguage("KO").str(), "KO");
  EXPECT_EQ(LoadZipStr(11007).str(), "사용자가 작업을 취소했습니다");
  EXPECT_EQ(LoadZipStr(10223).str(), "&Cancel");
  EXPECT_EQ(LoadZipStr(10230).str(), "Resource missing for 10230");
  EXPECT_EQ(EZipAbort().Message.str(), "사용자가 작업을 취소했습니다");
}

TEST_F(ZipLanguageTest, DamagedTableKeepsTheCompiledInOne) {
  ASSERT_EQ(SetZipMsgLanguage("KO").str(), "KO");
  for (const char* language : {"DE", "1031", "7"}) {
    EXPECT_EQ(SetZipMsgLanguage(language).str(), "") << language;
    EXPECT_EQ(ZipMsgLanguageInfo(0).str(), "US: default") << language;
    EXPECT_EQ(LoadZipStr(10222).str(), "&OK") << language;
  }
}

TEST_F(ZipLanguageTest, CoreResetReturnsToTheDefault) {
  TComponent owner(nullptr);
  TZBCore core(&owner);
  ASSERT_EQ(SetZipMsgLanguage("KO").str(), "KO");
  core.Reset();
  EXPECT_EQ(ZipMsgLanguageInfo(0).str(), "US: default");
  EXPECT_EQ(LoadZipStr(10222).str(), "&OK");
}

}  // namespace
