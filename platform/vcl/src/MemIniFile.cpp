#include <algorithm>

#include "AtomicFile.h"
#include "IniFiles.h"
#include "SectionValues.h"

namespace {

// The name of an entry line, or false for a line without "=".
bool EntryName(const AnsiString& line, AnsiString& name) {
  int p = line.Pos("=");
  if (p == 0) return false;
  name = line.SubString(1, p - 1);
  return true;
}

}  // namespace

TMemIniFile::TMemIniFile(const AnsiString& fileName) : TCustomIniFile(fileName) { LoadValues(); }

TMemIniFile::~TMemIniFile() = default;

void TMemIniFile::LoadValues() {
  TStringList list;
  if (!FFileName.IsEmpty() && FileExists(FFileName)) list.LoadFromFile(FFileName);
  SetStrings(&list);
}

TMemIniFile::Section* TMemIniFile::FindSection(const AnsiString& name) {
  for (size_t i = FSections.size(); i-- > 0;)
    if (CompareText(FSections[i]->name, name) == 0) return FSections[i].get();
  return nullptr;
}

int TMemIniFile::FindKey(const Section& section, const AnsiString& ident) {
  AnsiString name;
  for (size_t i = section.lines.size(); i-- > 0;)
    if (EntryName(section.lines[i], name) && CompareText(name, ident) == 0) return int(i);
  return -1;
}

AnsiString TMemIniFile::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& defaultValue) {
  Section* s = FindSection(section);
  int i = s ? FindKey(*s, ident) : -1;
  if (i < 0) return defaultValue;
  const AnsiString& line = s->lines[size_t(i)];
  int p = line.Pos("=");
  return line.SubString(p + 1, line.Length() - p);
}

void TMemIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
  Section* s = FindSection(section);
  if (!s) {
    FSections.push_back(std::make_unique<Section>());
    s = FSections.back().get();
    s->name = section;
  }
  AnsiString line = ident + "=" + value;
  int i = FindKey(*s, ident);
  if (i >= 0)
    s->lines[size_t(i)] = line;
  else
    s->lines.push_back(line);
}

void TMemIniFile::ReadSection(const AnsiString& section, TStrings* strings) {
  strings->BeginUpdate();
  strings->Clear();
  // A repeated key is listed once, where it first stands.
  if (Section* s = FindSection(section)) {
    AnsiString name, seen;
    for (size_t i = 0; i < s->lines.size(); ++i)
      if (EntryName(s->lines[i], name)) {
        bool first = true;
        for (size_t k = 0; k < i && first; ++k) first = !(EntryName(s->lines[k], seen) && CompareText(seen, name) == 0);
        if (first) strings->Add(name);
      }
  }
  strings->EndUpdate();
}

void TMemIniFile::ReadSections(TStrings* strings) {
  strings->BeginUpdate();
  strings->Clear();
  // A repeated section is listed once, where it first stands.
  for (size_t i = 0; i < FSections.size(); ++i) {
    bool first = true;
    for (size_t k = 0; k < i && first; ++k) first = CompareText(FSections[k]->name, FSections[i]->name) != 0;
    if (first) strings->Add(FSections[i]->name);
  }
  strings->EndUpdate();
}

void TMemIniFile::ReadSectionValues(const AnsiString& section, TStrings* strings) {
  vclimpl::FillSectionValues(*this, section, strings);
}

void TMemIniFile::EraseSection(const AnsiString& section) {
  FSections.erase(std::remove_if(FSections.begin(), FSections.end(),
                                 [&](const std::unique_ptr<Section>& s) { return CompareText(s->name, section) == 0; }),
                  FSections.end());
}

void TMemIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  Section* s = FindSection(section);
  if (!s) return;
  for (int i; (i = FindKey(*s, ident)) >= 0;) s->lines.erase(s->lines.begin() + i);
}

bool TMemIniFile::SectionExists(const AnsiString& section) { return FindSection(section) != nullptr; }

void TMemIniFile::Clear() { FSections.clear(); }

void TMemIniFile::GetStrings(TStrings* list) {
  list->BeginUpdate();
  list->Clear();
  for (const auto& s : FSections) {
    list->Add("[" + s->name + "]");
    for (const AnsiString& line : s->lines) list->Add(line);
    list->Add("");
  }
  list->EndUpdate();
}

void TMemIniFile::SetStrings(TStrings* list) {
  Clear();
  Section* current = nullptr;
  for (int i = 0; i < list->Count(); ++i) {
    AnsiString s = list->Get(i).Trim();
    if (s.IsEmpty() || s[1] == ';') continue;
    if (s.Length() >= 2 && s[1] == '[' && s[s.Length()] == ']') {
      FSections.push_back(std::make_unique<Section>());
      current = FSections.back().get();
      current->name = s.SubString(2, s.Length() - 2).Trim();
    } else if (current) {
      int p = s.Pos("=");
      if (p > 0)
        current->lines.push_back(s.SubString(1, p - 1).Trim() + "=" + s.SubString(p + 1, s.Length() - p).Trim());
      else
        current->lines.push_back(s);
    }
  }
}

void TMemIniFile::Rename(const AnsiString& fileName, bool reload) {
  FFileName = fileName;
  if (reload) LoadValues();
}

void TMemIniFile::UpdateFile() {
  TStringList list;
  GetStrings(&list);
  vclimpl::ReplaceFile(FFileName, list.GetText().str());
}
