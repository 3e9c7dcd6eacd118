#include "Bffolder.h"

#include "Forms.h"
#include "windows.h"
#include "winplat.h"

namespace {

struct OptionFlag {
  UINT flag;
  DWORD fromVersion;
};
// In the order of BffolderOption.
const OptionFlag kOptionFlags[] = {
    {BIF_BROWSEFORCOMPUTER, 0},        {BIF_BROWSEFORPRINTER, 0},         {BIF_DONTGOBELOWDOMAIN, 0},
    {BIF_RETURNFSANCESTORS, 0},        {BIF_RETURNONLYFSDIRS, 0},         {BIF_STATUSTEXT, 0},
    {BIF_VALIDATE, 0x00040047},        {BIF_EDITBOX, 0x00040047},         {BIF_BROWSEINCLUDEFILES, 0x00040047},
    {BIF_BROWSEINCLUDEURLS, 0x00050000}, {BIF_NEWDIALOGSTYLE, 0x00050000}, {BIF_SHAREABLE, 0x00050000},
    {BIF_USENEWUI, 0x00050000},        {BIF_NONEWFOLDERBUTTON, 0x00060000}, {BIF_NOTRANSLATETARGETS, 0x00060000},
    {BIF_UAHINT, 0x00060000},
};

// In the order of TBffRootDir (rdUseSelectedDir has none).
const int kRootFolders[] = {
    CSIDL_DESKTOP, CSIDL_INTERNET, CSIDL_PROGRAMS, CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_PERSONAL,
    CSIDL_FAVORITES, CSIDL_STARTUP, CSIDL_RECENT, CSIDL_SENDTO, CSIDL_BITBUCKET, CSIDL_STARTMENU,
    CSIDL_MYDOCUMENTS, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_DESKTOPDIRECTORY, CSIDL_DRIVES, CSIDL_NETWORK,
    CSIDL_NETHOOD, CSIDL_FONTS, CSIDL_TEMPLATES, CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_STARTUP, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_APPDATA, CSIDL_PRINTHOOD, CSIDL_LOCAL_APPDATA,
    CSIDL_ALTSTARTUP, CSIDL_COMMON_ALTSTARTUP, CSIDL_COMMON_FAVORITES, CSIDL_INTERNET_CACHE, CSIDL_COOKIES,
    CSIDL_HISTORY, CSIDL_COMMON_APPDATA, CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_MYPICTURES,
    CSIDL_PROFILE, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_TEMPLATES, CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_ADMINTOOLS,
    CSIDL_ADMINTOOLS, CSIDL_CONNECTIONS, CSIDL_COMMON_MUSIC, CSIDL_COMMON_PICTURES, CSIDL_COMMON_VIDEO,
    CSIDL_RESOURCES, CSIDL_RESOURCES_LOCALIZED, CSIDL_COMMON_OEM_LINKS, CSIDL_CDBURN_AREA, CSIDL_COMPUTERSNEARME,
};

}  // namespace

TBffolder::TBffolder(TComponent* AOwner) : TCommonDialog(AOwner) {
  ProbeShellVersion();
  FRootDir = rdDesktop;
  FEnableOK = true;
  FOptions = TBffolderOptions() << bffStatusText;
}

TBffolder::~TBffolder() = default;

void TBffolder::ProbeShellVersion() {
  FShellVersion = 0;
  HMODULE lib = LoadLibraryA("Shell32.dll");
  if (!lib) return;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(lib, "DllGetVersion")));
  if (getVersion) {
    DLLVERSIONINFO info = {};
    info.cbSize = 20;
    if (SUCCEEDED(getVersion(&info))) FShellVersion = info.dwMajorVersion << 16 | (info.dwMinorVersion & 0xFFFF);
  }
  FreeLibrary(lib);
}

void TBffolder::SetSelectedDir(const AnsiString& Value) {
  AnsiString v = Value;
  if (v.Length() > 3 && v[2] == ':' && v[v.Length()] == '\\') v.SetLength(v.Length() - 1);
  FSelectedDir = v;
  if (FDialogHandle) SendMessageA(FDialogHandle, BFFM_SETSELECTIONA, TRUE, LPARAM(FSelectedDir.c_str()));
}

AnsiString TBffolder::GetCaption() {
  if (FDialogHandle && FCaption.IsEmpty()) {
    char text[261] = {0};
    GetWindowTextA(FDialogHandle, text, 260);
    FCaption = text;
  }
  return FCaption;
}

void TBffolder::SetCaption(const AnsiString& Value) {
  if (Value.IsEmpty()) return;
  FCaption = Value;
  if (FDialogHandle) SetWindowTextA(FDialogHandle, FCaption.c_str());
}

