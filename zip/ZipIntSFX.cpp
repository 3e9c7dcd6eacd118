#include "ZipIntSFX.h"

#include "windows.h"

namespace {

BOOL CALLBACK OfferLanguage(HMODULE module, LPCSTR, LPSTR name, LONG_PTR param) {
  reinterpret_cast<TZipIntSFX*>(param)->ScanLanguage(module, name);
  return TRUE;
}

}  // namespace

TZipIntSFX::TZipIntSFX(TComponent* AOwner) : TComponent(AOwner), LanguageList(std::make_unique<TStringList>()) {
  EnumResourceNamesA(GetModuleHandleA(nullptr), RT_RCDATA, OfferLanguage, reinterpret_cast<LONG_PTR>(this));
}

TZipIntSFX::~TZipIntSFX() = default;

void TZipIntSFX::ScanLanguage(HMODULE module, const char* resourceName) {
  if (IS_INTRESOURCE(resourceName)) return;
  const AnsiString name = UpperCase(resourceName);
  const int marker = AnsiPos("_BIN_LANG", name);
  if ((name.SubString(1, 5) != "ZBSFX" && name.SubString(1, 5) != "ZESFX") || marker == 0) return;
  AnsiString display;
  HRSRC res = FindResourceA(module, resourceName, RT_RCDATA);
  const signed char* data = res ? static_cast<const signed char*>(LockResource(LoadResource(module, res))) : nullptr;
  if (data && SizeofResource(module, res) > 0) {
    char native[255] = {};
    if (GetLocaleInfoA(LCID(int(data[0])), LOCALE_SNATIVELANGNAME, native, sizeof native) > 0) display = native;
  }
  const AnsiString code = name.SubString(6, marker - 6);
  const AnsiString entry = (display.IsEmpty() ? code : display) + "=" + UpperCase(code);
  if (LanguageList->IndexOf(entry) < 0) LanguageList->Add(entry);
}

AnsiString TZipIntSFX::GetSFXLanguage() const {
  for (int i = 0; i < LanguageList->Count(); ++i)
    if (LanguageList->ValueFromIndex(i) == LanguageCode) return LanguageList->Names(i);
  return UpperCase(LanguageCode);
}

void TZipIntSFX::SetSFXLanguage(const AnsiString& value) {
  if (UpperCase(value) == UpperCase(LanguageCode)) return;
  LanguageCode = UpperCase(value);
  const int i = LanguageList->IndexOfName(LanguageCode);
  if (i >= 0) LanguageCode = LanguageList->ValueFromIndex(i);
}

void TZipIntSFX::SetSFXPath(const AnsiString& value) {
  if (value != FSFXPath) FSFXPath = value;
  if (!FSFXPath.IsEmpty() && FSFXPath[FSFXPath.Length()] == '\\') FSFXPath.SetLength(FSFXPath.Length() - 1);
}

void TZipIntSFX::SetRegFailPath(const AnsiString& value) {
  if (value != FRegFailPath) FRegFailPath = value;
}

void TZipIntSFX::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == ZipBuilder) ZipBuilder = nullptr;
}
