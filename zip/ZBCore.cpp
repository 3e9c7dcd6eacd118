#include "ZBCore.h"

#include <cstring>

#include "Controls.h"
#include "Forms.h"
#include "ZBUtils.h"
#include "ZipDialogBox.h"
#include "windows.h"

namespace {
// Static initialisation runs on the thread that starts the program.
const DWORD MainThreadID = GetCurrentThreadId();
}  // namespace

// ---------------------------------------------------------------- progress snapshot

int TProgressDetails::ItemPerCent() const {
  if (ItemSize == 0 || ItemPosition == 0) return 0;
  // Below the threshold the product cannot overflow for positions within the item; above it
  // the size is divided first.
  if (ItemSize < 214748) return int(uint32_t(ItemPosition * 100u) / ItemSize);
  return int(ItemPosition / (ItemSize / 100u));
}

int TProgressDetails::TotalPerCent() const {
  if (TotalSize <= 0 || TotalPosition <= 0) return 0;
  return int(TotalPosition * 100 / TotalSize);
}

void TProgDetails::Clear() {
  TotalCount = 0;
  ItemNumber = 0;
  ItemPosition = 0;
  ItemSize = 0;
  ItemName = AnsiString();
  TotalPosition = 0;
  TotalSize = 0;
  ItemProgress = 0;
  Action = ptEndOfBatch;
}

void TProgDetails::SetCount(int n) {
  Clear();
  TotalCount = n;
  ItemNumber = 0;
  Action = ptFileCount;
}

void TProgDetails::SetTotalSize(long long size) {
  TotalSize = size;
  TotalPosition = 0;
  ItemName = AnsiString();
  ItemSize = 0;
  ItemPosition = 0;
  ItemProgress = 0;
  Action = ptTotalSize;
}

void TProgDetails::NewItem(const AnsiString& name, uint32_t size) {
  ++ItemNumber;
  ItemName = name;
  ItemSize = size;
  ItemPosition = 0;
  Action = ptNewItem;
}

void TProgDetails::NewExtraItem(const AnsiString& name, uint32_t size) {
  ItemName = name;
  ItemSize = size;
  ItemPosition = 0;
  Action = ptNewExtraItem;
}

void TProgDetails::Advance(uint32_t n) {
  TotalPosition += n;
  ItemPosition += n;
  Action = ptItemProgress;
}

void TProgDetails::AdvanceExtra(uint32_t n) {
  ItemPosition += n;
  Action = ptExtraProgress;
}

void TProgDetails::EndBatch() {
  ItemName = AnsiString();
  ItemSize = 0;
  Action = ptEndOfBatch;
}

// ---------------------------------------------------------------- core

TZBCore::TZBCore(TComponent* owner) : Builder(owner), Details(std::make_unique<TProgDetails>()) {
  Details->Clear();
  Details->Action = ptNewItem;
}

TZBCore::~TZBCore() = default;

int TZBCore::ReportOther(int8_t, int, uint32_t, const AnsiString&) { return 0; }

void TZBCore::SetCancel(bool flag) { Cancel = flag; }

void TZBCore::Start() {
  Reentered = false;
  Busy = true;
  if (GetCurrentThreadId() != MainThreadID) OffMainThread = true;
}

void TZBCore::Done() {
  Busy = false;
  if (!OffMainThread && CursorDepth > 0) {
    CursorDepth = 0;
    Screen->Cursor = SavedCursor;
  }
}

