#include "QuorvexWebUpdate.h"

#include <windows.h>

#include <vector>

#include "Dialogs.h"
#include "Forms.h"
#include "IniFiles.h"
#include "QuorvexUtil.h"
#include "Registry.h"
#include "SysUtils.h"

#ifndef CREATE_NEW_CONSOLE
#define CREATE_NEW_CONSOLE 0x00000010
#endif

namespace {

const char* const kInfoFileName = "__QuorvexWebUpdate__.inf";
const char* const kHelperFileName = "qvrxupd.exe";
const char* const kCacheKey = "SOFTWARE\\Quorvex\\WebUpdater";
// Files above this size keep their check value in the registry: reading them takes long.
const long long kCacheLimit = 4000000;
// How often (ms) the walk over the list lets the window messages in.
const DWORD kLookInterval = 100;

AnsiString HelperPath() { return RemoveDoubleBackslash(GetTempDirectory() + "\\" + kHelperFileName); }

bool IsProgramFile(const AnsiString& name) {
  AnsiString ext = ExtractFileExt(name).UpperCase();
  if (ext.Length() > 0 && ext[1] == '.') ext = ext.SubString(2, ext.Length() - 1);
  return ext == "EXE" || ext == "BPL" || ext == "DLL" || ext == "OCX";
}

// The list's instructions must not reach outside the program folder, whatever its paths say.
bool IsInside(const AnsiString& path, const AnsiString& folder) {
  AnsiString full = ExpandFileName(path).UpperCase();
  AnsiString root = IncludeTrailingBackslash(ExpandFileName(folder)).UpperCase();
  return full.Length() > root.Length() && full.SubString(1, root.Length()) == root;
}

// The packages that may still lie in a program folder, by full path, kept beside the check
// values from run to run: a restart ends the program before its helper runs, and the helper
// keeps a package it cannot unpack. Each run first deletes what the runs before it left, so no
// more than one run's packages are ever left.
const char* const kLeftPackages = "PACKAGES";

std::unique_ptr<TStringList> ReadLeftPackages() {
  auto left = std::make_unique<TStringList>();
  TRegistry reg;
  reg.RootKey = HKEY_CURRENT_USER;
  if (reg.OpenKey(kCacheKey, false)) left->SetCommaText(reg.ReadString(kLeftPackages));
  return left;
}

void WriteLeftPackages(TStringList* left) {
  TRegistry reg;
  reg.RootKey = HKEY_CURRENT_USER;
  if (!reg.OpenKey(kCacheKey, left->Count() > 0)) return;
  if (left->Count() > 0)
    reg.WriteString(kLeftPackages, left->GetCommaText());
  else if (reg.ValueExists(kLeftPackages))
    reg.DeleteValue(kLeftPackages);
}

// A package file made (left true), or gone (false). Names whose file is gone go too.
void NotePackage(const AnsiString& path, bool left) {
  std::unique_ptr<TStringList> packages = ReadLeftPackages();
  for (int i = packages->Count() - 1; i >= 0; --i)
    if (!FileExists((*packages)[i]) || SameText((*packages)[i], path)) packages->Delete(i);
  if (left) packages->Add(path);
  WriteLeftPackages(packages.get());
}

void DeleteLeftPackages() {
  std::unique_ptr<TStringList> packages = ReadLeftPackages();
  if (packages->Count() == 0) return;
  for (int i = packages->Count() - 1; i >= 0; --i)
    if (!FileExists((*packages)[i]) || DeleteFile((*packages)[i])) packages->Delete(i);
  WriteLeftPackages(packages.get());
}

}  // namespace

void UnscrambleHelper(std::vector<unsigned char>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i] ^ ((i * 0x9D + 0x5B) & 0xFF));
    bytes[i] = static_cast<unsigned char>((b >> 3) | (b << 5));
  }
}

TQuorvexWebUpdate::TQuorvexWebUpdate(TComponent* Owner)
    : TQuorvexWebGet(Owner), FPackages(std::make_unique<TStringList>()) {
  PacketSize = 102400;
  AnsiString helper = HelperPath();
  if (FileExists(helper)) DeleteFile(helper);
}

TQuorvexWebUpdate::~TQuorvexWebUpdate() = default;

AnsiString TQuorvexWebUpdate::GetProgramDir() { return ExtractFileDir(Application->ExeName); }

