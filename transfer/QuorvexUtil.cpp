#include "QuorvexUtil.h"

#include <cstdarg>
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "windows.h"
#include "winplat.h"

// ---------------------------------------------------------------- URL, path and text helpers

AnsiString URLEncode(const AnsiString& Text) {
  static const char kept[] = "!$&'()*-./:=?@_";
  AnsiString result;
  for (const char* p = Text.c_str(); *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || strchr(kept, c))
      result += char(c);
    else if (c == ' ')
      result += '+';
    else
      result.cat_printf("%%%.2x", c);
  }
  return result;
}

AnsiString URLEncodeQueryValue(const AnsiString& Text) {
  AnsiString encoded = URLEncode(Text);
  AnsiString result;
  for (const char* p = encoded.c_str(); *p; ++p) {
    if (*p == '&')
      result += "%26";
    else if (*p == '=')
      result += "%3d";
    else if (*p == '?')
      result += "%3f";
    else
      result += *p;
  }
  return result;
}

AnsiString RemoveDoubleBackslash(const AnsiString& Text) { return StringReplace(Text, "\\\\", "\\", rfReplaceAll); }

AnsiString BackslashToSlash(const AnsiString& Text) { return StringReplace(Text, "\\", "/", rfReplaceAll); }

AnsiString GetTempDirectory() {
  char buffer[1024];
  if (GetTempPathA(sizeof buffer, buffer) == 0) {
    CreateDir("C:\\Quorvex\\");
    return "C:\\Quorvex\\";
  }
  return buffer;
}

AnsiString GetURLFileName(const AnsiString& URL) {
  int a = URL.LastDelimiter("/");
  int q = URL.LastDelimiter("?");
  if (q == 0) return URL.SubString(a + 1, URL.Length() - a);
  if (q < a) return "";
  return URL.SubString(a + 1, q - a - 1);
}

AnsiString GetURLPath(const AnsiString& URL) {
  int a = URL.LastDelimiter("/");
  if (a == 0) return URL;
  return URL.SubString(1, a - 1);
}

AnsiString FormatStr(const char* Format, ...) {
  AnsiString result;
  va_list args;
  va_start(args, Format);
  result.vprintf(Format, args);
  va_end(args);
  return result;
}

bool SplitAtFirst(const AnsiString& Text, const AnsiString& Separator, AnsiString& Left, AnsiString& Right) {
  int p = Text.Pos(Separator);
  if (p == 0) return false;
  Left = Text.SubString(1, p - 1);
  Right = Text.SubString(p + 1, Text.Length() - p);
  return true;
}

AnsiString GetFileVersionString(const AnsiString& FileName, const AnsiString& ValueName) {
  AnsiString result;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &handle);
  if (size == 0) return result;
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (!block) return result;
  if (GetFileVersionInfoA(FileName.c_str(), handle, size, block)) {
    WORD* translation = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block, "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) &&
        length >= 4) {
      AnsiString path = FormatStr("\\StringFileInfo\\%04X%04X\\%s", translation[0], translation[1], ValueName.c_str());
      char* value = nullptr;
      if (VerQueryValueA(block, path.c_str(), reinterpret_cast<LPVOID*>(&value), &length) && value) result = value;
    }
  }
  HeapFree(GetProcessHeap(), 0, block);
  return result;
}

unsigned int VersionToNumber(const AnsiString& Version) {
  std::unique_ptr<TStringList> items(new TStringList);
  items->Delimiter = '.';
  items->SetDelimitedText(Version);
  unsigned int v = 0;
  for (int i = 0; i < items->Count(); ++i) v = (v << 8) + unsigned(StrToIntDef(items->Strings(i), 0));
  return v;
}

AnsiString PathJoin(const AnsiString& Name, const AnsiString& Folder) {
  AnsiString path = Folder.IsEmpty() ? Name : Folder + "\\" + Name;
  path = RemoveDoubleBackslash(path);
  path = StringReplace(path, "\"", "", rfReplaceAll);
  return ExpandFileName(path);
}

