// What every INI object shares, and TIniFile over the Windows profile functions.
#include <string>

#include "IniFiles.h"
#include "SectionValues.h"
#include "windows.h"

// ---------------------------------------------------------------- TCustomIniFile

int TCustomIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue) {
  AnsiString text = ReadString(section, ident, "");
  // "0x1F" is read as "$1F"; the hex prefix alone is no number.
  if (text.Length() > 2 && text[1] == '0' && (text[2] == 'x' || text[2] == 'X'))
    text = "$" + text.SubString(3, text.Length() - 2);
  return StrToIntDef(text, defaultValue);
}

void TCustomIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

bool TCustomIniFile::ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

bool TCustomIniFile::SectionExists(const AnsiString& section) {
  TStringList keys;
  ReadSection(section, &keys);
  return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const AnsiString& section, const AnsiString& ident) {
  TStringList keys;
  ReadSection(section, &keys);
  return keys.IndexOf(ident) >= 0;
}

// ---------------------------------------------------------------- TIniFile

namespace {

// A list of zero-terminated names ending in an empty one, as the profile functions give
// for a null section or key; the buffer grows until the list fits.
void ReadNameList(const char* section, const AnsiString& fileName, TStrings* strings) {
  std::string buffer(16384, '\0');
  DWORD n;
  for (;;) {
    n = GetPrivateProfileStringA(section, nullptr, nullptr, buffer.data(), DWORD(buffer.size()), fileName.c_str());
    if (n + 2 < buffer.size() || buffer.size() >= (64u << 20)) break;
    buffer.assign(buffer.size() * 4, '\0');
  }
  strings->BeginUpdate();
  strings->Clear();
  for (size_t i = 0; i < n && buffer[i];) {
    size_t len = std::char_traits<char>::length(buffer.data() + i);
    strings->Add(AnsiString(buffer.substr(i, len)));
    i += len + 1;
  }
  strings->EndUpdate();
}

}  // namespace

TIniFile::~TIniFile() = default;

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue) {
  char buffer[2048];
  DWORD n = GetPrivateProfileStringA(section.c_str(), ident.c_str(), defaultValue.c_str(), buffer, sizeof buffer,
                                     FFileName.c_str());
  return AnsiString(buffer, int(n < sizeof buffer ? n : sizeof buffer - 1));
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
  if (!WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(), FFileName.c_str()))
    throw EIniFileException("Unable to write to " + FFileName);
}

void TIniFile::ReadSection(const AnsiString& section, TStrings* strings) {
  ReadNameList(section.c_str(), FFileName, strings);
}

void TIniFile::ReadSections(TStrings* strings) { ReadNameList(nullptr, FFileName, strings); }

void TIniFile::ReadSectionValues(const AnsiString& section, TStrings* strings) {
  vclimpl::FillSectionValues(*this, section, strings);
}

void TIniFile::EraseSection(const AnsiString& section) {
  if (!WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, FFileName.c_str()))
    throw EIniFileException("Unable to write to " + FFileName);
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  WritePrivateProfileStringA(section.c_str(), ident.c_str(), nullptr, FFileName.c_str());
}

// The profile functions write at once; a null call asks them to flush what they cache.
void TIniFile::UpdateFile() { WritePrivateProfileStringA(nullptr, nullptr, nullptr, FFileName.c_str()); }