void TZBCore::Report(int8_t code, int errcode, long long n, const AnsiString& text) {
  if (Closing) return;
  TZBEvents& ev = FEvents;
  TObject* sender = Sender();
  const uint32_t low = uint32_t(n);
  switch (code) {
    case zrTick:
      if (ev.OnTick) ev.OnTick(sender);
      break;
    case zrNewItem:
      if (ev.OnProgress) ev.OnProgress(sender, ptNewItem, text, n);
      Details->NewItem(text, low);
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnItemProgress) ev.OnItemProgress(sender, Details->ItemName, low, 0);
      break;
    case zrProgress:
      if (ev.OnProgress) ev.OnProgress(sender, ptItemProgress, AnsiString(), n);
      Details->Advance(low);
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnItemProgress) ev.OnItemProgress(sender, Details->ItemName, Details->ItemPosition, Details->ItemPerCent());
      if (ev.OnTotalProgress) ev.OnTotalProgress(sender, Details->TotalSize, Details->TotalPerCent());
      break;
    case zrEndOfBatch:
      if (ev.OnProgress) ev.OnProgress(sender, ptEndOfBatch, AnsiString(), 0);
      Details->EndBatch();
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnItemProgress) ev.OnItemProgress(sender, Details->ItemName, 0, 101);
      if (ev.OnTotalProgress) ev.OnTotalProgress(sender, 0, 101);
      break;
    case zrMessage: {
      if (errcode != 0) {
        AnsiString m = text;
        ErrText = text;
        ErrCode = int8_t(errcode & 0xFF);
        if (ErrCode == 9 && !FailedEventName.IsEmpty()) {
          ErrText = LoadZipStr(10113) + FailedEventName;
          m = ErrText;
        }
        LastMessageCode = errcode;
        if (ev.OnMessage) ev.OnMessage(sender, errcode, m);
      } else if (ev.OnMessage) {
        ev.OnMessage(sender, 0, text);
      }
      break;
    }
    case zrCount:
      Details->SetCount(int(low));
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnProgress) ev.OnProgress(sender, ptFileCount, AnsiString(), n);
      break;
    case zrSize:
      Details->SetTotalSize(n);
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnProgress) ev.OnProgress(sender, ptTotalSize, AnsiString(), n);
      break;
    case zrNewExtraItem: {
      if (ev.OnProgress) ev.OnProgress(sender, ptNewExtraItem, text, n);
      AnsiString name = LoadZipStr(11400 + errcode);
      Details->NewExtraItem(name, low);
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnItemProgress) ev.OnItemProgress(sender, Details->ItemName, low, 0);
      break;
    }
    case zrExtraProgress:
      if (ev.OnProgress) ev.OnProgress(sender, ptExtraProgress, Details->ItemName, n);
      Details->AdvanceExtra(low);
      if (ev.OnProgressDetails) ev.OnProgressDetails(sender, Details.get());
      if (ev.OnItemProgress) ev.OnItemProgress(sender, Details->ItemName, Details->ItemSize, Details->ItemPerCent());
      break;
    case zrPoll:
      break;
    default:
      ReportOther(code, errcode, low, text);
      break;
  }

  // Give the user a chance to stop, or keep the window alive.
  if (ev.OnCheckTerminate) {
    bool abort = Cancel;
    ev.OnCheckTerminate(sender, abort);
    if (abort) SetCancel(true);
  } else if (!OffMainThread) {
    Application->ProcessMessages();
  }
}

void TZBCore::ReportReentry(TComponent*) {
  Reentered = true;
  if (Verbose) Report(zrMessage, 0, 0, "Re-entry");
}

void TZBCore::Reset() {
  SetZipMsgLanguage(AnsiString());
  Reentered = false;
  ErrText = AnsiString();
  Cancel = false;
  ErrCode = 0;
  LastMessageCode = 0;
  Unattended = false;
  Verbose = false;
  Trace = false;
  Details->Clear();
  FailedEventName = AnsiString();
  Closing = false;
}

void TZBCore::ReportError(const EZipBuilder& e) {
  ErrCode = e.MessageId;
  ErrText = e.Message;
  if (e.ShowBox && !Unattended) ShowZipMessageBox(ErrText, ZipDlgContext(ZIP_DLG_ERROR, 10001));
  if (FEvents.OnMessage) FEvents.OnMessage(Sender(), ErrCode, ErrText);
}

