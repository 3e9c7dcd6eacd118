// Binding of the zip engine library: finds and loads ZBEngine.dll, binds its six exports,
// checks its version, keeps it loaded while someone needs it, and turns the engine's negative
// results into exceptions.
#pragma once
#include <cstdint>

#include "ZBCore.h"
#include "ZBEngineIntf.h"

class TZBDynamicBind : public TZBCore {
 public:
  explicit TZBDynamicBind(TComponent* owner);
  ~TZBDynamicBind() override;

  // Usage bits: who needs the library.
  enum : uint8_t { ubEngineCall = 1, ubOperation = 2, ubDllLoad = 4 };

  int Load(uint8_t bit);
  int Release(uint8_t bits);
  int LoadLib(const AnsiString& path, bool raise);
  int CheckLoad();
  void CheckRelease();
  int UnzExec(UnzipParams* block);
  void CheckExecResult(int result);
  void Abort();
  void Unload();
  void ClearBinding();
  bool IsLoaded() const { return ModuleHandle != nullptr; }
  void SetDllLoad(bool value);
  void SetDllDirectory(const AnsiString& text);
  void DeleteExtractedDll();
  AnsiString ExtractResourceDll();

  // Fields, in order after those of the core.
  ZE_ZipExecFunc ZE_ZipExec = nullptr;
  ZE_UnzExecFunc ZE_UnzExec = nullptr;
  ZE_AbortFunc ZE_Abort = nullptr;
  ZE_PrivVersionFunc ZE_PrivVersion = nullptr;
  ZE_VersionFunc ZE_Version = nullptr;
  ZE_PathFunc ZE_Path = nullptr;
  AnsiString DLLDirectory;        // without a trailing delimiter
  uint8_t DeleteOnUnload = 0;     // delete the extracted library when it is next unloaded
  AnsiString LibraryName;         // the text of ZE_Path after every complete binding
  int Version = 0;
  HMODULE ModuleHandle = nullptr;
  uint8_t Usage = 0;
  int PrivVersion = 0;
  AnsiString ExtractedPath;       // library copied out of the program's resources
  uint32_t CommandHandle = 0;     // running command, for ZE_Abort
};

constexpr const char* ZIP_ENGINE_NAME = "ZBEngine.dll";
// DLLDirectory asking for a library carried by the program itself.
constexpr const char* ZIP_ENGINE_FROM_RESOURCE = "><";
