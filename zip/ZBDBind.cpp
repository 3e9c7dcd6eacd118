#include "ZBDBind.h"

#include <vector>

#include "ZBUtils.h"
#include "windows.h"

namespace {

constexpr int kResDllVersion = 11612;  // string: version of the carried library
constexpr int kResDll = 11613;         // RCDATA: the library, plain or packed

// Text of string resource id of the running module, or empty.
AnsiString ResourceString(int id) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id / 16 + 1), RT_STRING);
  if (!res) return AnsiString();
  const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(module, res)));
  const DWORD size = SizeofResource(module, res);
  if (!p) return AnsiString();
  DWORD at = 0;
  for (int slot = 0; slot <= id % 16; ++slot) {
    if (at + 2 > size) return AnsiString();
    const DWORD count = DWORD(p[at] | (p[at + 1] << 8));
    at += 2;
    if (slot == id % 16) {
      std::wstring wide;
      for (DWORD k = 0; k < count && at + 2 <= size; ++k, at += 2) wide.push_back(wchar_t(p[at] | (p[at + 1] << 8)));
      int len = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
      if (len <= 0) return AnsiString();
      AnsiString text;
      text.SetLength(len);
      WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.c_str(), len, nullptr, nullptr);
      return text;
    }
    at += 2 * count;
  }
  return AnsiString();
}

// An export of the library as the function type it has.
template <class F>
F Bind(HMODULE h, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(h, name)));
}

}  // namespace

TZBDynamicBind::TZBDynamicBind(TComponent* owner) : TZBCore(owner) {
  ClearBinding();
  Usage = 0;
  LibraryName = ZIP_ENGINE_NAME;
}

TZBDynamicBind::~TZBDynamicBind() {
  if (ModuleHandle) FreeLibrary(ModuleHandle);
  ModuleHandle = nullptr;
  DeleteExtractedDll();
}

void TZBDynamicBind::ClearBinding() {
  ZE_ZipExec = nullptr;
  ZE_UnzExec = nullptr;
  ZE_Abort = nullptr;
  ZE_PrivVersion = nullptr;
  ZE_Version = nullptr;
  ZE_Path = nullptr;
  ModuleHandle = nullptr;
  Version = 0;
  PrivVersion = 0;
}

int TZBDynamicBind::Load(uint8_t bit) {
  Usage = uint8_t((Usage | bit) & 7);
  if (IsLoaded()) return Version;
  StartWaitCursor();
  try {
    Version = 0;
    AnsiString path;
    if (!ExtractedPath.IsEmpty()) path = ExtractedPath;
    if (path.IsEmpty() && DLLDirectory == ZIP_ENGINE_FROM_RESOURCE) path = ExtractResourceDll();
    if (path.IsEmpty() && !DLLDirectory.IsEmpty()) {
      path = PathConcat(DLLDirectory, ZIP_ENGINE_NAME);
      if (DLLDirectory[1] == '.') {
        char self[MAX_PATH + 1] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        path = PathConcat(ExtractFilePath(self), path);
      }
      if (!FileExists(path)) path = AnsiString();
    }
    if (path.IsEmpty()) path = ZIP_ENGINE_NAME;
    LoadLib(path, true);
  } catch (...) {
    StopWaitCursor();
    throw;
  }
  StopWaitCursor();
  if (Verbose) Report(zrMessage, 0, 0, LoadZipStrFmt(10652, {LibraryName}));
  return Version;
}

int TZBDynamicBind::LoadLib(const AnsiString& path, bool raise) {
  if (ModuleHandle) FreeLibrary(ModuleHandle);
  ClearBinding();
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  HMODULE h = LoadLibraryA(path.c_str());
  bool bound = false;
  if (h) {
    ZE_UnzExec = Bind<ZE_UnzExecFunc>(h, "ZE_UnzExec");
    if (ZE_UnzExec) ZE_ZipExec = Bind<ZE_ZipExecFunc>(h, "ZE_ZipExec");
    if (ZE_ZipExec) ZE_Version = Bind<ZE_VersionFunc>(h, "ZE_Version");
    if (ZE_Version) ZE_PrivVersion = Bind<ZE_PrivVersionFunc>(h, "ZE_PrivVersion");
    if (ZE_PrivVersion) ZE_Abort = Bind<ZE_AbortFunc>(h, "ZE_Abort");
    if (ZE_Abort) ZE_Path = Bind<ZE_PathFunc>(h, "ZE_Path");
    bound = ZE_Path != nullptr;
  } else if (Trace || Verbose) {
    const DWORD err = GetLastError();
    Report(zrMessage, 0, 0,
           Format("Error [%d %s] loading %s ", int(err), SysErrorMessage(int(err)).c_str(), path.c_str()));
  }
  SetErrorMode(oldMode);

  if (h) {
    ModuleHandle = h;
    if (bound) {
      PrivVersion = ZE_PrivVersion();
      Version = ZE_Version();
      const char* p = ZE_Path();
      LibraryName = p ? p : "";
    }
    if (Version >= ZB_MIN_ENGINE_VERSION && Version <= ZB_MAX_ENGINE_VERSION) return PrivVersion;
    FreeLibrary(h);
    ClearBinding();
    Usage = 0;
    if (raise) throw EZipBuilder::CreateFromIdStr(10651, LibraryName);
    return 0;
  }
  ClearBinding();
  if (raise) {
    Usage = 0;
    throw EZipBuilder::CreateFromIdStr(10650, path);
  }
  return 0;
}

