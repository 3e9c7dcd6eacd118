// Shared helpers of the updater: URL and path strings, the temporary folder, formatting,
// version resources and numbers, INI files, size text, settings macros, the removable-drive
// test and the file check value. None of them keeps state.
#pragma once
#include <memory>

#include "Classes.h"
#include "IniFiles.h"
#include "SysUtils.h"
#include "windef.h"

// ---------------------------------------------------------------- URL, path and text helpers

AnsiString URLEncode(const AnsiString& Text);
// One value of a query: URLEncode, and "&", "=" and "?" as well, so that the value cannot end
// early or bring in a parameter of its own. The result is encoded for good: an address made with
// it must not pass URLEncode again (TQuorvexWebGet::EncodeAddress), which would encode its "%".
AnsiString URLEncodeQueryValue(const AnsiString& Text);
AnsiString RemoveDoubleBackslash(const AnsiString& Text);
AnsiString BackslashToSlash(const AnsiString& Text);
AnsiString GetTempDirectory();
AnsiString GetURLFileName(const AnsiString& URL);
AnsiString GetURLPath(const AnsiString& URL);
AnsiString FormatStr(const char* Format, ...) __attribute__((format(printf, 1, 2)));
bool SplitAtFirst(const AnsiString& Text, const AnsiString& Separator, AnsiString& Left, AnsiString& Right);
AnsiString GetFileVersionString(const AnsiString& FileName, const AnsiString& ValueName);

unsigned int VersionToNumber(const AnsiString& Version);
AnsiString PathJoin(const AnsiString& Name, const AnsiString& Folder);
// Names that the vendor's server sends become local names only through these two. A relative
// name stays below its folder: no drive, no root or network name, no ".." step (nor a step of
// dots that Windows reads as one), no ":" and only valid text of the code page, so every use
// of the name resolves it to the same folder.
bool IsRelativeName(const AnsiString& Name);
// One file name without any folder part.
bool IsPlainFileName(const AnsiString& Name);
// PathJoin of a relative name and an absolute folder, without a trailing ""; "" when Name is
// not a relative name. An empty Name gives the folder itself.
AnsiString PathBelow(const AnsiString& Name, const AnsiString& Folder);
// The program's own files, which nothing the vendor's server sends may create, replace or
// delete: in the program's folder every program (".exe") and library (".dll", ".ocx", ".bpl")
// and the settings file "Movrant.ini", and the local pages' folder "HTML" with everything below
// it. Path is a full path; letter case is ignored, as the file functions ignore it, and so are
// the dots and blanks that Windows drops from the end of a name.
bool IsProgramOwnFile(const AnsiString& Path);
// True when the file functions take both paths for one file (letter case, the dots and blanks
// Windows drops from a name's end).
bool SamePath(const AnsiString& A, const AnsiString& B);
// The caller owns the object; null when the file is missing and Create is not set.
TMemIniFile* OpenIniIn(const AnsiString& Name, const AnsiString& Folder, bool Create);

// ---------------------------------------------------------------- size text

AnsiString FormatSize(long long Size);

// ---------------------------------------------------------------- settings macros

// A macro's value, attached to its name in the map's list.
class TMacroValue : public TObject {
 public:
  explicit TMacroValue(const AnsiString& value) : Value(value) {}
  AnsiString Value;
};

// Macro names in insertion order, each once (compared without case), with owned values.
class TMacroMap : public TObject {
 public:
  TMacroMap();
  ~TMacroMap() override;
  std::unique_ptr<TStringList> Items;
  long long Growth = 0;  // bytes added by the expansions through this map
};

TMacroMap* CreateMacroMap();
void FreeMacroMap(TMacroMap* Map);
void ClearMacroMap(TMacroMap* Map);
int MacroMapIndexOf(TMacroMap* Map, const AnsiString& Name);
int MacroMapAdd(TMacroMap* Map, const AnsiString& Name, const AnsiString& Value);
AnsiString MacroMapLookup(TMacroMap* Map, const AnsiString& Name, bool& Found);
AnsiString MacroMapName(TMacroMap* Map, int Index);

// Macros that bring in macros can double a value per level: an info file of a few hundred bytes
// would expand to gigabytes. ExpandMacros raises EMacroLimit when a value grows past
// MACRO_MAX_LENGTH bytes or takes more than MACRO_MAX_SUBSTITUTIONS substitutions, or when the
// expansions through one map together add more than MACRO_MAX_GROWTH bytes.
class EMacroLimit : public Exception {
 public:
  explicit EMacroLimit(const AnsiString& msg) : Exception(msg) {}
};
const int MACRO_MAX_LENGTH = 65536;
const int MACRO_MAX_SUBSTITUTIONS = 4096;
const long long MACRO_MAX_GROWTH = 16LL * 1024 * 1024;

AnsiString ExpandMacros(TMacroMap* Map, const AnsiString& Text);
void LoadMacroSection(TMacroMap* Map, TCustomIniFile* Ini, const AnsiString& Section);
void ExpandIniMacros(TMacroMap* Map, TCustomIniFile* Ini, const AnsiString& Section);

// ---------------------------------------------------------------- drives and check values

bool IsRemovableDrive(const AnsiString& Drive);
// 1 with the value set, 0 when the file cannot be read (the value is left as it was).
int FileChecksum(const AnsiString& FileName, unsigned int& Value);

// ---------------------------------------------------------------- single instance

// The application window of a running instance titled Title, restored when minimised and
// brought to the front; null when there is none.
HWND ActivatePrevInstance(const AnsiString& Title);

// ---------------------------------------------------------------- files a transfer writes

// A file that a transfer writes, for every transfer that stores what it receives. The body goes
// into a new file beside the target, under a name the system makes, so that nothing already there
// is truncated while it arrives; Commit gives the new file the target's name, replacing a file of
// that name, once the caller has judged the transfer a success. Without a Commit (a failed or
// stopped transfer, an exception) the new file is deleted and the target keeps what it held.
class TTransferFile {
 public:
  // Raises EFCreateError when no new file can be made beside Target.
  explicit TTransferFile(const AnsiString& Target);
  // A file that must take no name already there (a package): the new file, named Prefix, a
  // number and ".TMP" in Folder, is the target itself, and Commit keeps it.
  static std::unique_ptr<TTransferFile> NewIn(const AnsiString& Folder, const AnsiString& Prefix);
  ~TTransferFile();
  TTransferFile(const TTransferFile&) = delete;
  TTransferFile& operator=(const TTransferFile&) = delete;

  // The new file, open for writing; null after Commit.
  TStream* Stream() const { return FStream.get(); }
  // The full path of the file once committed.
  const AnsiString& FileName() const { return FTarget; }
  // False when the new file cannot take the target's name (it is deleted then).
  bool Commit();

 private:
  TTransferFile(const AnsiString& Folder, const AnsiString& Prefix, const AnsiString& Target);

  AnsiString FTarget;
  AnsiString FName;
  std::unique_ptr<TFileStream> FStream;
};
