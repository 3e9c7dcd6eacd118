#include <algorithm>
#include <unordered_set>

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

// The index key of a name: names compare without case as CompareText does (ASCII letters).
std::string IndexKey(const AnsiString& name) { return name.UpperCase().str(); }

}  // namespace

TMemIniFile::TMemIniFile(const AnsiString& fileName) : TCustomIniFile(fileName) { LoadValues(); }

TMemIniFile::~TMemIniFile() = default;

void TMemIniFile::LoadValues() {
  TStringList list;
  if (!FFileName.IsEmpty() && FileExists(FFileName)) list.LoadFromFile(FFileName);
  SetStrings(&list);
}

TMemIniFile::Section* TMemIniFile::FindSection(const AnsiString& name) {
  auto it = FSectionIndex.find(IndexKey(name));
  return it == FSectionIndex.end() ? nullptr : it->second;
}

int TMemIniFile::FindKey(const Section& section, const AnsiString& ident) {
  auto it = section.keys.find(IndexKey(ident));
  return it == section.keys.end() ? -1 : int(it->second.last);
}

TMemIniFile::Section* TMemIniFile::AddSection(const AnsiString& name) {
  FSections.push_back(std::make_unique<Section>());
  Section* s = FSections.back().get();
  s->name = name;
  FSectionIndex[IndexKey(name)] = s;  // the last section of a name is the one read and written
  return s;
}

void TMemIniFile::AddLine(Section& section, const AnsiString& line) {
  section.lines.push_back(line);
  AnsiString name;
  const size_t at = section.lines.size() - 1;
  if (EntryName(line, name)) {
    auto [it, added] = section.keys.try_emplace(IndexKey(name), Section::Lines{at, at});
    if (!added) it->second.last = at;
  }
}

void TMemIniFile::IndexKeys(Section& section) {
  std::vector<AnsiString> lines;
  lines.swap(section.lines);
  section.keys.clear();
  for (const AnsiString& line : lines) AddLine(section, line);
}

void TMemIniFile::IndexSections() {
  FSectionIndex.clear();
  for (const auto& s : FSections) FSectionIndex[IndexKey(s->name)] = s.get();
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
  if (!s) s = AddSection(section);
  AnsiString line = ident + "=" + value;
  int i = FindKey(*s, ident);
  if (i >= 0)
    s->lines[size_t(i)] = line;
  else
    AddLine(*s, line);
}

void TMemIniFile::ReadSection(const AnsiString& section, TStrings* strings) {
  strings->BeginUpdate();
  strings->Clear();
  // A repeated key is listed once, where it first stands.
  if (Section* s = FindSection(section)) {
    AnsiString name;
    for (size_t i = 0; i < s->lines.size(); ++i)
      if (EntryName(s->lines[i], name) && s->keys.at(IndexKey(name)).first == i) strings->Add(name);
  }
  strings->EndUpdate();
}

void TMemIniFile::ReadSections(TStrings* strings) {
  strings->BeginUpdate();
  strings->Clear();
  // A repeated section is listed once, where it first stands.
  std::unordered_set<std::string> seen;
  for (const auto& s : FSections)
    if (seen.insert(IndexKey(s->name)).second) strings->Add(s->name);
  strings->EndUpdate();
}

void TMemIniFile::ReadSectionValues(const AnsiString& section, TStrings* strings) {
  vclimpl::FillSectionValues(*this, section, strings);
}

void TMemIniFile::EraseSection(const AnsiString& section) {
  FSections.erase(std::remove_if(FSections.begin(), FSections.end(),
                                 [&](const std::unique_ptr<Section>& s) { return CompareText(s->name, section) == 0; }),
                  FSections.end());
  IndexSections();
}

void TMemIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  Section* s = FindSection(section);
  if (!s || FindKey(*s, ident) < 0) return;
  AnsiString name;
  s->lines.erase(std::remove_if(s->lines.begin(), s->lines.end(),
                                [&](const AnsiString& line) {
                                  return EntryName(line, name) && CompareText(name, ident) == 0;
                                }),
                 s->lines.end());
  IndexKeys(*s);
}

bool TMemIniFile::SectionExists(const AnsiString& section) { return FindSection(section) != nullptr; }

void TMemIniFile::Clear() {
  FSections.clear();
  FSectionIndex.clear();
}

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
      current = AddSection(s.SubString(2, s.Length() - 2).Trim());
    } else if (current) {
      int p = s.Pos("=");
      if (p > 0)
        AddLine(*current, s.SubString(1, p - 1).Trim() + "=" + s.SubString(p + 1, s.Length() - p).Trim());
      else
        AddLine(*current, s);
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
