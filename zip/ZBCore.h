// The zip worker's base: the event table and report dispatcher, the result of the last
// operation and its boxes, the temporary folder, the wait cursor and the progress snapshot.
#pragma once
#include <cstdint>
#include <memory>

#include "EZipBuilder.h"
#include "ZipStructs.h"

// The progress snapshot that OnProgressDetails hands out.
class TProgressDetails : public TObject {
 public:
  int TotalCount = 0;
  AnsiString ItemName;
  int ItemNumber = 0;
  uint32_t ItemPosition = 0;
  uint32_t ItemSize = 0;
  long long TotalPosition = 0;
  long long TotalSize = 0;
  long long ItemProgress = 0;
  ProgressType Action = ptNewItem;

  int ItemPerCent() const;
  int TotalPerCent() const;
};

// The core's own snapshot, with the setters the dispatcher and the engine callback use.
class TProgDetails : public TProgressDetails {
 public:
  virtual void Clear();
  void SetCount(int n);
  void SetTotalSize(long long size);
  void NewItem(const AnsiString& name, uint32_t size);
  void NewExtraItem(const AnsiString& name, uint32_t size);
  void Advance(uint32_t n);
  void AdvanceExtra(uint32_t n);
  void EndBatch();
  void SetItemProgress(long long value) { ItemProgress = value; }
};

// The 22 published events, in the order of the component's accessors.
struct TZBEvents {
  TCheckTerminateEvent OnCheckTerminate;
  TCopyZipOverwriteEvent OnCopyZipOverwrite;
  TCRC32ErrorEvent OnCRC32Error;
  TNotifyEvent OnDirUpdate;
  TExtractOverwriteEvent OnExtractOverwrite;
  TExtractSkippedEvent OnExtractSkipped;
  TFileCommentEvent OnFileComment;
  TFileExtraEvent OnFileExtra;
  TGetNextDiskEvent OnGetNextDisk;
  TItemProgressEvent OnItemProgress;
  TZipMessageEvent OnMessage;
  TNewNameEvent OnNewName;
  TPasswordErrorEvent OnPasswordError;
  TProgressEvent OnProgress;
  TProgressDetailsEvent OnProgressDetails;
  TStatusDiskEvent OnStatusDisk;
  TSetAddNameEvent OnSetAddName;
  TSetExtNameEvent OnSetExtName;
  TSetNewNameEvent OnSetNewName;
  TNotifyEvent OnTick;
  TTotalProgressEvent OnTotalProgress;
  TZipDialogEvent OnZipDialog;
};

// Dialog contexts: type * 65536 + number.
constexpr int ZIP_DLG_WARNING = 0x10;
constexpr int ZIP_DLG_ERROR = 0x11;
constexpr int ZIP_DLG_INFORMATION = 0x12;
constexpr int ZIP_DLG_CONFIRM = 0x13;
constexpr int ZIP_DLG_PASSWORD = 0x14;
constexpr int ZipDlgContext(int type, int number) { return type * 65536 + number; }

class TZBCore : public TObject {
 public:
  // owner: the component (a TCustomZipBuilder) that passes itself as Sender of every event.
  explicit TZBCore(TComponent* owner);
  ~TZBCore() override;

  // Report codes (TZBCore::Report).
  enum : int8_t {
    zrTick = 0, zrNewItem = 1, zrProgress = 2, zrEndOfBatch = 3, zrMessage = 4, zrCount = 5, zrSize = 6,
    zrNewExtraItem = 15, zrExtraProgress = 16, zrPoll = 19
  };

  virtual int ReportOther(int8_t code, int errcode, uint32_t n, const AnsiString& text);
  virtual void SetCancel(bool flag);
  virtual void Done();
  virtual void Start();

  void Report(int8_t code, int errcode, long long n, const AnsiString& text);
  void ReportReentry(TComponent* component);
  void Reset();
  TZBEvents* Events() { return &FEvents; }
  void ReportError(const EZipBuilder& e);
  void ShowZipMessage(int id, const AnsiString& extra);
  AnsiString MakeTempFileName(AnsiString prefix, AnsiString extension);
  void SetTempDir(const AnsiString& folder);
  void StartWaitCursor();
  void StopWaitCursor();

  int ZipDialog(const AnsiString& title, AnsiString& message, int context, TMsgDlgButtons buttons);
  int ZipMessageDialog(const AnsiString& title, AnsiString message, int context, TMsgDlgButtons buttons);
  void ShowZipMessageBox(const AnsiString& message, int context);

  // Fields, in order.
  int CursorDepth = 0;
  TCursor SavedCursor = 0;
  bool Active = false;
  TComponent* Builder = nullptr;
  bool Busy = false;
  bool Cancel = false;
  int ErrCode = -1;
  AnsiString FailedEventName;

 protected:
  TZBEvents FEvents;

 public:
  int LastMessageCode = 0;
  bool Closing = false;
  AnsiString ErrText;
  bool OffMainThread = false;
  std::unique_ptr<TProgDetails> Details;
  bool Reentered = false;
  AnsiString TempDir;
  bool Trace = false;
  bool Unattended = true;
  bool Verbose = false;

 protected:
  // Sender of every event.
  TObject* Sender() const { return Builder; }
};