int TZBDynamicBind::Release(uint8_t bits) {
  Usage = uint8_t(Usage & ~bits & 7);
  if (Usage == 0) Unload();
  return Version;
}

void TZBDynamicBind::Unload() {
  if (ModuleHandle) {
    if (Verbose) Report(zrMessage, 0, 0, LoadZipStrFmt(10653, {LibraryName}));
    FreeLibrary(ModuleHandle);
    ModuleHandle = nullptr;
  }
  ClearBinding();
  Usage = 0;
  if (DeleteOnUnload) DeleteExtractedDll();
}

int TZBDynamicBind::CheckLoad() {
  Load(ubOperation);
  if (Version < ZB_MIN_ENGINE_VERSION) {
    Release(7);
    throw EZipBuilder::CreateFromIdStr(10651, LibraryName);
  }
  return IsLoaded() ? Version : 0;
}

void TZBDynamicBind::CheckRelease() { Release(ubOperation); }

int TZBDynamicBind::UnzExec(UnzipParams* block) {
  Load(ubEngineCall);
  int result;
  try {
    result = ZE_UnzExec(block);
  } catch (...) {
    result = -7;
  }
  CommandHandle = 0;
  Release(ubEngineCall);
  CheckExecResult(result);
  return result;
}

void TZBDynamicBind::CheckExecResult(int result) {
  if (result >= 0) return;
  switch (result) {
    case ZB_ERR_CANCELLED: throw EZipBuilder::CreateFromId(10120, true);
    case ZB_ERR_ABORTED: throw EZipBuilder::CreateFromId(10118, true);
    case ZB_ERR_HANDLER: throw EZipBuilder::CreateFromId(10123, true);
    case ZB_ERR_NO_MEMORY: throw EZipBuilder::CreateFromId(10121, true);
    case ZB_ERR_INVALID_BLOCK: throw EZipBuilder::CreateFromId(10122, true);
    default: throw EZipBuilder::CreateFromIdInt(10124, result);
  }
}

void TZBDynamicBind::Abort() {
  SetCancel(true);
  if (IsLoaded() && ZE_Abort) ZE_Abort(CommandHandle);
}

void TZBDynamicBind::SetDllLoad(bool value) {
  if (value == IsLoaded()) return;
  if (value)
    Load(ubDllLoad);
  else
    Release(ubDllLoad);
}

void TZBDynamicBind::SetDllDirectory(const AnsiString& text) {
  if (text == DLLDirectory) return;
  DLLDirectory = DelimitPath(text, false);
  if (IsLoaded() && !ExtractedPath.IsEmpty())
    DeleteOnUnload = 1;
  else
    DeleteExtractedDll();
}

void TZBDynamicBind::DeleteExtractedDll() {
  DeleteOnUnload = 0;
  if (!ExtractedPath.IsEmpty() && FileExists(ExtractedPath)) DeleteFile(ExtractedPath);
  ExtractedPath = AnsiString();
}

AnsiString TZBDynamicBind::ExtractResourceDll() {
  const int version = ResourceString(kResDllVersion).SubString(1, 7).ToIntDef(0);
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC res = version > 1790000 ? FindResourceA(module, MAKEINTRESOURCEA(kResDll), RT_RCDATA) : nullptr;
  const DWORD size = res ? SizeofResource(module, res) : 0;
  if (!res || size <= 50000) {
    if (Trace) Report(zrMessage, 0, 0, "No dll in resource");
    return AnsiString();
  }
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, res)));
  AnsiString path = MakeTempFileName("ZE_", ".dll");
  if (path.IsEmpty() || !data) return AnsiString();
  bool ok = false;
  try {
    TMemoryStream src;
    src.WriteBuffer(data, int(size));
    src.SetPosition(0);
    std::vector<uint8_t> image;
    const bool plain = (data[0] == 'M' && data[1] == 'Z') ||
                       (data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F');
    if (plain)
      image.assign(data, data + size);
    else if (LzssExpand(&src, image, int(size)) != 0)
      image.clear();
    if (!image.empty()) {
      TFileStream out(path, fmCreate);
      out.WriteBuffer(image.data(), int(image.size()));
      ok = true;
    }
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) {
    DeleteFile(path);
    return AnsiString();
  }
  ExtractedPath = path;
  if (Trace) Report(zrMessage, 0, 0, Format("extracted resource dll %s %d", path.c_str(), version));
  return path;
}
