// Self-extractor settings in a program that carries stub languages: which resource names
// count, their display names from the first data byte, and the language chosen by name or code.
#include <gtest/gtest.h>

#include "ZipIntSFX.h"

namespace {

TEST(ZipIntSFXLanguages, StubResourcesMakeTheList) {
  TComponent owner(nullptr);
  TZipIntSFX* sfx = new TZipIntSFX(&owner);  // owned by owner
  TStringList& list = *sfx->LanguageList;
  EXPECT_EQ(list.Count(), 3) << list.Text().str();
  // The same language under both prefixes is listed once.
  EXPECT_GE(list.IndexOf("한국어=KO"), 0);
  EXPECT_GE(list.IndexOf("Deutsch=DE"), 0);
  // A first byte that names no locale: the code stands for the name.
  EXPECT_GE(list.IndexOf("XX=XX"), 0);

  struct Case {
    const char* set;
    const char* code;
    const char* read;
  };
  const Case cases[] = {
      {"Deutsch", "DE", "Deutsch"}, {"ko", "KO", "한국어"}, {"xx", "XX", "XX"},
      {"fr", "FR", "FR"},           {"한국어", "KO", "한국어"},
  };
  for (const Case& c : cases) {
    sfx->SFXLanguage = c.set;
    EXPECT_EQ(sfx->LanguageCode.str(), c.code) << c.set;
    EXPECT_EQ(sfx->SFXLanguage.get().str(), c.read) << c.set;
  }
}

}  // namespace
