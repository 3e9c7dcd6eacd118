#include "Registry.h"

#include <string>
#include <vector>

#include "SectionValues.h"

namespace {

bool IsRelative(const AnsiString& key) { return !(key.Length() > 0 && key[1] == '\\'); }

AnsiString WithoutRoot(const AnsiString& key) { return IsRelative(key) ? key : key.SubString(2, key.Length() - 1); }

// Every name an enumeration function gives, index by index, growing the buffer when a name
// does not fit.
template <class F>
void EnumNames(F enumAt, TStrings* strings) {
  strings->BeginUpdate();
  strings->Clear();
  std::string buffer(256, '\0');
  for (DWORD index = 0;;) {
    DWORD len = DWORD(buffer.size());
    LONG rc = enumAt(index, buffer.data(), &len);
    if (rc == ERROR_MORE_DATA && buffer.size() < 65536) {
      buffer.assign(buffer.size() * 4, '\0');
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    strings->Add(AnsiString(buffer.data(), int(len)));
    ++index;
  }
  strings->EndUpdate();
}

}  // namespace

// ---------------------------------------------------------------- TRegistry

TRegistry::TRegistry() = default;

TRegistry::TRegistry(unsigned access) : Access(access) {}

TRegistry::~TRegistry() { CloseKey(); }

HKEY TRegistry::GetBaseKey(bool relative) const { return FCurrentKey == nullptr || !relative ? RootKey : FCurrentKey; }

void TRegistry::ChangeKey(HKEY key, const AnsiString& path) {
  CloseKey();
  FCurrentKey = key;
  FCurrentPath = path;
}

HKEY TRegistry::GetKey(const AnsiString& key) {
  HKEY result = nullptr;
  if (RegOpenKeyExA(GetBaseKey(IsRelative(key)), WithoutRoot(key).c_str(), 0, Access, &result) != ERROR_SUCCESS)
    return nullptr;
  return result;
}

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
  const bool relative = IsRelative(key);
  AnsiString s = WithoutRoot(key);
  HKEY temp = nullptr;
  LONG rc;
  if (!canCreate || s.IsEmpty()) {
    rc = RegOpenKeyExA(GetBaseKey(relative), s.c_str(), 0, Access, &temp);
  } else {
    DWORD disposition = 0;
    rc = RegCreateKeyExA(GetBaseKey(relative), s.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access, nullptr, &temp,
                         &disposition);
  }
  if (rc != ERROR_SUCCESS) return false;
  if (FCurrentKey && relative) s = FCurrentPath + "\\" + s;
  ChangeKey(temp, s);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& key) {
  Access = KEY_READ;
  return OpenKey(key, false);
}

bool TRegistry::CreateKey(const AnsiString& key) {
  HKEY temp = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(GetBaseKey(IsRelative(key)), WithoutRoot(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &temp, &disposition) != ERROR_SUCCESS)
    throw ERegistryException("Failed to create key " + key);
  RegCloseKey(temp);
  return true;
}

void TRegistry::CloseKey() {
  if (FCurrentKey) RegCloseKey(FCurrentKey);
  FCurrentKey = nullptr;
  FCurrentPath = "";
}