bool IsRelativeName(const AnsiString& Name) {
  const std::string name = Name.str();
  if (name.empty()) return true;
  // Checked first: in valid text of the code page no trail byte is "\", "/" or ":", so the
  // byte-wise tests below see every separator that the file functions see.
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(), int(name.size()), nullptr, 0) <= 0)
    return false;
  if (name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string step = name.substr(start, end - start);
    if (step != "." && !step.empty() && step.find_first_not_of(". ") == std::string::npos) return false;
    start = end + 1;
  }
  return true;
}

bool IsPlainFileName(const AnsiString& Name) {
  const std::string name = Name.str();
  return !name.empty() && name != "." && IsRelativeName(Name) && name.find_first_of("\\/") == std::string::npos;
}

AnsiString PathBelow(const AnsiString& Name, const AnsiString& Folder) {
  if (!IsRelativeName(Name)) return "";
  AnsiString folder = ExpandFileName(Folder);
  if (folder.Length() > 3) folder = ExcludeTrailingBackslash(folder);
  AnsiString path = Name.IsEmpty() ? folder : PathJoin(Name, folder);
  if (path.Length() > 3) path = ExcludeTrailingBackslash(path);
  // Nothing the checks above let through climbs out; this test keeps it so for a spelling they miss.
  AnsiString prefix = IncludeTrailingBackslash(folder);
  if (path != folder && path.SubString(1, prefix.Length()) != prefix) return "";
  return path;
}

namespace {

// A full path as the file functions take it: each step without the dots and blanks Windows
// drops from its end, ending in "\\".
std::string PathSteps(const AnsiString& Path) {
  std::string path = ExpandFileName(Path).str(), steps;
  for (size_t start = 0; start <= path.size();) {
    size_t end = std::min(path.find('\\', start), path.size());
    std::string step = path.substr(start, end - start);
    while (!step.empty() && (step.back() == '.' || step.back() == ' ')) step.pop_back();
    if (!step.empty()) steps += step + "\\";
    start = end + 1;
  }
  return steps;
}

// The steps with their letters folded, as the file functions match them. Folding keeps every
// byte where it is, so a start of the steps is the same start of the key.
std::string KeyOf(const std::string& steps) { return AnsiString(steps.c_str()).UpperCase().str(); }

// ---- what a path leads to, whatever its spelling

// Steps as a path the file functions take ("C:\\" stays the root). Looked up as spelled, which
// the layer finds at once; a key would be matched without letter case, step by step.
std::string StepsPath(const std::string& steps) {
  return steps.size() > 3 ? steps.substr(0, steps.size() - 1) : steps;
}

bool IdentityOf(const std::string& steps, winplat::FileIdentity& id) {
  return winplat::GetFileIdentity(StepsPath(steps), id);
}

// The length of each start of steps that names a folder or file ("C:\\", "C:\\A\\", ...),
// the whole path last.
std::vector<size_t> StepStarts(const std::string& steps) {
  std::vector<size_t> starts;
  for (size_t at = steps.find('\\'); at != std::string::npos; at = steps.find('\\', at + 1))
    starts.push_back(at + 1);
  return starts;
}

// What follows the program folder in a key: "HTML\\" and what is below it, or one program,
// library or the settings file.
bool IsOwnRest(const std::string& rest) {
  if (rest.compare(0, 5, "HTML\\") == 0) return true;
  if (rest.empty() || rest.find('\\') != rest.size() - 1) return false;
  auto endsWith = [&](const std::string& tail) {
    return rest.size() >= tail.size() && rest.compare(rest.size() - tail.size(), tail.size(), tail) == 0;
  };
  if (rest == "MOVRANT.INI\\") return true;
  for (const char* ext : {".EXE\\", ".DLL\\", ".OCX\\", ".BPL\\"})
    if (endsWith(ext)) return true;
  return false;
}

// An existing file that is one of the program folder's own under another name (a link).
bool IsOwnFileByIdentity(const std::string& folder, const winplat::FileIdentity& file) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  const std::string folderKey = KeyOf(folder);
  bool own = false;
  do {
    std::string steps = PathSteps(AnsiString(folder.c_str()) + found.cFileName);
    winplat::FileIdentity id;
    own = steps.size() > folder.size() && KeyOf(steps).compare(0, folder.size(), folderKey) == 0 &&
          IsOwnRest(KeyOf(steps.substr(folder.size()))) && IdentityOf(steps, id) && id == file;
  } while (!own && FindNextFileA(find, &found));
  FindClose(find);
  return own;
}

