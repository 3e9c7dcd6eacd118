// The registry objects: TRegistry over one open key, TRegIniFile with sections as subkeys.
#pragma once
#include "Classes.h"
#include "windows.h"

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
  TRegDataType RegData = rdUnknown;
  int DataSize = 0;
};

// Key paths are relative to the open key, or to RootKey when they begin with "\" or no key is
// open. Reading a value of the wrong type, or an integer that is missing, raises
// ERegistryException; ReadString of a missing value gives "".
class TRegistry : public TObject {
 public:
  TRegistry();
  explicit TRegistry(unsigned access);
  ~TRegistry() override;

  HKEY RootKey = HKEY_CURRENT_USER;  // change it only while no key is open
  unsigned Access = KEY_ALL_ACCESS;
  HKEY CurrentKey() const { return FCurrentKey; }
  const AnsiString& CurrentPath() const { return FCurrentPath; }

  bool OpenKey(const AnsiString& key, bool canCreate);
  bool OpenKeyReadOnly(const AnsiString& key);
  bool CreateKey(const AnsiString& key);
  void CloseKey();
  bool DeleteKey(const AnsiString& key);  // with all its subkeys
  bool DeleteValue(const AnsiString& name);
  bool KeyExists(const AnsiString& key);
  bool ValueExists(const AnsiString& name);
  bool HasSubKeys();
  void GetKeyNames(TStrings* strings);
  void GetValueNames(TStrings* strings);
  bool GetDataInfo(const AnsiString& name, TRegDataInfo& info);
  TRegDataType GetDataType(const AnsiString& name);
  int GetDataSize(const AnsiString& name);  // -1 when missing

  AnsiString ReadString(const AnsiString& name);
  void WriteString(const AnsiString& name, const AnsiString& value);
  int ReadInteger(const AnsiString& name);
  void WriteInteger(const AnsiString& name, int value);
  bool ReadBool(const AnsiString& name);
  void WriteBool(const AnsiString& name, bool value);

 protected:
  // A new handle to a key given as OpenKey takes it; null when it cannot be opened.
  HKEY GetKey(const AnsiString& key);
  void SetCurrentKey(HKEY key) { FCurrentKey = key; }
  HKEY GetBaseKey(bool relative) const;

 private:
  void ChangeKey(HKEY key, const AnsiString& path);
  HKEY FCurrentKey = nullptr;
  AnsiString FCurrentPath;
};

// An INI-style view of a key: sections are subkeys (created on write), values are strings;
// integers and booleans are stored as decimal text ("1"/"0") and read back from text (or from
// a DWORD value). Missing values and text that is no number give the default.
class TRegIniFile : public TRegistry {
 public:
  explicit TRegIniFile(const AnsiString& fileName);  // a key path under HKEY_CURRENT_USER
  TRegIniFile(const AnsiString& fileName, unsigned access);
  const AnsiString& FileName() const { return FFileName; }

  using TRegistry::ReadBool;
  using TRegistry::ReadInteger;
  using TRegistry::ReadString;
  using TRegistry::WriteBool;
  using TRegistry::WriteInteger;
  using TRegistry::WriteString;
  using TRegistry::DeleteKey;
  AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue);
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
  int ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue);
  void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);
  bool ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue);
  void WriteBool(const AnsiString& section, const AnsiString& ident, bool value);
  void ReadSection(const AnsiString& section, TStrings* strings);  // value names
  void ReadSections(TStrings* strings);                          // subkey names
  void ReadSectionValues(const AnsiString& section, TStrings* strings);
  void EraseSection(const AnsiString& section);
  void DeleteKey(const AnsiString& section, const AnsiString& ident);

 private:
  // Runs f with the section's key as the current key; false when the key cannot be opened.
  template <class F>
  bool InSection(const AnsiString& section, F f);
  AnsiString FFileName;
};