bool TRegistry::DeleteKey(const AnsiString& key) {
  const bool relative = IsRelative(key);
  if (HKEY doomed = GetKey(key)) {
    // The subkeys go first: a key with subkeys cannot be deleted.
    HKEY old = FCurrentKey;
    SetCurrentKey(doomed);
    try {
      TStringList names;
      GetKeyNames(&names);
      for (int i = names.Count() - 1; i >= 0; --i) DeleteKey(names[i]);
    } catch (...) {
      SetCurrentKey(old);
      RegCloseKey(doomed);
      throw;
    }
    SetCurrentKey(old);
    RegCloseKey(doomed);
  }
  return RegDeleteKeyA(GetBaseKey(relative), WithoutRoot(key).c_str()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const AnsiString& name) { return RegDeleteValueA(FCurrentKey, name.c_str()) == ERROR_SUCCESS; }

bool TRegistry::KeyExists(const AnsiString& key) {
  unsigned old = Access;
  Access = KEY_READ;
  HKEY k = GetKey(key);
  Access = old;
  if (k) RegCloseKey(k);
  return k != nullptr;
}

bool TRegistry::GetDataInfo(const AnsiString& name, TRegDataInfo& info) {
  DWORD type = 0, size = 0;
  info = TRegDataInfo();
  if (RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  switch (type) {
    case REG_SZ: info.RegData = rdString; break;
    case REG_EXPAND_SZ: info.RegData = rdExpandString; break;
    case REG_DWORD: info.RegData = rdInteger; break;
    case REG_BINARY: info.RegData = rdBinary; break;
    default: info.RegData = rdUnknown; break;
  }
  info.DataSize = int(size);
  return true;
}

bool TRegistry::ValueExists(const AnsiString& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info);
}

TRegDataType TRegistry::GetDataType(const AnsiString& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.RegData : rdUnknown;
}

int TRegistry::GetDataSize(const AnsiString& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.DataSize : -1;
}

bool TRegistry::HasSubKeys() {
  char name[256];
  DWORD len = sizeof name;
  LONG rc = RegEnumKeyExA(FCurrentKey, 0, name, &len, nullptr, nullptr, nullptr, nullptr);
  return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

void TRegistry::GetKeyNames(TStrings* strings) {
  EnumNames([&](DWORD i, char* name, DWORD* len) { return RegEnumKeyExA(FCurrentKey, i, name, len, nullptr, nullptr, nullptr, nullptr); },
            strings);
}

void TRegistry::GetValueNames(TStrings* strings) {
  EnumNames([&](DWORD i, char* name, DWORD* len) { return RegEnumValueA(FCurrentKey, i, name, len, nullptr, nullptr, nullptr, nullptr); },
            strings);
}

AnsiString TRegistry::ReadString(const AnsiString& name) {
  int size = GetDataSize(name);
  if (size <= 0) return AnsiString();
  std::string buffer(size_t(size), '\0');
  DWORD type = 0, len = DWORD(size);
  if (RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &len) !=
      ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for '" + name + "'");
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException("Invalid data type for '" + name + "'");
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return AnsiString(std::move(buffer));
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
  if (RegSetValueExA(FCurrentKey, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     DWORD(value.Length() + 1)) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

int TRegistry::ReadInteger(const AnsiString& name) {
  DWORD value = 0, type = 0, len = sizeof value;
  if (RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &len) !=
      ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for '" + name + "'");
  if (type != REG_DWORD) throw ERegistryException("Invalid data type for '" + name + "'");
  return int(value);
}

void TRegistry::WriteInteger(const AnsiString& name, int value) {
  DWORD v = DWORD(value);
  if (RegSetValueExA(FCurrentKey, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) !=
      ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

bool TRegistry::ReadBool(const AnsiString& name) { return ReadInteger(name) != 0; }

void TRegistry::WriteBool(const AnsiString& name, bool value) { WriteInteger(name, value ? 1 : 0); }

// ---------------------------------------------------------------- TRegIniFile

TRegIniFile::TRegIniFile(const AnsiString& fileName) : TRegIniFile(fileName, KEY_ALL_ACCESS) {}

TRegIniFile::TRegIniFile(const AnsiString& fileName, unsigned access) : TRegistry(access), FFileName(fileName) {
  OpenKey(fileName, true);
}

template <class F>
bool TRegIniFile::InSection(const AnsiString& section, F f) {
  if (section.IsEmpty()) {
    f();
    return true;
  }
  HKEY key = GetKey(section);
  if (!key) return false;
  HKEY old = CurrentKey();
  SetCurrentKey(key);
  try {
    f();
  } catch (...) {
    SetCurrentKey(old);
    RegCloseKey(key);
    throw;
  }
  SetCurrentKey(old);
  RegCloseKey(key);
  return true;
}

// Reading never raises: a value of another type reads as missing.
AnsiString TRegIniFile::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue) {
  AnsiString result = defaultValue;
  InSection(section, [&] {
    TRegDataInfo info;
    if (GetDataInfo(ident, info) && (info.RegData == rdString || info.RegData == rdExpandString))
      result = TRegistry::ReadString(ident);
  });
  return result;
}

int TRegIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue) {
  int result = defaultValue;
  InSection(section, [&] {
    TRegDataInfo info;
    if (!GetDataInfo(ident, info)) return;
    if (info.RegData == rdString || info.RegData == rdExpandString)
      result = StrToIntDef(TRegistry::ReadString(ident), defaultValue);
    else if (info.RegData == rdInteger)
      result = TRegistry::ReadInteger(ident);
  });
  return result;
}

bool TRegIniFile::ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TRegIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
  if (!section.IsEmpty()) CreateKey(section);
  if (!InSection(section, [&] { TRegistry::WriteString(ident, value); }))
    throw ERegistryException("Failed to set data for '" + ident + "'");
}

void TRegIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

void TRegIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TRegIniFile::ReadSection(const AnsiString& section, TStrings* strings) {
  if (!InSection(section, [&] { GetValueNames(strings); })) strings->Clear();
}

void TRegIniFile::ReadSections(TStrings* strings) { GetKeyNames(strings); }

void TRegIniFile::ReadSectionValues(const AnsiString& section, TStrings* strings) {
  vclimpl::FillSectionValues(*this, section, strings);
}

void TRegIniFile::EraseSection(const AnsiString& section) { TRegistry::DeleteKey(section); }

void TRegIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  InSection(section, [&] { DeleteValue(ident); });
}
