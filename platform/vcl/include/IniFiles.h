// INI objects: TMemIniFile keeps the whole file in memory, TIniFile goes through the Windows
// profile functions.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Classes.h"

class TCustomIniFile : public TObject {
 public:
  explicit TCustomIniFile(const AnsiString& fileName) : FFileName(fileName) {}
  const AnsiString& FileName() const { return FFileName; }

  virtual AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue) = 0;
  virtual void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) = 0;
  // Decimal, or hexadecimal after "0x"; the default for anything else.
  virtual int ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue);
  virtual void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);
  // An integer, true when not 0; written as "1" or "0".
  virtual bool ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue);
  virtual void WriteBool(const AnsiString& section, const AnsiString& ident, bool value);
  // Key names of a section, section names: in file order.
  virtual void ReadSection(const AnsiString& section, TStrings* strings) = 0;
  virtual void ReadSections(TStrings* strings) = 0;
  // "key=value" lines of a section.
  virtual void ReadSectionValues(const AnsiString& section, TStrings* strings) = 0;
  virtual void EraseSection(const AnsiString& section) = 0;
  virtual void DeleteKey(const AnsiString& section, const AnsiString& ident) = 0;
  virtual void UpdateFile() = 0;
  virtual bool SectionExists(const AnsiString& section);
  virtual bool ValueExists(const AnsiString& section, const AnsiString& ident);

 protected:
  AnsiString FFileName;
};

// The file as sections of lines. Every line is trimmed; empty lines and ";" lines are
// dropped; lines before the first section are ignored; "key = value" loses the blanks around
// "=". Names are compared without case; when a section or a key occurs more than once, the
// last one is read and written. Lines without "=" are kept but are no entries.
class TMemIniFile : public TCustomIniFile {
 public:
  // Reads the file when it exists; a missing file gives an empty object.
  explicit TMemIniFile(const AnsiString& fileName);
  ~TMemIniFile() override;

  AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue) override;
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) override;
  void ReadSection(const AnsiString& section, TStrings* strings) override;
  void ReadSections(TStrings* strings) override;
  void ReadSectionValues(const AnsiString& section, TStrings* strings) override;
  void EraseSection(const AnsiString& section) override;  // every section of that name
  void DeleteKey(const AnsiString& section, const AnsiString& ident) override;
  // Writes the whole text to a new file next to the target and renames it over the target,
  // so the file on disk is always either the old or the new one. EFCreateError on failure.
  void UpdateFile() override;
  bool SectionExists(const AnsiString& section) override;  // also an empty one

  void Clear();
  void GetStrings(TStrings* list);
  void SetStrings(TStrings* list);
  // Another file name; with reload the object is filled from that file.
  void Rename(const AnsiString& fileName, bool reload);

 private:
  // Names are looked up through indexes keyed by the upper-cased name, so that reading every
  // key of a large section takes time in proportion to its size.
  struct Section {
    AnsiString name;
    std::vector<AnsiString> lines;
    struct Lines {
      size_t first, last;  // the name's first entry line (where it is listed) and its last (read)
    };
    std::unordered_map<std::string, Lines> keys;
  };
  Section* FindSection(const AnsiString& name);
  static int FindKey(const Section& section, const AnsiString& ident);
  Section* AddSection(const AnsiString& name);
  static void AddLine(Section& section, const AnsiString& line);
  static void IndexKeys(Section& section);
  void IndexSections();
  void LoadValues();
  std::vector<std::unique_ptr<Section>> FSections;
  std::unordered_map<std::string, Section*> FSectionIndex;  // section name -> its last section
};

// Reads and writes at once through GetPrivateProfileStringA and WritePrivateProfileStringA.
class TIniFile : public TCustomIniFile {
 public:
  explicit TIniFile(const AnsiString& fileName) : TCustomIniFile(fileName) {}
  ~TIniFile() override;

  AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue) override;
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) override;
  void ReadSection(const AnsiString& section, TStrings* strings) override;
  void ReadSections(TStrings* strings) override;
  void ReadSectionValues(const AnsiString& section, TStrings* strings) override;
  void EraseSection(const AnsiString& section) override;
  void DeleteKey(const AnsiString& section, const AnsiString& ident) override;
  void UpdateFile() override;
};