// What each start of steps that exists leads to, and the length of that start.
std::vector<std::pair<winplat::FileIdentity, size_t>> ExistingStarts(const std::string& steps) {
  std::vector<size_t> starts = StepStarts(steps);
  std::vector<winplat::FileIdentity> ids = winplat::GetPathIdentities(StepsPath(steps));
  std::vector<std::pair<winplat::FileIdentity, size_t>> existing;
  for (size_t k = 0; k < ids.size() && k < starts.size(); ++k) existing.push_back({ids[k], starts[k]});
  return existing;
}

}  // namespace

bool IsProgramOwnFile(const AnsiString& Path) {
  char exe[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  // Without the program's own name nothing can be told apart from it.
  if (n == 0 || n >= sizeof exe) return true;
  const std::string folder = PathSteps(ExtractFileDir(AnsiString(exe, int(n))));
  const std::string steps = PathSteps(Path), folderKey = KeyOf(folder), key = KeyOf(steps);
  if (key.size() > folderKey.size() && key.compare(0, folderKey.size(), folderKey) == 0 &&
      IsOwnRest(key.substr(folderKey.size())))
    return true;
  // The program folder or its pages' folder by another spelling: a link, or a drive rooted in
  // it. Each start of the path that leads there is judged with what follows it.
  winplat::FileIdentity self, pages;
  if (!IdentityOf(folder, self)) return false;
  bool hasPages = IdentityOf(folder + "HTML\\", pages);
  std::vector<std::pair<winplat::FileIdentity, size_t>> existing = ExistingStarts(steps);
  for (const auto& [id, start] : existing)
    if ((id == self && IsOwnRest(key.substr(start))) || (hasPages && id == pages)) return true;
  return !existing.empty() && existing.size() == StepStarts(steps).size() &&
         IsOwnFileByIdentity(folder, existing.back().first);
}

bool SamePath(const AnsiString& A, const AnsiString& B) {
  const std::string a = PathSteps(A), b = PathSteps(B);
  if (KeyOf(a) == KeyOf(b)) return true;
  // One file, or one name to be, below what both spellings lead to: the deepest start of each
  // that exists, and the rest.
  auto deepestA = ExistingStarts(a), deepestB = ExistingStarts(b);
  return !deepestA.empty() && !deepestB.empty() && deepestA.back().first == deepestB.back().first &&
         KeyOf(a.substr(deepestA.back().second)) == KeyOf(b.substr(deepestB.back().second));
}

TMemIniFile* OpenIniIn(const AnsiString& Name, const AnsiString& Folder, bool Create) {
  AnsiString path = PathJoin(Name, Folder);
  if (!FileExists(path) && !Create) return nullptr;
  try {
    return new TMemIniFile(path);
  } catch (...) {
    return nullptr;
  }
}

// ---------------------------------------------------------------- size text

AnsiString FormatSize(long long Size) {
  if (Size > 1073741824LL) return FormatFloat("###,###,###,###.# GB", double(Size) / 1073741824.0);
  if (Size > 10485760LL) return FormatFloat("###,###,###,### MB", double(Size) / 1048576.0);
  if (Size > 1048576LL) return FormatFloat("###,###,###.# MB", double(Size) / 1048576.0);
  if (Size > 1024LL) return FormatFloat("###,###,###.# KB", double(Size) / 1024.0);
  if (Size == 0) return "0 B";
  return FormatFloat("###,###,### B", double(Size));
}

// ---------------------------------------------------------------- settings macros

TMacroMap::TMacroMap() : Items(new TStringList) {}

TMacroMap::~TMacroMap() { ClearMacroMap(this); }

TMacroMap* CreateMacroMap() { return new TMacroMap; }

void FreeMacroMap(TMacroMap* Map) { delete Map; }

void ClearMacroMap(TMacroMap* Map) {
  if (!Map) return;
  for (int i = 0; i < Map->Items->Count(); ++i) delete Map->Items->Objects(i);
  Map->Items->Clear();
  Map->Growth = 0;
}

int MacroMapIndexOf(TMacroMap* Map, const AnsiString& Name) {
  for (int i = 0; i < Map->Items->Count(); ++i)
    if (CompareText(Map->Items->Strings(i), Name) == 0) return i;
  return -1;
}

int MacroMapAdd(TMacroMap* Map, const AnsiString& Name, const AnsiString& Value) {
  if (MacroMapIndexOf(Map, Name) >= 0) return -1;
  std::unique_ptr<TMacroValue> value(new TMacroValue(Value));
  int index = Map->Items->AddObject(Name, value.get());
  value.release();
  return index;
}

AnsiString MacroMapLookup(TMacroMap* Map, const AnsiString& Name, bool& Found) {
  int i = MacroMapIndexOf(Map, Name);
  Found = i >= 0;
  if (!Found) return "";
  return static_cast<TMacroValue*>(Map->Items->Objects(i))->Value;
}

AnsiString MacroMapName(TMacroMap* Map, int Index) {
  if (Index < 0 || Index >= Map->Items->Count()) return "";
  return Map->Items->Strings(Index);
}

AnsiString ExpandMacros(TMacroMap* Map, const AnsiString& Text) {
  if (Text.Pos("$") == 0) return Text;
  AnsiString result = Text;
  int substitutions = 0;
  for (int i = 0; i < Map->Items->Count(); ++i) {
    AnsiString name = MacroMapName(Map, i);
    AnsiString token = "$" + name + "$";
    if (result.Pos(token) == 0) continue;
    bool found = false;
    AnsiString value = MacroMapLookup(Map, name, found);
    if (!found) continue;
    // The size of the result is known before it is built: refuse it before it is allocated.
    int count = 0;
    for (const char* p = strstr(result.c_str(), token.c_str()); p; p = strstr(p + token.Length(), token.c_str()))
      ++count;
    long long length = result.Length() + (long long)count * (value.Length() - token.Length());
    substitutions += count;
    if (length > result.Length()) Map->Growth += length - result.Length();
    if ((length > MACRO_MAX_LENGTH && length > result.Length()) || substitutions > MACRO_MAX_SUBSTITUTIONS ||
        Map->Growth > MACRO_MAX_GROWTH)
      throw EMacroLimit(FormatStr("macro expansion past its limits at $%s$", name.c_str()));
    result = StringReplace(result, token, value, rfReplaceAll);
    if (result.Pos("$") == 0) break;
  }
  return result;
}

void LoadMacroSection(TMacroMap* Map, TCustomIniFile* Ini, const AnsiString& Section) {
  std::unique_ptr<TStringList> keys(new TStringList);
  Ini->ReadSection(Section, keys.get());
  for (int i = 0; i < keys->Count(); ++i) {
    AnsiString value = Ini->ReadString(Section, keys->Strings(i), "");
    MacroMapAdd(Map, keys->Strings(i), ExpandMacros(Map, value));
  }
}

void ExpandIniMacros(TMacroMap* Map, TCustomIniFile* Ini, const AnsiString& Section) {
  LoadMacroSection(Map, Ini, Section);
  std::unique_ptr<TStringList> sections(new TStringList);
  std::unique_ptr<TStringList> keys(new TStringList);
  Ini->ReadSections(sections.get());
  for (int s = 0; s < sections->Count(); ++s) {
    keys->Clear();
    Ini->ReadSection(sections->Strings(s), keys.get());
    for (int k = 0; k < keys->Count(); ++k) {
      AnsiString value = Ini->ReadString(sections->Strings(s), keys->Strings(k), "");
      AnsiString expanded = ExpandMacros(Map, value);
      if (expanded != value) Ini->WriteString(sections->Strings(s), keys->Strings(k), expanded);
    }
  }
}

// ---------------------------------------------------------------- drives and check values

bool IsRemovableDrive(const AnsiString& Drive) {
  AnsiString letter = StringReplace(Drive, ":", "", rfReplaceAll);
  letter = StringReplace(letter, "\\", "", rfReplaceAll);
  if (letter.Length() != 1) return false;
  return GetDriveTypeA(FormatStr("%s:\\", letter.c_str()).c_str()) == DRIVE_REMOVABLE;
}

namespace {

// The reflected CRC-32 table of IEEE 802.3 with the eight entries the stored check values were
// computed with.
struct ChecksumTable {
  unsigned int t[256];
  constexpr ChecksumTable() : t() {
    for (unsigned int n = 0; n < 256; ++n) {
      unsigned int c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    t[2] = 0xEE8E612Cu;
    t[10] = 0xE8D5E91Eu;
    t[49] = 0x51DE803Au;
    t[114] = 0xBE8B1010u;
    t[146] = 0x1E81F268u;
    t[153] = 0x89D32BE8u;
    t[205] = 0xE5D5BE8Du;
    t[226] = 0x4E848354u;
  }
};

constexpr ChecksumTable kChecksumTable;
constexpr unsigned int kQvrx = 'Q' | ('V' << 8) | ('R' << 16) | (unsigned('X') << 24);

}  // namespace

int FileChecksum(const AnsiString& FileName, unsigned int& Value) {
  // The class library's file handles resolve DOS paths and honour other handles' share modes,
  // so a file locked for reading fails here as it would for the C runtime.
  if (!FileExists(FileName)) return 0;
  int handle = FileOpen(FileName, fmOpenRead | fmShareDenyNone);
  if (handle < 0) return 0;
  unsigned int value = 0xFFFFFFFFu;
  unsigned char buffer[1024];
  int n;
  while ((n = FileRead(handle, buffer, sizeof buffer)) > 0)
    for (int i = 0; i < n; ++i) value = kChecksumTable.t[(value ^ buffer[i]) & 0xFF] ^ (value >> 8);
  FileClose(handle);
  if (n < 0) return 0;  // a failed read must not pass for the value of a shorter file
  value = ~value;
  Value = value ^ kQvrx;
  return 1;
}

HWND ActivatePrevInstance(const AnsiString& Title) {
  HWND hwnd = FindWindowA("TApplication", Title.c_str());
  if (hwnd) {
    if (IsIconic(hwnd)) OpenIcon(hwnd);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
  }
  return hwnd;
}

// ---------------------------------------------------------------- files a transfer writes

TTransferFile::TTransferFile(const AnsiString& Target)
    : TTransferFile(ExtractFilePath(ExpandFileName(Target)), "qvt", ExpandFileName(Target)) {}

namespace {

[[noreturn]] void CannotCreate(const AnsiString& Name, int Error) {
  throw EFCreateError("Cannot create file " + Name + ". " + SysErrorMessage(Error));
}

// A folder or a read-only file of the target's name can never be replaced: the transfer fails
// before it starts, as creating the file itself would.
void EnsureReplaceable(const AnsiString& Target) {
  DWORD attributes = GetFileAttributesA(Target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
    CannotCreate(Target, ERROR_ACCESS_DENIED);
}

}  // namespace

std::unique_ptr<TTransferFile> TTransferFile::NewIn(const AnsiString& Folder, const AnsiString& Prefix) {
  return std::unique_ptr<TTransferFile>(new TTransferFile(Folder, Prefix, ""));
}

TTransferFile::TTransferFile(const AnsiString& Folder, const AnsiString& Prefix, const AnsiString& Target)
    : FTarget(Target) {
  if (!FTarget.IsEmpty()) EnsureReplaceable(FTarget);
  char name[MAX_PATH] = {};
  if (GetTempFileNameA(Folder.c_str(), Prefix.c_str(), 0, name) == 0)
    CannotCreate(Target.IsEmpty() ? Folder : Target, int(GetLastError()));
  FName = name;
  if (FTarget.IsEmpty()) FTarget = FName;
  try {
    FStream = std::make_unique<TFileStream>(FName, fmCreate);
  } catch (...) {
    DeleteFileA(FName.c_str());
    throw;
  }
}

TTransferFile::~TTransferFile() {
  FStream.reset();
  if (!FName.IsEmpty()) DeleteFileA(FName.c_str());
}

bool TTransferFile::Commit() {
  if (FName.IsEmpty()) return false;
  FStream.reset();
  bool placed = FName == FTarget || MoveFileExA(FName.c_str(), FTarget.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!placed) DeleteFileA(FName.c_str());
  FName = "";
  return placed;
}
