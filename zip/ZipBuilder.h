// The zip component: the non-visual component through which the program unpacks archives. It
// keeps its property values itself and copies them into its worker at the start of every
// operation; Extract is its one archive operation.
#pragma once
#include <memory>

#include "Graphics.h"
#include "Property.h"
#include "ZBWrkr.h"
#include "ZipIntSFX.h"

// Results of the component's operations besides 0 and message ids.
constexpr int ZB_DESIGNING = -256;  // designing or loading
constexpr int ZB_INACTIVE = -255;   // inactive or already running
constexpr int ZB_START_FAILED = -9; // unexpected failure while starting

// An event property: stored in and read from the worker's event table.
#define ZB_EVENT(Type, Name)                                             \
  Type Get##Name() const { return Worker->Events()->Name; }              \
  void Set##Name(const Type& handler) { Worker->Events()->Name = handler; } \
  VCL_PROPERTY(TCustomZipBuilder, Name)

class TCustomZipBuilder : public TComponent {
 public:
  explicit TCustomZipBuilder(TComponent* AOwner);
  ~TCustomZipBuilder() override;
  void Loaded() override;
  void BeforeDestruction() override;

  int Extract();
  void Clear();

  // Fields, in order.
  int ActiveState = 0;  // 0 off, 1 on, -1 off when the run ends, 2 on after loading, 3 designing
  int AddCompLevel = 9;
  AddOpts AddOptions;
  AddStoreExts AddStoreSuffixes;
  int BufferSize = 65536;
  bool Running = false;
  CPOpts CodePage = cpAuto;
  bool ConfirmErase = true;
  AnsiString DLLDirectory;
  bool DllLoadRequest = false;
  AnsiString ExtAddStoreSuffixes;
  AnsiString ExtrBaseDir;
  ExtrOpts ExtrOptions;
  uint32_t KeepFreeOnAllDisks = 0;
  uint32_t KeepFreeOnDisk1 = 0;
  TDateTime AddFrom = 0;

 private:
  std::unique_ptr<TStringList> FFSpecArgs;
  std::unique_ptr<TStringList> FFSpecArgsExcl;

 public:
  HWND OwnerWindow = nullptr;
  TDeleteOpts HowToDelete = htdAllowUndo;
  AnsiString LanguageRequest;
  int MaxVolumeSize = 0;
  int MinFreeVolumeSize = 65536;
  AnsiString Password;
  uint32_t PasswordReqCount = 1;
  AnsiString RootDir;
  AnsiString SFXCaption = "Self-extracting Archive";
  AnsiString SFXCommandLine;
  AnsiString SFXDefaultDir;
  AnsiString SFXMessage;

 private:
  std::unique_ptr<TIcon> FSFXIcon;

 public:
  SFXOpts SFXOptions;
  OvrOpts SFXOverWriteMode = OvrConfirm;
  TZipIntSFX* SFX = nullptr;  // owned as a component
  SpanOpts SpanOptions;
  AnsiString TempDir;
  bool Trace = false;
  bool Unattended = false;
  bool UseDirOnlyEntries = false;
  bool Verbose = false;
  std::unique_ptr<TZBWorker> Worker;

  // Property accessors.
  bool GetActive() const { return ActiveState != 0; }
  void SetActive(bool value);
  bool GetDll_Load() const;
  void SetDll_Load(bool value);
  AnsiString GetLanguage() const;
  void SetLanguage(const AnsiString& value);
  AnsiString GetZipFileName() const { return Worker->ZipFileName; }
  void SetZipFileName(const AnsiString& name);
  TStrings* GetFSpecArgs() const { return FFSpecArgs.get(); }
  void SetFSpecArgs(TStrings* list) { FFSpecArgs->Assign(list); }
  TStrings* GetFSpecArgsExcl() const { return FFSpecArgsExcl.get(); }
  void SetFSpecArgsExcl(TStrings* list) { FFSpecArgsExcl->Assign(list); }
  TIcon* GetSFXIcon() const { return FSFXIcon.get(); }
  void SetSFXIcon(TIcon* icon) { FSFXIcon->Assign(icon); }
  AnsiString GetSFXLanguage() const { return SFX->GetSFXLanguage(); }
  void SetSFXLanguage(const AnsiString& value) { SFX->SetSFXLanguage(value); }
  AnsiString GetSFXPath() const { return SFX->GetSFXPath(); }
  void SetSFXPath(const AnsiString& value) { SFX->SetSFXPath(value); }
  AnsiString GetVersion() const { return "1.79.05.01"; }
  void SetVersion(const AnsiString&) {}
  AnsiString GetVersionInfo() const { return GetVersion(); }
  void SetVersionInfo(const AnsiString&) {}
  // Write-only in effect: reads give the worker's flag.
  bool GetCancel() const { return Worker->Cancel; }
  void SetCancel(bool value) { Worker->SetCancel(value); }
  int GetErrCode() const { return Worker->ErrCode; }
  AnsiString GetErrText() const { return Worker->ErrText; }

