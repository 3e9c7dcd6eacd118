// Locale: the system is Korean (0x0412), code page 949.
#include <cstring>
#include "Internal.h"

namespace {

const LCID kKorean = 0x0412;

struct Language {
  WORD primary;        // primary language id
  const char* native;  // UTF-8, converted to code page 949 on the way out
  const char* english;
  const char* abbreviation;
  const char* codePage;
};

// The languages a resource of ours may name; Korean is the system's own.
const Language kLanguages[] = {
    {0x12, "한국어", "Korean", "KOR", "949"},
    {0x09, "English", "English", "ENU", "1252"},
    {0x07, "Deutsch", "German", "DEU", "1252"},
    {0x0C, "français", "French", "FRA", "1252"},
    {0x11, "日本語", "Japanese", "JPN", "932"},
    {0x04, "中文", "Chinese", "CHS", "936"},
};

const Language* LanguageOf(LCID locale) {
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT || locale == 0) locale = kKorean;
  if (locale > 0xFFFF) return nullptr;
  for (const Language& l : kLanguages)
    if (l.primary == (locale & 0x3FF)) return &l;
  return nullptr;
}

}  // namespace

LCID WINAPI GetUserDefaultLCID(void) { return kKorean; }
LCID WINAPI GetSystemDefaultLCID(void) { return kKorean; }
LANGID WINAPI GetUserDefaultLangID(void) { return static_cast<LANGID>(kKorean); }
LCID WINAPI GetThreadLocale(void) { return kKorean; }

int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  const Language* language = LanguageOf(Locale);
  if (!language || cchData < 0 || (cchData > 0 && !lpLCData)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A bare primary language stands for its default sublanguage.
  LCID effective = Locale == LOCALE_USER_DEFAULT || Locale == LOCALE_SYSTEM_DEFAULT || Locale == 0 ? kKorean
                   : (Locale & 0x3FF) == Locale ? (0x0400 | Locale)
                                                : Locale;
  char id[16];
  snprintf(id, sizeof id, "%04X", static_cast<unsigned>(effective & 0xFFFF));
  std::string value;
  switch (LCType) {
    case LOCALE_ILANGUAGE: value = id; break;
    case LOCALE_SLANGUAGE:
    case LOCALE_SNATIVELANGNAME: value = winplat::Utf8ToCp949(language->native); break;
    case LOCALE_SENGLANGUAGE: value = language->english; break;
    case LOCALE_SABBREVLANGNAME: value = language->abbreviation; break;
    case LOCALE_IDEFAULTANSICODEPAGE: value = language->codePage; break;
    case LOCALE_SDECIMAL: value = "."; break;
    case LOCALE_STHOUSAND: value = ","; break;
    default: SetLastError(ERROR_INVALID_FLAGS); return 0;
  }
  int needed = static_cast<int>(value.size()) + 1;
  if (cchData == 0) return needed;
  if (cchData < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpLCData, value.c_str(), needed);
  return needed;
}