void TBffolder::SetStatusText(const AnsiString& Value) {
  FStatusText = Value;
  if (FDialogHandle) SendMessageA(FDialogHandle, BFFM_SETSTATUSTEXTA, 0, LPARAM(FStatusText.c_str()));
}

void TBffolder::SetEnableOK(bool Value) {
  FEnableOK = Value;
  if (FDialogHandle) SendMessageA(FDialogHandle, BFFM_ENABLEOK, 0, LPARAM(FEnableOK));
}

bool TBffolder::Execute() {
  if (FAILED(SHGetMalloc(&FMalloc))) return false;
  if (FAILED(SHGetDesktopFolder(&FDesktopFolder))) {
    FMalloc->Release();
    FMalloc = nullptr;
    return false;
  }
  BROWSEINFOA info = {};
  for (int o = bffBrowseForComputer; o <= bffUsageHint; ++o)
    if (FOptions.Contains(BffolderOption(o)) && FShellVersion >= kOptionFlags[o].fromVersion)
      info.ulFlags |= kOptionFlags[o].flag;

  LPITEMIDLIST root = nullptr;
  if (FRootDir == rdUseSelectedDir) {
    if (!FSelectedDir.IsEmpty()) {
      std::wstring wide = winplat::Cp949ToWide(FSelectedDir.str());
      if (wide.size() > MAX_PATH) wide.resize(MAX_PATH);
      ULONG eaten = 0;
      if (FAILED(FDesktopFolder->ParseDisplayName(Application->Handle, nullptr, wide.data(), &eaten, &root, nullptr)))
        root = nullptr;
    }
  } else if (FRootDir != rdDesktop) {
    if (FAILED(SHGetSpecialFolderLocation(Application->Handle, kRootFolders[FRootDir], &root))) root = nullptr;
  }

  char displayName[MAX_PATH] = {0};
  info.hwndOwner = Application->Handle;
  info.pidlRoot = root;
  info.pszDisplayName = displayName;
  info.lpszTitle = FTitle.c_str();
  info.lpfn = BrowseCallback;
  info.lParam = LPARAM(this);

  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  FDialogHandle = nullptr;
  if (root) FMalloc->Free(root);

  FDesktopFolder->Release();
  FDesktopFolder = nullptr;
  if (!chosen) {
    FMalloc->Release();
    FMalloc = nullptr;
    return false;
  }
  FDisplayName = displayName;
  char path[MAX_PATH] = {0};
  // An item without a file-system path leaves SelectedDir empty rather than holding its
  // display name.
  if (!SHGetPathFromIDListA(chosen, path)) path[0] = 0;
  FSelectedDir = path;
  FMalloc->Free(chosen);
  FMalloc->Release();
  FMalloc = nullptr;
  return true;
}

int CALLBACK TBffolder::BrowseCallback(HWND Wnd, UINT uMsg, LPARAM lParam, LPARAM lpData) {
  if (uMsg != BFFM_INITIALIZED && uMsg != BFFM_SELCHANGED && uMsg != BFFM_VALIDATEFAILEDA) return 0;
  auto* self = reinterpret_cast<TBffolder*>(lpData);
  self->FDialogHandle = Wnd;
  switch (uMsg) {
    case BFFM_INITIALIZED: {
      AnsiString caption = self->GetCaption();
      if (!caption.IsEmpty()) SetWindowTextA(Wnd, caption.c_str());
      SendMessageA(Wnd, BFFM_SETSTATUSTEXTA, 0, LPARAM(self->FStatusText.c_str()));
      if (!self->FSelectedDir.IsEmpty()) SendMessageA(Wnd, BFFM_SETSELECTIONA, TRUE, LPARAM(self->FSelectedDir.c_str()));
      SendMessageA(Wnd, BFFM_ENABLEOK, 0, LPARAM(self->FEnableOK));
      if (self->OnInitialized) self->OnInitialized(self);
      return 0;
    }
    case BFFM_SELCHANGED: {
      if (!self->OnSelectionChanged) return 0;
      auto pidl = reinterpret_cast<LPCITEMIDLIST>(lParam);
      STRRET name = {};
      char text[MAX_PATH] = {0};
      if (self->FDesktopFolder && SUCCEEDED(self->FDesktopFolder->GetDisplayNameOf(pidl, SHGDN_NORMAL, &name)))
        StrRetToBufA(&name, pidl, text, MAX_PATH);
      self->FDisplayName = text;
      char path[MAX_PATH] = {0};
      if (!SHGetPathFromIDListA(pidl, path)) path[0] = 0;
      self->OnSelectionChanged(self, AnsiString(path));
      return 0;
    }
    default: {
      bool keepOpen = false;
      if (self->FShellVersion >= 0x00040047 && self->OnValidateFailed)
        self->OnValidateFailed(self, AnsiString(reinterpret_cast<const char*>(lParam)), keepOpen);
      return keepOpen ? 1 : 0;
    }
  }
}