  VCL_PROPERTY(TCustomZipBuilder, Active);
  VCL_PROPERTY(TCustomZipBuilder, Dll_Load);
  VCL_PROPERTY(TCustomZipBuilder, Language);
  VCL_PROPERTY(TCustomZipBuilder, ZipFileName);
  VCL_PROPERTY(TCustomZipBuilder, FSpecArgs);
  VCL_PROPERTY(TCustomZipBuilder, FSpecArgsExcl);
  VCL_PROPERTY(TCustomZipBuilder, SFXIcon);
  VCL_PROPERTY(TCustomZipBuilder, SFXLanguage);
  VCL_PROPERTY(TCustomZipBuilder, SFXPath);
  VCL_PROPERTY(TCustomZipBuilder, Version);
  VCL_PROPERTY(TCustomZipBuilder, VersionInfo);
  VCL_PROPERTY(TCustomZipBuilder, Cancel);
  VCL_READONLY(TCustomZipBuilder, ErrCode);
  VCL_READONLY(TCustomZipBuilder, ErrText);

  ZB_EVENT(TCheckTerminateEvent, OnCheckTerminate);
  ZB_EVENT(TCopyZipOverwriteEvent, OnCopyZipOverwrite);
  ZB_EVENT(TCRC32ErrorEvent, OnCRC32Error);
  ZB_EVENT(TNotifyEvent, OnDirUpdate);
  ZB_EVENT(TExtractOverwriteEvent, OnExtractOverwrite);
  ZB_EVENT(TExtractSkippedEvent, OnExtractSkipped);
  ZB_EVENT(TFileCommentEvent, OnFileComment);
  ZB_EVENT(TFileExtraEvent, OnFileExtra);
  ZB_EVENT(TGetNextDiskEvent, OnGetNextDisk);
  ZB_EVENT(TItemProgressEvent, OnItemProgress);
  ZB_EVENT(TZipMessageEvent, OnMessage);
  ZB_EVENT(TNewNameEvent, OnNewName);
  ZB_EVENT(TPasswordErrorEvent, OnPasswordError);
  ZB_EVENT(TProgressEvent, OnProgress);
  ZB_EVENT(TProgressDetailsEvent, OnProgressDetails);
  ZB_EVENT(TStatusDiskEvent, OnStatusDisk);
  ZB_EVENT(TSetAddNameEvent, OnSetAddName);
  ZB_EVENT(TSetExtNameEvent, OnSetExtName);
  ZB_EVENT(TSetNewNameEvent, OnSetNewName);
  ZB_EVENT(TNotifyEvent, OnTick);
  ZB_EVENT(TTotalProgressEvent, OnTotalProgress);
  ZB_EVENT(TZipDialogEvent, OnZipDialog);

 protected:
  int StartUp();
  void Done();
  bool IsBusy();
  void ReportError(const EZipBuilder& e);

 private:
  bool DesigningOrLoading() const { return (ComponentState & (csDesigning | csLoading)) != 0; }
};

#undef ZB_EVENT

class TZipBuilder : public TCustomZipBuilder {
 public:
  explicit TZipBuilder(TComponent* AOwner) : TCustomZipBuilder(AOwner) {}
};
