#include "ZipBuilder.h"

#include "Forms.h"

namespace {

// Runs Done at the end of a bracketed call, whatever leaves it.
struct DoneGuard {
  std::function<void()> done;
  ~DoneGuard() { done(); }
};

}  // namespace

TCustomZipBuilder::TCustomZipBuilder(TComponent* AOwner)
    : TComponent(AOwner),
      FFSpecArgs(std::make_unique<TStringList>()),
      FFSpecArgsExcl(std::make_unique<TStringList>()),
      FSFXIcon(std::make_unique<TIcon>()),
      Worker(std::make_unique<TZBWorker>(this)) {
  AddStoreSuffixes = DefaultStoreSuffixes();
  SFXOptions << SFXCheckSize;
  OwnerWindow = Application->Handle;
  SFX = new TZipIntSFX(this);  // owned by this component
  Worker->SFX = SFX;
  SFX->ZipBuilder = this;
  SFX->SetSFXPath(AnsiString());
  SFX->SetSFXLanguage("US");
  if (ComponentState & csDesigning) {
    ActiveState = 3;
  } else if (ComponentState & csLoading) {
    ActiveState = 2;
  } else {
    ActiveState = 1;
    Worker->SetActive(true);
  }
}

TCustomZipBuilder::~TCustomZipBuilder() {
  FFSpecArgsExcl.reset();
  FFSpecArgs.reset();
  Worker.reset();
  FSFXIcon.reset();
  // The component list frees the TZipIntSFX.
  SFX = nullptr;
}

void TCustomZipBuilder::BeforeDestruction() {
  if (Worker) Worker->SetActive(false);
  TComponent::BeforeDestruction();
}

void TCustomZipBuilder::Loaded() {
  TComponent::Loaded();
  if (ComponentState & csDesigning) return;
  SetZipMsgLanguage(LanguageRequest);
  if (ActiveState == 2 && StartUp() == 0) {
    DoneGuard guard{[this] { Done(); }};
    Worker->SetActive(true);
  } else {
    Worker->SetActive(false);
  }
}

bool TCustomZipBuilder::IsBusy() {
  if (!Running) return false;
  Worker->ReportReentry(this);
  return true;
}

void TCustomZipBuilder::ReportError(const EZipBuilder& e) { Worker->ReportError(e); }

int TCustomZipBuilder::StartUp() {
  if (DesigningOrLoading()) return ZB_DESIGNING;
  if (!GetActive() || IsBusy()) return ZB_INACTIVE;
  try {
    TZBWorker& w = *Worker;
    w.Builder = this;
    w.ErrCode = 0;
    // A cancel stops the operation it was given for, not the next one.
    w.Cancel = false;
    w.AddCompLevel = AddCompLevel;
    w.AddFrom = AddFrom;
    w.AddOptions = AddOptions;
    w.AddStoreSuffixes = AddStoreSuffixes;
    w.BufferSize = BufferSize;
    w.SetExtAddStoreSuffixes(ExtAddStoreSuffixes);
    w.CodePage = CodePage;
    w.ExtrBaseDir = ExtrBaseDir;
    w.ExtrOptions = ExtrOptions;
    w.Unattended = Unattended;
    w.Verbose = Verbose;
    w.Trace = Trace;
    w.SetDllDirectory(DLLDirectory);
    w.OffMainThread = false;
    w.ConfirmErase = ConfirmErase;
    w.KeepFreeOnAllDisks = KeepFreeOnAllDisks;
    w.KeepFreeOnDisk1 = KeepFreeOnDisk1;
    w.MaxVolumeSize = MaxVolumeSize;
    w.MinFreeVolumeSize = MinFreeVolumeSize;
    w.SpanOptions = SpanOptions;
    w.FSpecArgs->Assign(FFSpecArgs.get());
    w.FSpecArgsExcl->Assign(FFSpecArgsExcl.get());
    w.OwnerWindow = OwnerWindow;
    w.HowToDelete = HowToDelete;
    w.Password = Password;
    w.SetPasswordReqCount(PasswordReqCount);
    w.RootDir = RootDir;
    w.SetTempDir(TempDir);
    w.Unattended = Unattended;
    w.UseDirOnlyEntries = UseDirOnlyEntries;
    w.SetActive(true);
    w.Start();
    Running = true;
    w.SetDllLoad(DllLoadRequest);
  } catch (const EZipBuilder& e) {
    ReportError(e);
    Running = false;
    return e.MessageId;
  } catch (...) {
    Running = false;
    return ZB_START_FAILED;
  }
  return 0;
}

void TCustomZipBuilder::Done() {
  Worker->Done();
  Running = false;
  FFSpecArgs->Assign(Worker->FSpecArgs.get());
  FFSpecArgsExcl->Assign(Worker->FSpecArgsExcl.get());
  if (ActiveState < 0) {
    ActiveState = 0;
    Worker->SetActive(false);
  }
}

int TCustomZipBuilder::Extract() {
  int r = StartUp();
  if (r != 0) return r;
  DoneGuard guard{[this] { Done(); }};
  return Worker->Extract();
}

void TCustomZipBuilder::Clear() {
  if (DesigningOrLoading() || !GetActive() || IsBusy()) return;
  Worker->Clear();
  Done();
}

void TCustomZipBuilder::SetActive(bool value) {
  const int old = ActiveState;
  ActiveState = 0;
  if (ComponentState & csDesigning) {
    if (value) ActiveState = 3;
    return;
  }
  if (ComponentState & csLoading) {
    if (value) ActiveState = 2;
    return;
  }
  if (Running) {
    ActiveState = value ? 1 : -1;
    return;
  }
  if (value) {
    ActiveState = 1;
    if (old == 0 && StartUp() == 0) {
      DoneGuard guard{[this] { Done(); }};
      Worker->SetActive(true);
    } else {
      Worker->SetActive(false);
    }
    return;
  }
  Worker->SetActive(false);
}

bool TCustomZipBuilder::GetDll_Load() const {
  if (DesigningOrLoading()) return DllLoadRequest;
  return Worker->IsLoaded();
}

void TCustomZipBuilder::SetDll_Load(bool value) {
  if (value == GetDll_Load()) return;
  DllLoadRequest = value;
  if (GetActive() && Running) {
    Worker->SetDllLoad(value);
    DllLoadRequest = Worker->IsLoaded();
    return;
  }
  DoneGuard guard{[this] { Done(); }};
  if (StartUp() == 0) DllLoadRequest = Worker->IsLoaded();
}

AnsiString TCustomZipBuilder::GetLanguage() const {
  if (DesigningOrLoading()) return LanguageRequest;
  return ZipMsgLanguageInfo(0);
}

void TCustomZipBuilder::SetLanguage(const AnsiString& value) {
  if (DesigningOrLoading())
    LanguageRequest = value;
  else
    SetZipMsgLanguage(value);
}

void TCustomZipBuilder::SetZipFileName(const AnsiString& name) {
  if (DesigningOrLoading()) Worker->SetActive(false);
  if (!GetActive()) {
    Worker->SetZipFileName(name);
    return;
  }
  if (StartUp() == 0) {
    DoneGuard guard{[this] { Done(); }};
    Worker->SetZipFileName(name);
  }
}
