// TfrmProgramUpdate: the download form inside the main window. Lists the user's device models,
// shows what choosing one means (pages, sizes, files and their installed state) and runs the
// download-and-install run: fetch every outdated file's archive (one file or numbered parts)
// with unbounded retry, unpack it, record it, notify the service and start the installer.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "ImgList.h"
#include "SHDocVw.h"
#include "StdCtrls.h"
#include "TrelmSpeedButton.h"
#include "ZipBuilder.h"

class TMemIniFile;
class TTransferFile;
class TfrmWebBrowser;

// One row of the download list.
// Byte counts are 64-bit: an archive may pass 2 GiB.
struct TDownloadItem {
  AnsiString Section;
  int64_t ZipSize = 0;
  int64_t DoneBefore = 0;  // bytes of this file's parts received in full
  int64_t CurPos = 0;      // bytes received of the part in hand
  int64_t FileSize = 0;
  int32_t Percent = 0;     // bar value: download percent, then unpacking percent
  int32_t State = 0;       // file state, stored when the run reaches the file
};

class TfrmProgramUpdate : public TForm {
 public:
  TPanel* pnlTop = nullptr;
  TImage* imgTitle = nullptr;
  TCppWebBrowser* cwbTop = nullptr;
  TPanel* pnlModel = nullptr;
  TCppWebBrowser* cwbModel = nullptr;
  TLabel* lblModel = nullptr;
  TComboBox* cbxModel = nullptr;
  TLabel* lvlModelHint = nullptr;
  TLabel* lblDownFolder = nullptr;
  TEdit* edtDownFolder = nullptr;
  TLabel* lblDiskFree = nullptr;
  TLabel* lblRealSize = nullptr;
  TTrelmSpeedButton* btnDownStart = nullptr;
  TTrelmSpeedButton* btnChangeFolder = nullptr;
  TLabel* lblTotalDownload = nullptr;
  TProgressBar* pbTotal = nullptr;
  TLabel* lblTotalPercent = nullptr;
  TLabel* lblBPS = nullptr;
  TListView* lvMain = nullptr;
  TCheckBox* cbxAutoStartInstaller = nullptr;
  TImageList* ilPBLeft2 = nullptr;
  TImageList* ilPBBody2 = nullptr;
  TImageList* ilPBRight2 = nullptr;
  TImageList* ilAnimation = nullptr;
  TZipBuilder* ZipBuilder1 = nullptr;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormShow(TObject* Sender);
  void cbxModelChange(TObject* Sender);
  void btnChangeFolderClick(TObject* Sender);
  void btnDownStartClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);
  void lvMainDeletion(TObject* Sender, TListItem* Item);
  void lvMainCustomDrawItem(TCustomListView* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw);
  void lvMainCustomDrawSubItem(TCustomListView* Sender, TListItem* Item, int SubItem, TCustomDrawState State,
                               bool& DefaultDraw);
  void lvMainInfoTip(TObject* Sender, TListItem* Item, AnsiString& InfoTip);
  void lvMainColumnDragged(TObject* Sender);
  void cwbModelDocumentComplete(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL);
  void ZipBuilder1TotalProgress(TObject* Sender, long long TotalSize, int PerCent);
  void ZipBuilder1ProgressDetails(TObject* Sender, TProgressDetails* Details);

  explicit TfrmProgramUpdate(TComponent* Owner);
  ~TfrmProgramUpdate() override;

  // Model selection, installed-file state and totals.
  void FillModels();
  bool FillFileList(TMemIniFile* model);
  TListItem* FindItem(const AnsiString& section);
  int ComputeTotals(TMemIniFile* model, int64_t& totalZip, int64_t& maxFile, int64_t& maxZip, int64_t& totalFile);
  int64_t SumZipSizes(TMemIniFile* model);
  int CheckFileState(TMemIniFile* model, const AnsiString& section);
  bool HasOutdatedFile(TMemIniFile* model);
  void ShowVersionHint(TMemIniFile* model);
  void ShowDiskSpace(TMemIniFile* model);
  void ShowTopPage(const AnsiString& url);
  void SetBusy(bool flag);
  void ShowTotal(int64_t done);

  // The run.
  static void HandleCommand(void* form, const char* command, bool ask);
  void RunDownload();
  bool Validate(TMemIniFile* model);
  bool Prepare(TMemIniFile* model);
  bool DownloadAll(TMemIniFile* model);
  bool Finish(TMemIniFile* model);
  bool EndDownload();
  void CleanupInterrupted(TMemIniFile* model);

  // One file.
  int DownloadFile(TMemIniFile* model, const AnsiString& section);
  int DownloadTo(const AnsiString& local, const AnsiString& url);
  void OnDownloadProgress(TObject* Sender, AnsiString FileName, int Max, int Position);
  bool Unzip(const AnsiString& archive, const AnsiString& folder, const AnsiString& section, TMemIniFile* model);
  void RedrawItem(TListItem* item);

  // The model of the chosen entry, null when none is chosen.
  TMemIniFile* ChosenModel() const;

  TListItem* CurrentItem = nullptr;
  std::unique_ptr<TBitmap> BarLeft, BarBody, BarRight;
  uint32_t SpeedStartTick = 0;
  int64_t DoneBytes = 0;  // totals stay true past 4 GiB
  uint64_t SpeedBytes = 0;
  int64_t LastPos = 0;
  // The pause before the next try of a failed transfer (ms of the tick count), while it waits.
  uint32_t RetryWait = 0;
  AnsiString TopUrl;
  int64_t TotalZipBytes = 0;
  // The archive or part being written, between the start and the end of one transfer.
  std::unique_ptr<TTransferFile> OutStream;
  TMemIniFile* PausedModel = nullptr;
  // The archives and parts the transfers of this session put in place that nothing has deleted
  // since: of what a stopped run leaves, only these are the program's to delete.
  std::vector<AnsiString> PlacedFiles;
  int32_t FilesDone = 0;
  // The notice window of the runs while it is open.
  TfrmWebBrowser* NoticePage = nullptr;

 private:
  void SetResult(TListItem* item, const AnsiString& text);
  void ShowModelState(TMemIniFile* model);
  static int32_t FilePercent(const TDownloadItem* d);
  // Forgets path as placed; true when it was.
  bool TakePlaced(const AnsiString& path);
};

extern TfrmProgramUpdate* frmProgramUpdate;