void TZBCore::ShowZipMessage(int id, const AnsiString& extra) {
  if (Unattended && !FEvents.OnMessage) return;
  AnsiString text = LoadZipStr(id) + extra;
  ErrText = text;
  ErrCode = id;
  if (!Unattended) ShowZipMessageBox(text, ZipDlgContext(ZIP_DLG_INFORMATION, 10000));
  if (FEvents.OnMessage) FEvents.OnMessage(Sender(), id, text);
}

AnsiString TZBCore::MakeTempFileName(AnsiString prefix, AnsiString extension) {
  if (prefix.IsEmpty()) prefix = "zip";
  if (extension.IsEmpty()) extension = ".zip";
  std::string folder;
  if (TempDir.IsEmpty()) {
    DWORD need = GetTempPathA(0, nullptr);
    folder.assign(need > MAX_PATH ? need : MAX_PATH, '\0');
    DWORD len = GetTempPathA(DWORD(folder.size()), folder.data());
    if (len == 0 || len >= folder.size()) return AnsiString();
    folder.resize(len);
  } else {
    TempDir = DelimitPath(TempDir, true);
    folder = TempDir.str();
  }
  // GetTempFileNameA writes up to MAX_PATH characters.
  std::string name(folder.size() + 13 > MAX_PATH ? folder.size() + 13 : MAX_PATH, '\0');
  if (GetTempFileNameA(folder.c_str(), prefix.c_str(), 0, name.data()) == 0) return AnsiString();
  name.resize(std::strlen(name.c_str()));
  DeleteFileA(name.c_str());
  return ChangeFileExt(AnsiString(name), extension);
}

void TZBCore::SetTempDir(const AnsiString& folder) {
  if (folder == TempDir) return;
  if (!folder.IsEmpty()) {
    AnsiString root = ExtractFileDrive(folder) + "\\";
    UINT type = GetDriveTypeA(root.c_str());
    if (type != DRIVE_FIXED && type != DRIVE_RAMDISK) throw EZipBuilder::CreateFromIdStr(11051, root);
  }
  TempDir = folder;
}

void TZBCore::StartWaitCursor() {
  if (OffMainThread) return;
  if (CursorDepth == 0) {
    SavedCursor = Screen->Cursor;
    Screen->Cursor = crHourGlass;
  }
  ++CursorDepth;
}

void TZBCore::StopWaitCursor() {
  if (OffMainThread || CursorDepth == 0) return;
  if (--CursorDepth == 0) Screen->Cursor = SavedCursor;
}

// ---------------------------------------------------------------- dialogs

int TZBCore::ZipDialog(const AnsiString& title, AnsiString& message, int context, TMsgDlgButtons buttons) {
  AnsiString t = title.IsEmpty() ? AnsiString(Application->Title) : title;
  if (Verbose) {
    t = Format("%s   (%d)", t.c_str(), context & 0xFFFF);
    Report(zrMessage, 0, 0, t);
  }
  if (FEvents.OnZipDialog) {
    AnsiString msg = message;
    int ctx = context;
    FEvents.OnZipDialog(Sender(), t, msg, ctx, buttons);
    if (ctx >= 1 && ctx <= 10) {
      message = msg;
      return ctx;
    }
  }
  std::unique_ptr<TZipDialogBox> box(TZipDialogBox::CreateNew(Application, context));
  box->Build(t, message, buttons);
  int result = box->ShowModal();
  if (box->DialogType() == ZIP_DLG_PASSWORD * 65536) message = result == mrOk ? box->EditText() : AnsiString();
  return result;
}

int TZBCore::ZipMessageDialog(const AnsiString& title, AnsiString message, int context, TMsgDlgButtons buttons) {
  return ZipDialog(title, message, context, buttons);
}

void TZBCore::ShowZipMessageBox(const AnsiString& message, int context) {
  ZipMessageDialog(AnsiString(), message, context, TMsgDlgButtons() << mbOK);
}