bool TQuorvexWebUpdate::Execute(AnsiString url) {
  AnsiString base = GetURLPath(url);
  AnsiString infoPath = RemoveDoubleBackslash(GetTempDirectory() + "\\" + kInfoFileName);
  AnsiString oldDir = GetCurrentDir();
  SetCurrentDir(GetProgramDir());
  DeleteLeftPackages();

  bool oldCache = UseCache;
  UseCache = false;
  char* buffer = nullptr;
  int n = GetBuffer(url, buffer, false);
  UseCache = oldCache;
  if (n <= 0) {
    SetCurrentDir(oldDir);
    return false;
  }

  std::unique_ptr<char[]> received(buffer);
  bool stored = false;
  try {
    TTransferFile file(infoPath);
    file.Stream()->WriteBuffer(received.get(), n);
    stored = file.Commit();
  } catch (const Exception&) {
    stored = false;
  }
  if (!stored) {
    // A list that cannot be stored cannot be read either: treat it as not received.
    SetCurrentDir(oldDir);
    return false;
  }
  received.reset();
  if (OnInfoFile) OnInfoFile(this, infoPath);

  {
    TIniFile ini(infoPath);
    ProcessInfoFile(base, &ini);
  }
  DeleteFile(infoPath);

  // After a close nothing further starts, neither the helper nor a restart: the packages that
  // arrived are nobody's to unpack.
  if (ProgramClosing()) {
    DeleteLeftPackages();
    FPackages->Clear();
    FIsRestart = false;
    SetCurrentDir(oldDir);
    return false;
  }
  if (FPackages->Count() > 0) {
    if (FIsRestart) {
      if (OnRestart) OnRestart(this);
      RestartWithHelper();
    } else {
      FPackages->Delimiter = ' ';
      RunHelper(FPackages->GetDelimitedText());
      // The helper has ended. A package still there was not unpacked; the next run fetches its
      // own under a new name, so this one would only pile up in the program folder.
      DeleteLeftPackages();
    }
  }
  SetCurrentDir(oldDir);
  return true;
}

bool TQuorvexWebUpdate::ProcessInfoFile(AnsiString baseUrl, TIniFile* ini) {
  AnsiString programDir = GetProgramDir();
  TStringList sections;
  ini->ReadSections(&sections);
  DWORD looked = 0;
  for (int i = 0; i < sections.Count(); ++i) {
    // A long list must not keep the window from its messages, and a close asked meanwhile ends
    // the walk: nothing more is fetched or changed.
    if (i == 0 || GetTickCount() - looked >= kLookInterval) {
      Application->ProcessMessages();
      looked = GetTickCount();
    }
    if (ProgramClosing()) return false;
    AnsiString section = sections[i];
    AnsiString type, name;
    if (!SplitAtFirst(section, "_", type, name)) continue;
    AnsiString cab = ini->ReadString(section, "CAB", "");
    AnsiString command = ini->ReadString(section, "COMMAND", "");
    bool fetch = false;
    bool programFile = false;

    if (type == "DIRECTORY") {
      fetch = !DirectoryExists(RemoveDoubleBackslash(programDir + "\\" + name));
    } else if (type == "FILE") {
      AnsiString target =
          RemoveDoubleBackslash(programDir + "\\" + ini->ReadString(section, "PATH", "") + "\\" + name);
      programFile = IsProgramFile(name);
      if (FileExists(target)) {
        if (ini->ReadInteger(section, "ONETIME", 0) != 0) {
          fetch = false;
        } else if (programFile) {
          unsigned installed = VersionToNumber(GetFileVersionString(target, "FileVersion"));
          unsigned required = VersionToNumber(ini->ReadString(section, "VERSION", ""));
          fetch = installed < required;
        } else {
          fetch = ini->ReadString(section, "CRC", "") != GetFileCheckValue(target);
        }
      } else {
        fetch = ini->ReadInteger(section, "ONLYEXISTS", 0) != 1;
      }
      if (command == "DELETE") {
        if (FileExists(target) && IsInside(target, programDir)) DeleteFile(target);
        fetch = false;
      }
    }

    if (!fetch || cab.IsEmpty()) continue;
    // The package never takes the name of a file already there: stored under the list's name it
    // would replace a file of the program's own (Sorvel.exe, ZBEngine.dll...), which the helper
    // deletes with the package once unpacked. A new file of its own in the current folder (the
    // program folder) is what the helper is handed and deletes.
    std::unique_ptr<TTransferFile> file;
    try {
      file = TTransferFile::NewIn(GetCurrentDir(), "qvu");
    } catch (const Exception&) {
      DoError(FormatStr("화일에 쓸수 없습니다.[%s]", cab.c_str()));
      continue;
    }
    AnsiString path = file->FileName();
    NotePackage(path, true);
    AnsiString error;
    try {
      if (GetStream(BackslashToSlash(baseUrl + "/" + cab), file->Stream(), false) < 1)
        error = FormatStr("화일에 받을 수 없습니다.[%s]", cab.c_str());
      else if (!file->Commit())
        error = FormatStr("화일에 쓸수 없습니다.[%s]", cab.c_str());
    } catch (const Exception&) {
      error = FormatStr("화일에 쓸수 없습니다.[%s]", cab.c_str());
    }
    file.reset();
    if (!error.IsEmpty()) {
      NotePackage(path, false);
      DoError(error);
      continue;
    }
    FPackages->Add(ExtractFileName(path));
    if (programFile) FIsRestart = true;
  }

  TStringList keys;
  ini->ReadSection("FORCE_DIRECTORY", &keys);
  for (int i = 0; i < keys.Count(); ++i) {
    AnsiString folder =
        RemoveDoubleBackslash(programDir + "\\" + ini->ReadString("FORCE_DIRECTORY", keys[i], ""));
    // Like DELETE, a folder of the list never lies outside the program folder.
    if (IsInside(folder, programDir)) ForceDirectories(folder);
  }
  return true;
}

AnsiString TQuorvexWebUpdate::GetFileCheckValue(AnsiString path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return "";
  FindClose(find);
  long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  // Seconds since 1970, as the runtime's stat reports the modification time.
  unsigned long long ticks =
      (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  long long mtime = static_cast<long long>(ticks / 10000000ULL) - 11644473600LL;
  AnsiString key = AnsiString(kCacheKey) + "\\" + ExtractFileDir(path) + "\\" + ExtractFileName(path);

  if (size > kCacheLimit) {
    TRegistry reg;
    reg.RootKey = HKEY_CURRENT_USER;
    if (reg.OpenKey(key, false)) {
      long long cachedSize = StrToInt64Def(reg.ReadString("SIZE"), 0);
      long long cachedTime = StrToInt64Def(reg.ReadString("MTIME"), 0);
      int cachedCrc = StrToIntDef(reg.ReadString("CRC"), 0);
      reg.CloseKey();
      if (cachedSize == size && cachedTime == mtime && cachedCrc != 0) return IntToStr(cachedCrc);
    }
  }

  unsigned int value = 0;
  if (!FileChecksum(path, value)) return "";
  int crc = static_cast<int>(value);
  if (size > kCacheLimit) {
    TRegistry reg;
    reg.RootKey = HKEY_CURRENT_USER;
    if (reg.OpenKey(key, true)) {
      reg.WriteString("SIZE", IntToStr(size));
      reg.WriteString("MTIME", IntToStr(mtime));
      reg.WriteString("CRC", IntToStr(crc));
      reg.CloseKey();
    }
  }
  return IntToStr(crc);
}

AnsiString TQuorvexWebUpdate::ExtractHelper() {
  std::vector<unsigned char> bytes;
  try {
    TResourceStream resource(HInstance, QUORVEX_HELPER_RESID, QUORVEX_HELPER_RESTYPE);
    bytes.resize(size_t(resource.Size()));
    if (!bytes.empty()) resource.ReadBuffer(bytes.data(), int(bytes.size()));
  } catch (const Exception&) {
    Application->MessageBox("WebUpdate Resource 가 없습니다.", "Resource Error !", MB_ICONERROR);
    return "";
  }
  UnscrambleHelper(bytes);

  AnsiString path = HelperPath();
  if (FileExists(path)) DeleteFile(path);
  try {
    TFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), int(bytes.size()));
  } catch (const Exception&) {
    // A full or read-only temporary folder: the command then fails with the system's message.
    DeleteFile(path);
    return "";
  }
  return path;
}

bool TQuorvexWebUpdate::RunProcess(AnsiString commandLine, bool wait) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, commandLine.c_str(), nullptr, nullptr, TRUE,
                      CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi)) {
    char message[1024] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, GetLastError(), 0, message, sizeof(message), nullptr);
    ShowMessage(message);
    return false;
  }
  CloseHandle(pi.hThread);
  if (wait) {
    DWORD code = 0;
    while (GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE) Application->ProcessMessages();
  }
  CloseHandle(pi.hProcess);
  return true;
}

void TQuorvexWebUpdate::RestartWithHelper() {
  AnsiString helper = ExtractHelper();
  AnsiString restart = AnsiString("\"") + ExtractFileName(Application->ExeName) + " -r" + "\"";
  FPackages->Delimiter = ' ';
  AnsiString list = FPackages->GetDelimitedText();
  // The helper's path is quoted: the temporary folder may hold a blank.
  AnsiString command =
      Format("\"%s\" %d %s %s", helper.c_str(), int(GetCurrentProcessId()), restart.c_str(), list.c_str());
  RunProcess(command, false);
  DeleteFile(helper);
  Application->Terminate();
}

void TQuorvexWebUpdate::RunHelper(AnsiString fileList) {
  AnsiString helper = ExtractHelper();
  if (OnUncompress) OnUncompress(this);
  AnsiString command = Format("\"%s\" 0 NULL_PROGRAM_ISNT %s", helper.c_str(), fileList.c_str());
  RunProcess(command, true);
  DeleteFile(helper);
}
