#include "FormProgramUpdate.h"

#include <shellapi.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Bffolder.h"
#include "DataModuleMaster.h"
#include "FormMain.h"
#include "FormWebBrowser.h"
#include "IniFiles.h"
#include "QuorvexUtil.h"
#include "QuorvexWebGet.h"
#include "SysUtils.h"

TfrmProgramUpdate* frmProgramUpdate = nullptr;

namespace {

const int kNavFlags = navNoHistory | navNoReadFromCache | navNoWriteToCache;
const TColor kChangedRow = TColor(0xFF80FF);
const char* const kTotalPrefix = "전체 Download : ";
const char* const kFileInfo = "__FILEINFO__.ini";

// A transfer's result as the run passes it on: the byte count, kept positive past 2 GiB.
int ResultOf(int64_t bytes) { return int(std::min<int64_t>(bytes, INT32_MAX)); }

// A size the info file or the record lists. ReadInteger gives up past the 32-bit range, where
// archives and files up to 4 GiB are listed: such a value is read in 64 bits. Anything larger
// is no size the zip reader can hold, and counts as none, so sums stay far from overflowing.
int64_t ReadSize(TCustomIniFile* ini, const AnsiString& section, const AnsiString& key) {
  int32_t small = ini->ReadInteger(section, key, 0);
  if (small != 0) return small;
  long long size = StrToInt64Def(ini->ReadString(section, key, ""), 0);
  return size > 0 && size <= 0xFFFFFFFFLL ? size : 0;
}

bool IsFileSection(const AnsiString& name) { return name.Pos("FILE_") == 1; }

TDownloadItem* Record(TListItem* item) { return item ? static_cast<TDownloadItem*>(item->Data.get()) : nullptr; }

// The archive name less every ".ZIP", the base of the numbered part names.
AnsiString PartBase(const AnsiString& zipName) { return StringReplace(zipName, ".ZIP", "", rfReplaceAll); }

AnsiString PartName(const AnsiString& zipName, int k) {
  return FormatStr("%s%03d.ZIP", PartBase(zipName).c_str(), k);
}

// The local paths of a file's numbered parts 1 to n in dir.
AnsiString PartPath(const AnsiString& dir, const AnsiString& zipName, int k) {
  return RemoveDoubleBackslash(FormatStr("%s\\%s", dir.c_str(), PartName(zipName, k).c_str()));
}

// The one local folder of a data file: DEST_PATH below the download root (the current
// directory); "" when it would lead out. The archive, its files and the record are all found
// from this path.
AnsiString DestFolder(TMemIniFile* model, const AnsiString& section) {
  return PathBelow(model->ReadString(section, "DEST_PATH", ""), GetCurrentDir());
}

// The server's local names of a data file stay where they belong: the archive a plain file
// name in its folder, the installed file below it, and neither the archive nor the record one
// of the program's own files. (FILEINFO_PATH only ever names the archive's folder on the
// server.)
bool NamesStayInside(TMemIniFile* model, const AnsiString& section) {
  AnsiString folder = DestFolder(model, section);
  AnsiString zipName = model->ReadString(section, "AG_ZIPNAME", "");
  if (folder.IsEmpty() || !IsPlainFileName(zipName) ||
      PathBelow(model->ReadString(section, "AG_FILENAME", ""), folder).IsEmpty())
    return false;
  // Every part's name ends in "NNN.ZIP": the first stands for all of them.
  AnsiString archive = model->ReadInteger(section, "AG_NUMSPAN", 0) == 1 ? zipName : PartName(zipName, 1);
  // Nor may the archive land on the folder's record of what it installed.
  if (SamePath(PathJoin(archive, folder), PathJoin(kFileInfo, folder))) return false;
  return !IsProgramOwnFile(PathJoin(archive, folder)) && !IsProgramOwnFile(PathJoin(kFileInfo, folder));
}

}  // namespace

TfrmProgramUpdate::TfrmProgramUpdate(TComponent* Owner) : TForm(Owner) {
  frmProgramUpdate = this;
  ReadLayout({VCL_FIELD(pnlTop), VCL_FIELD(imgTitle), VCL_FIELD(cwbTop), VCL_FIELD(pnlModel), VCL_FIELD(cwbModel),
              VCL_FIELD(lblModel), VCL_FIELD(cbxModel), VCL_FIELD(lvlModelHint), VCL_FIELD(lblDownFolder),
              VCL_FIELD(edtDownFolder), VCL_FIELD(lblDiskFree), VCL_FIELD(lblRealSize), VCL_FIELD(btnDownStart),
              VCL_FIELD(btnChangeFolder), VCL_FIELD(lblTotalDownload), VCL_FIELD(pbTotal),
              VCL_FIELD(lblTotalPercent), VCL_FIELD(lblBPS), VCL_FIELD(lvMain), VCL_FIELD(cbxAutoStartInstaller),
              VCL_FIELD(ilPBLeft2), VCL_FIELD(ilPBBody2), VCL_FIELD(ilPBRight2), VCL_FIELD(ilAnimation),
              VCL_HANDLER(FormCreate), VCL_HANDLER(FormDestroy), VCL_HANDLER(FormShow), VCL_HANDLER(cbxModelChange),
              VCL_HANDLER(btnChangeFolderClick), VCL_HANDLER(btnDownStartClick), VCL_HANDLER(lvMainDeletion),
              VCL_HANDLER(lvMainCustomDrawItem), VCL_HANDLER(lvMainCustomDrawSubItem), VCL_HANDLER(lvMainInfoTip),
              VCL_HANDLER(lvMainColumnDragged), VCL_HANDLER(cwbModelDocumentComplete)});
  ZipBuilder1 = new TZipBuilder(this);
  ZipBuilder1->Name = "ZipBuilder1";
  ZipBuilder1->OnTotalProgress = [this](TObject* Sender, long long TotalSize, int PerCent) {
    ZipBuilder1TotalProgress(Sender, TotalSize, PerCent);
  };
  ZipBuilder1->OnProgressDetails = [this](TObject* Sender, TProgressDetails* Details) {
    ZipBuilder1ProgressDetails(Sender, Details);
  };

  TopUrl = "";
  FilesDone = 0;
  DoubleBuffered = true;
  pbTotal->DoubleBuffered = true;
  lvMain->DoubleBuffered = true;
  PausedModel = nullptr;
  OutStream.reset();
  CurrentItem = nullptr;
  Caption = PROGRAM_TITLE;
  Width = 762;
  Height = 475;
  cwbTop->Top = 1000;
  BarLeft = std::make_unique<TBitmap>();
  BarBody = std::make_unique<TBitmap>();
  BarRight = std::make_unique<TBitmap>();
  ilPBLeft2->GetBitmap(0, BarLeft.get());
  ilPBBody2->GetBitmap(0, BarBody.get());
  ilPBRight2->GetBitmap(0, BarRight.get());
  SpeedStartTick = 0;
  pbTotal->Position = 0;
  imgTitle->Picture->Bitmap->LoadFromResourceName(HInstance, "TITLE");
}

TfrmProgramUpdate::~TfrmProgramUpdate() {
  // The handler and the rows' records need the form's fields, which are gone by the time the
  // base destructor runs.
  if (OnDestroy) {
    TNotifyEvent destroy = std::move(OnDestroy);
    OnDestroy = nullptr;
    destroy(this);
  }
  lvMain->Items->Clear();
  lvMain->OnDeletion = nullptr;
  // The notice window goes with this form and must not call back into it.
  if (NoticePage) {
    NoticePage->OnClose = nullptr;
    NoticePage->OnDestroy = nullptr;
    NoticePage->CommandReceiver = nullptr;
  }
  if (frmProgramUpdate == this) frmProgramUpdate = nullptr;
}

void TfrmProgramUpdate::FormCreate(TObject*) { FillModels(); }

bool TfrmProgramUpdate::TakePlaced(const AnsiString& path) {
  auto placed = std::find_if(PlacedFiles.begin(), PlacedFiles.end(),
                             [&](const AnsiString& p) { return SamePath(p, path); });
  if (placed == PlacedFiles.end()) return false;
  PlacedFiles.erase(placed);
  return true;
}

void TfrmProgramUpdate::FormDestroy(TObject*) {
  BarLeft.reset();
  BarBody.reset();
  BarRight.reset();
}

void TfrmProgramUpdate::FormShow(TObject*) {
  cwbModel->Navigate(PathJoin("HTML\\Intro1.html", ExtractFileDir(Application->ExeName)), kNavFlags);
  ShowDiskSpace(nullptr);
  if (cbxModel->Items->Count() > 0) {
    cbxModel->ItemIndex = 0;
    cbxModelChange(cbxModel);
  }
}

TMemIniFile* TfrmProgramUpdate::ChosenModel() const {
  int index = cbxModel->ItemIndex;
  if (index < 0) return nullptr;
  return static_cast<TMemIniFile*>(cbxModel->Items->Objects(index));
}

// ------------------------------------------------------------------ models and files

void TfrmProgramUpdate::FillModels() {
  for (int i = 0; i < dmMaster->InfoFiles->Count(); ++i) {
    TMemIniFile* ini = dmMaster->InfoFiles->File(i);
    cbxModel->Items->AddObject(ini->ReadString("ENVIRONMENT", "MODEL_CAPTION", ""), reinterpret_cast<TObject*>(ini));
  }
  cbxModel->Sorted = true;
  cbxModel->ItemIndex = -1;
}

void TfrmProgramUpdate::cbxModelChange(TObject*) {
  AnsiString url = "about:blank";
  cbxAutoStartInstaller->Hint = "";
  TMemIniFile* model = ChosenModel();
  if (!model) {
    btnDownStart->Enabled = false;
    lblTotalDownload->Caption = kTotalPrefix;
    ShowTotal(0);
  } else {
    AnsiString top = model->ReadString("ENVIRONMENT", "TOP_URL", "");
    if (!top.IsEmpty()) ShowTopPage(top);
    url = model->ReadString("ENVIRONMENT", "MODEL_INFOURL", "");
    btnDownStart->Enabled = true;
    btnChangeFolder->Enabled = true;
    TotalZipBytes = SumZipSizes(model);
    ShowModelState(model);
  }
  cwbModel->Navigate(url, kNavFlags);
}

// What a model shows once chosen, also after a folder change.
void TfrmProgramUpdate::ShowModelState(TMemIniFile* model) {
  int64_t totalZip, maxFile, maxZip, totalFile;
  ComputeTotals(model, totalZip, maxFile, maxZip, totalFile);
  lblTotalDownload->Caption = kTotalPrefix + FormatSize(totalZip);
  ShowTotal(0);
  ShowVersionHint(model);
  frmMain->SetState(3, true);
  CleanupInterrupted(PausedModel);
  frmMain->ResumeIndex = 0;
  FilesDone = 0;
  FillFileList(model);
  ShowDiskSpace(model);
  AnsiString entry = cbxModel->Items->Get(cbxModel->ItemIndex);
  if (UpperCase(dmMaster->UserID) == "PRUMDEXO41")
    cbxModel->Hint = FormatStr("%s\n%s", entry.c_str(), model->ReadString("__MANAGE__", "FILENAME", "DUMMY").c_str());
  else
    cbxModel->Hint = entry;
  cbxAutoStartInstaller->Hint =
      FormatStr("설치 프로그램 : %s", ExtractFileName(model->ReadString("INSTALLER", "PATH", "")).c_str());
}

bool TfrmProgramUpdate::FillFileList(TMemIniFile* model) {
  lvMain->Items->Clear();
  CurrentItem = nullptr;
  bool allCurrent = true;
  TStringList sections;
  model->ReadSections(&sections);
  for (int i = 0; i < sections.Count() && !frmMain->Closing; ++i) {
    AnsiString section = sections.Get(i);
    if (!IsFileSection(section)) continue;
    TListItem* item = lvMain->Items->Add();
    auto record = std::make_unique<TDownloadItem>();
    record->Section = section;
    record->ZipSize = ReadSize(model, section, "AG_ZIPSIZE");
    record->FileSize = ReadSize(model, section, "AG_FILESIZE");
    AnsiString caption = AnsiUpperCase(model->ReadString(section, "CAPTION", ""));
    if (caption.IsEmpty()) caption = AnsiUpperCase(model->ReadString(section, "AG_FILENAME", ""));
    item->Caption = caption;
    item->SubItems->Add("");
    item->SubItems->Add("");
    item->Data = record.release();
    if (CheckFileState(model, section) != 1) allCurrent = false;
  }
  return allCurrent;
}

TListItem* TfrmProgramUpdate::FindItem(const AnsiString& section) {
  for (int i = 0; i < lvMain->Items->Count; ++i) {
    TListItem* item = lvMain->Items->Item(i);
    if (Record(item) && Record(item)->Section == section) return item;
  }
  return nullptr;
}

int TfrmProgramUpdate::ComputeTotals(TMemIniFile* model, int64_t& totalZip, int64_t& maxFile, int64_t& maxZip,
                                     int64_t& totalFile) {
  totalZip = maxFile = maxZip = totalFile = 0;
  TStringList sections;
  model->ReadSections(&sections);
  int count = 0;
  for (int i = 0; i < sections.Count(); ++i) {
    AnsiString section = sections.Get(i);
    if (!IsFileSection(section)) continue;
    ++count;
    if (CheckFileState(model, section) == 1) continue;
    int64_t zip = ReadSize(model, section, "AG_ZIPSIZE");
    int64_t file = ReadSize(model, section, "AG_FILESIZE");
    totalZip += zip;
    totalFile += file;
    if (zip > maxZip) maxZip = zip;
    if (file > maxFile) maxFile = file;
  }
  return count;
}

int64_t TfrmProgramUpdate::SumZipSizes(TMemIniFile* model) {
  TStringList sections;
  model->ReadSections(&sections);
  int64_t sum = 0;
  for (int i = 0; i < sections.Count(); ++i)
    if (IsFileSection(sections.Get(i))) sum += ReadSize(model, sections.Get(i), "AG_ZIPSIZE");
  return sum;
}

int TfrmProgramUpdate::CheckFileState(TMemIniFile* model, const AnsiString& section) {
  AnsiString name = model->ReadString(section, "AG_FILENAME", "");
  AnsiString folder = DestFolder(model, section);
  AnsiString target = folder.IsEmpty() ? AnsiString() : PathBelow(name, folder);
  if (target.IsEmpty() || !FileExists(target)) return 0;
  std::unique_ptr<TMemIniFile> rec(OpenIniIn(kFileInfo, folder, false));
  if (!rec) return 0;
  long long realSize = FileSizeOf(target);
  if (realSize < 0) return -1;
  int64_t modelSize = ReadSize(model, section, "AG_FILESIZE");
  int64_t recSize = ReadSize(rec.get(), section, "AG_FILESIZE");
  if (modelSize != 0 && modelSize == recSize && recSize == realSize)
    return model->ReadInteger(section, "AG_FILECRC", 0) == rec->ReadInteger(section, "AG_FILECRC", 0) ? 1 : 2;
  return 3;
}

bool TfrmProgramUpdate::HasOutdatedFile(TMemIniFile* model) {
  TStringList sections;
  model->ReadSections(&sections);
  for (int i = 0; i < sections.Count(); ++i) {
    if (frmMain->Closing) return false;
    if (IsFileSection(sections.Get(i)) && CheckFileState(model, sections.Get(i)) != 1) return true;
  }
  return false;
}

void TfrmProgramUpdate::ShowVersionHint(TMemIniFile* model) {
  lvlModelHint->Caption =
      HasOutdatedFile(model) ? "최신 버전의 다운로드가 존재합니다." : "현재 다운로드된 버전이 최신입니다.";
  lblBPS->Caption = "";
  lblBPS->Tag = 0;
  lblBPS->Update();
}

void TfrmProgramUpdate::ShowDiskSpace(TMemIniFile* model) {
  edtDownFolder->Text = dmMaster->RootPath;
  edtDownFolder->Hint = dmMaster->RootPath;
  AnsiString drive = UpperCase(ExtractFileDrive(dmMaster->RootPath));
  long long free = drive.IsEmpty() ? -1 : DiskFree((unsigned char)(drive[1] - 'A' + 1));
  if (!model) {
    lblDiskFree->Caption = FormatStr("설치 공간 : %s", FormatSize(free).c_str());
    return;
  }
  int64_t totalZip, maxFile, maxZip, totalFile;
  ComputeTotals(model, totalZip, maxFile, maxZip, totalFile);
  int64_t need = totalFile + maxZip + maxFile;
  lblDiskFree->Caption = FormatStr("설치 공간 : %s / %s", FormatSize(need).c_str(), FormatSize(free).c_str());
  lblRealSize->Caption = FormatStr("실제 파일 크기 : %s", FormatSize(totalFile).c_str());
  if (free < need) {
    lblDiskFree->Color = clRed;
    btnDownStart->Enabled = false;
    lblDiskFree->Update();
    Application->MessageBox("설치를 위한 디스크의 공간이 부족합니다.", PROGRAM_TITLE, MB_ICONWARNING);
  } else {
    lblDiskFree->Color = lblDownFolder->Color;
    btnDownStart->Enabled = true;
  }
}

void TfrmProgramUpdate::ShowTopPage(const AnsiString& url) {
  if (url == TopUrl) return;
  cwbTop->Navigate(url, kNavFlags);
  TopUrl = url;
  cwbTop->Align = alClient;
}

void TfrmProgramUpdate::SetBusy(bool flag) {
  frmMain->SetState(1, flag);
  btnChangeFolder->Enabled = !flag;
  cbxModel->Enabled = !flag;
}

void TfrmProgramUpdate::btnChangeFolderClick(TObject*) {
  std::unique_ptr<TBffolder> dialog = NewDownloadFolderDialog(this, dmMaster->RootPath);
  if (!dialog->Execute()) return;
  AnsiString folder = dialog->SelectedDir;
  if (!DirectoryExists(folder)) return;
  if (IsRemovableDrive(ExtractFileDrive(folder))) {
    Application->MessageBox("이동형 저장장치는 받기 폴더로 지정할 수 없습니다.", PROGRAM_TITLE, MB_ICONWARNING);
    return;
  }
  dmMaster->SetRootPath(folder);
  TMemIniFile* model = ChosenModel();
  ShowDiskSpace(model);
  frmMain->ResumeIndex = 0;
  FilesDone = 0;
  if (model) ShowModelState(model);
}

void TfrmProgramUpdate::lvMainDeletion(TObject*, TListItem* Item) {
  delete Record(Item);
  Item->Data = nullptr;
}

void TfrmProgramUpdate::cwbModelDocumentComplete(TObject*, LPDISPATCH, const AnsiString&) {}

void TfrmProgramUpdate::btnHelpClick(TObject*) {
  ShellExecuteA(Handle, "open", dmMaster->HelpUrl.c_str(), nullptr, "", SW_SHOWNORMAL);
}

// ------------------------------------------------------------------ drawing

void TfrmProgramUpdate::lvMainCustomDrawItem(TCustomListView*, TListItem*, TCustomDrawState, bool& DefaultDraw) {
  DefaultDraw = true;
}

void TfrmProgramUpdate::lvMainCustomDrawSubItem(TCustomListView* Sender, TListItem* Item, int SubItem,
                                                TCustomDrawState, bool& DefaultDraw) {
  TDownloadItem* d = Record(Item);
  if (!d || SubItem < 1 || SubItem > 2) return;
  TCanvas* canvas = Sender->Canvas;
  TRect row = Item->DisplayRect(drBounds);
  int left = row.left;
  for (int i = 0; i < SubItem; ++i) left += Sender->Columns->Item(i)->Width;
  TRect cell(left + 2, row.top, left + Sender->Columns->Item(SubItem)->Width, row.bottom);

  canvas->Pen->Style = psClear;
  canvas->Brush->Style = bsSolid;
  canvas->Brush->Color = (d->State == 0 || d->State == 1) ? clWindow : kChangedRow;

  if (SubItem == 2) {
    canvas->FillRect(cell);
    DefaultDraw = false;
    AnsiString text = Item->SubItems->Count() > 1 ? Item->SubItems->Get(1) : AnsiString();
    if (!text.IsEmpty()) {
      canvas->Font = Font;
      SIZE size = canvas->TextExtent(text);
      canvas->TextOut(cell.left + (cell.Width() - size.cx) / 2, cell.top + (cell.Height() - size.cy) / 2, text);
    }
    return;
  }

  DefaultDraw = false;
  int w = cell.Width();
  double fraction = d->Percent * 0.01;
  int bar = fraction == 0 ? 0 : int(std::trunc(w * fraction + 0.5));
  if (bar > w) bar = w;
  if (bar < 0) bar = 0;
  int y = cell.top + int(std::trunc((cell.Height() - BarBody->Height) * 0.5 + 0.5));
  int x = cell.left;
  if (bar == 0) {
    canvas->Pen->Style = psClear;
    canvas->Brush->Color = clWindow;
    canvas->FillRect(cell);
  } else if (bar <= 2) {
    canvas->Draw(x, y, BarLeft.get());
  } else if (bar == 3) {
    canvas->Draw(x, y, BarRight.get());
    canvas->Draw(x, y, BarLeft.get());
  } else if (bar <= 5) {
    canvas->Draw(x, y, BarLeft.get());
    canvas->Draw(x + bar - 3, y, BarRight.get());
  } else {
    canvas->Draw(x, y, BarLeft.get());
    canvas->StretchDraw(TRect(x + 2, y, x + bar - 5, y + BarBody->Height), BarBody.get());
    canvas->Draw(x + bar - 5, y, BarRight.get());
  }
}

void TfrmProgramUpdate::lvMainInfoTip(TObject*, TListItem* Item, AnsiString& InfoTip) {
  TDownloadItem* d = Record(Item);
  if (!d) return;
  AnsiString name = StringReplace(d->Section, "FILE_", "", rfReplaceAll);
  AnsiString fileSize = FormatFloat("###,###,###,### Byte", d->FileSize);
  AnsiString zipSize = FormatFloat("###,###,###,### Byte", d->ZipSize);
  InfoTip = Format("File Name : %s\nFile Size : %s\nZip Size : %s", name.c_str(), fileSize.c_str(), zipSize.c_str());
  if (d->State != 0 && d->State != 1) InfoTip = InfoTip + "\n변경되어 다시 받음.";
}

void TfrmProgramUpdate::lvMainColumnDragged(TObject*) { lvMain->Invalidate(); }

void TfrmProgramUpdate::ShowTotal(int64_t done) {
  int percent = 0;
  if (TotalZipBytes > 0 && done > 0)
    percent = int(std::trunc(std::min(double(done) / double(TotalZipBytes), 10.0) * 100));
  pbTotal->Position = percent;
  lblTotalPercent->Caption = percent <= 0 ? AnsiString("0 %") : FormatStr("%d %%", percent);
}

void TfrmProgramUpdate::RedrawItem(TListItem* item) {
  if (!item) return;
  TRect r = item->DisplayRect(drSelectBounds);
  InvalidateRect(lvMain->Handle, &r, FALSE);
  item->Update();
}

void TfrmProgramUpdate::SetResult(TListItem* item, const AnsiString& text) {
  if (item && item->SubItems->Count() > 1) item->SubItems->Put(1, text);
}

// ------------------------------------------------------------------ the run

void TfrmProgramUpdate::btnDownStartClick(TObject*) {
  lblBPS->Visible = true;
  HandleCommand(this, frmMain->Stopped ? "__StartUpdate" : "__PauseUpdate", true);
}

void TfrmProgramUpdate::HandleCommand(void* form, const char* command, bool ask) {
  auto* self = static_cast<TfrmProgramUpdate*>(form);
  AnsiString name = command ? command : "";
  if (name == "__StartUpdate") {
    // A run is going: a second start changes nothing of it.
    if (frmMain->Busy) return;
    self->lblBPS->Visible = true;
    frmMain->SetState(3, false);
    self->btnDownStart->Glyph->LoadFromResourceName(HInstance, "BTN_PAUSE");
    self->RunDownload();
  } else if (name == "__PauseUpdate") {
    if (frmMain->Stopped) return;
    if (ask && Application->MessageBox("현재 다운로드를 중지 하시겠습니까?", PROGRAM_TITLE,
                                       MB_ICONQUESTION | MB_YESNO) != IDYES)
      return;
    frmMain->SetState(3, true);
    self->lblBPS->Visible = false;
    self->btnDownStart->Glyph->LoadFromResourceName(HInstance, "BTN_DOWN");
    if (TDownloadItem* d = Record(self->CurrentItem)) {
      self->DoneBytes -= d->DoneBefore;
      d->DoneBefore = 0;
      d->CurPos = 0;
    }
    // The total shows at once what is left counted as done, not the part just given up.
    self->ShowTotal(self->DoneBytes);
    self->PausedModel = self->ChosenModel();
  } else if (name == "__ExitUpdater") {
    frmMain->SetState(4, ask);
    frmMain->Close();
  }
}

void TfrmProgramUpdate::RunDownload() {
  TMemIniFile* model = ChosenModel();
  bool ok = Validate(model);
  // Refused because another run is going: that run ends itself.
  if (!ok && frmMain->Busy) return;
  if (ok && !frmMain->Closing) ok = Prepare(model);
  if (ok && !frmMain->Closing) ok = DownloadAll(model);
  if (ok && !frmMain->Closing) Finish(model);
  EndDownload();
}

bool TfrmProgramUpdate::Validate(TMemIniFile*) {
  if (frmMain->Busy) return false;
  SetBusy(true);
  if (cbxModel->ItemIndex == -1) {
    Application->MessageBox(
        "단말 종류를 선택해 주세요.\n만약 단말 종류가 없는 경우 Homepage에서\n사용자 등록을 해야 합니다.",
        PROGRAM_TITLE, MB_ICONERROR);
    SetBusy(false);
    return false;
  }
  return true;
}

bool TfrmProgramUpdate::Prepare(TMemIniFile* model) {
  if (frmMain->ResumeIndex > 0) return true;
  FillFileList(model);
  AnsiString notify = model->ReadString("ENVIRONMENT", "NOTIFY_URL", "");
  if (!notify.IsEmpty()) {
    // One notice window for the runs: a page that starts a run as it loads must not get a
    // new window (and so a new start) with every run.
    if (!NoticePage) {
      // Owned by this form until it closes and frees itself.
      NoticePage = new TfrmWebBrowser(this, notify);
      NoticePage->FormStyle = fsStayOnTop;
      NoticePage->CommandReceiver = &TfrmProgramUpdate::HandleCommand;
      NoticePage->CommandData = this;
      NoticePage->StartNeedsUserAction = true;
      TCloseEvent close = NoticePage->OnClose;
      NoticePage->OnClose = [this, close](TObject* Sender, TCloseAction& Action) {
        if (close) close(Sender, Action);
        if (Action == caFree) NoticePage = nullptr;
      };
      NoticePage->OnDestroy = [this](TObject*) { NoticePage = nullptr; };
    } else if (NoticePage->LastUrl != notify) {
      NoticePage->Navigate(notify);
    }
    NoticePage->Show();
  }
  cbxAutoStartInstaller->Enabled = model->ReadBool("ENVIRONMENT", "ENABLE_AUTOSTART_INSTALLER", true);
  return true;
}

bool TfrmProgramUpdate::DownloadAll(TMemIniFile* model) {
  int64_t totalZip, maxFile, maxZip, totalFile;
  int count = ComputeTotals(model, totalZip, maxFile, maxZip, totalFile);
  pbTotal->Max = 100;
  TStringList sections;
  model->ReadSections(&sections);
  CleanupInterrupted(PausedModel);
  for (int i = frmMain->ResumeIndex; i < sections.Count() && !frmMain->Closing; ++i) {
    AnsiString section = sections.Get(i);
    if (IsFileSection(section)) {
      lblTotalDownload->Caption =
          FormatStr("%s %s (%d / %d)", kTotalPrefix, FormatSize(totalZip).c_str(), FilesDone + 1, count);
      if (DownloadFile(model, section) > 0)
        ++FilesDone;
      else
        return false;
    }
    ++frmMain->ResumeIndex;
  }
  return true;
}

bool TfrmProgramUpdate::Finish(TMemIniFile* model) {
  AnsiString fileName = model->ReadString("__MANAGE__", "FILENAME", "DUMMY");
  if (frmMain->Closing || frmMain->Stopped) return true;
  lblBPS->Caption = "";
  lblBPS->Tag = 0;
  lblBPS->Update();
  ShowVersionHint(model);
  frmMain->ResumeIndex = 0;
  FilesDone = 0;
  ShowTotal(TotalZipBytes);
  dmMaster->NotifyServer("M", fileName);
  // A close asked during the notice: neither the installer nor its question comes.
  if (ProgramClosing()) return true;
  bool start = false;
  if (cbxAutoStartInstaller->Enabled) {
    start = cbxAutoStartInstaller->Checked ||
            Application->MessageBox("새로운 프로그램과 Data를 모두 받았습니다.\n설치 프로그램을 실행하시겠습니까 ?",
                                    PROGRAM_TITLE, MB_ICONQUESTION | MB_YESNO) == IDYES;
  }
  if (start) {
    AnsiString path = model->ReadString("INSTALLER", "PATH", "");
    // Only an installer below the download root is started; one elsewhere counts as missing.
    AnsiString local = PathBelow(path, GetCurrentDir());
    if (!local.IsEmpty() && FileExists(local))
      ShellExecuteA(Handle, "open", local.c_str(), nullptr, "", SW_SHOWNORMAL);
    else
      Application->MessageBox(FormatStr("설치 프로그램이 해당 Folder에 없습니다.\nPath : %s", path.c_str()).c_str(),
                              PROGRAM_TITLE, MB_ICONERROR);
  }
  return true;
}

bool TfrmProgramUpdate::EndDownload() {
  SetBusy(false);
  frmMain->SetState(3, true);
  btnDownStart->Glyph->LoadFromResourceName(HInstance, "BTN_DOWN");
  return true;
}

void TfrmProgramUpdate::CleanupInterrupted(TMemIniFile* model) {
  if (!model || frmMain->ResumeIndex <= 0) {
    if (frmMain->ResumeIndex == 0 || model) {
      DoneBytes = 0;
      ShowTotal(0);
    }
    return;
  }
  ZipBuilder1->Clear();
  TStringList sections;
  model->ReadSections(&sections);
  if (frmMain->ResumeIndex >= sections.Count()) return;
  AnsiString section = sections.Get(frmMain->ResumeIndex);
  AnsiString dir = DestFolder(model, section);
  AnsiString zipName = model->ReadString(section, "AG_ZIPNAME", "");
  int n = model->ReadInteger(section, "AG_NUMSPAN", 0);
  // Names leading out were never fetched: there is nothing of theirs to delete.
  if (dir.IsEmpty() || !IsPlainFileName(zipName)) return;
  // Only what the stopped run's transfers put in place is the program's to delete: a file of
  // the archive's name that no transfer of this session wrote (the user's own, another file's)
  // stays. Nor was a name of the program's own ever fetched.
  if (n < 2) {
    AnsiString path = RemoveDoubleBackslash(FormatStr("%s\\%s", dir.c_str(), zipName.c_str()));
    if (TakePlaced(path) && FileExists(path) && !IsProgramOwnFile(path)) DeleteFile(path);
  } else {
    for (int k = 1; k <= n; ++k) {
      AnsiString path = PartPath(dir, zipName, k);
      if (TakePlaced(path) && FileExists(path) && !IsProgramOwnFile(path)) DeleteFile(path);
    }
  }
}

// ------------------------------------------------------------------ one file

int32_t TfrmProgramUpdate::FilePercent(const TDownloadItem* d) {
  // An archive of unknown size shows 0 % until it has arrived whole (DownloadFile says so).
  if (d->ZipSize <= 0) return 0;
  double x = (double(d->DoneBefore) + double(d->CurPos)) / double(d->ZipSize);
  double p = std::trunc(x * 100 + 0.5);
  if (p < 0) return 0;
  if (p > 1e9) return 1000000000;
  return int32_t(p);
}

int TfrmProgramUpdate::DownloadFile(TMemIniFile* model, const AnsiString& section) {
  AnsiString rootUrl = model->ReadString("ENVIRONMENT", "ROOT_URL", "");
  AnsiString path = model->ReadString(section, "FILEINFO_PATH", "");
  path = StringReplace(path, "\\\\", "\\", rfReplaceAll);
  path = StringReplace(path, "\\", "/", rfReplaceAll);
  int n = model->ReadInteger(section, "AG_NUMSPAN", 0);
  AnsiString zipName = model->ReadString(section, "AG_ZIPNAME", "");
  AnsiString fullUrl = model->ReadString(section, "FULL_URL", "");
  AnsiString productInfo = model->ReadString(section, "PRODUCT_INFO", "");
  auto urlOf = [&](const AnsiString& name) {
    return fullUrl.IsEmpty() ? rootUrl + "/" + path + "/" + name : fullUrl + "/" + name;
  };
  int rc = -1;

  if (!productInfo.IsEmpty()) cwbModel->Navigate(productInfo, kNavFlags);
  CurrentItem = FindItem(section);
  if (!CurrentItem) return -1;
  TListItem* item = CurrentItem;
  TDownloadItem* d = Record(item);
  item->MakeVisible(false);
  d->State = CheckFileState(model, section);

  if (d->State == 1) {
    d->ZipSize = ReadSize(model, section, "AG_ZIPSIZE");
    d->CurPos = 0;
    d->DoneBefore = d->ZipSize;
    d->Percent = 100;
    // A current file is finished whatever its archive size says.
    rc = d->ZipSize > 0 ? ResultOf(d->ZipSize) : 1;
    SetResult(item, "완료");
    DoneBytes += d->ZipSize;
    ShowTotal(DoneBytes);
    RedrawItem(item);
    return rc;
  }

  // A file fetched again (after a failed unpacking or an interrupted run) starts from nothing,
  // so the total does not count its earlier parts twice.
  DoneBytes -= d->DoneBefore;
  d->DoneBefore = 0;
  d->CurPos = 0;
  // The speed is this file's own, measured from the start of its transfer (also on a resume).
  SpeedStartTick = GetTickCount();
  SpeedBytes = 0;
  LastPos = 0;

  // A file whose names lead out of the download root fails before anything is created.
  AnsiString folder = NamesStayInside(model, section) ? DestFolder(model, section) : AnsiString();
  AnsiString local;
  if (folder.IsEmpty()) {
    rc = -1;
  } else if (n == 1) {
    rc = -1;
    if (!dmMaster->EnsureFolder("", folder).IsEmpty()) {
      local = PathJoin(zipName, folder);
      rc = DownloadTo(local, urlOf(zipName));
    }
  } else {
    rc = 0;
    for (int k = 1; k <= n && !frmMain->Closing; ++k) {
      AnsiString name = PartName(zipName, k);
      if (dmMaster->EnsureFolder("", folder).IsEmpty()) {
        rc = -1;
        break;
      }
      local = PathJoin(name, folder);
      int r = DownloadTo(local, urlOf(name));
      if (r > 0) {
        rc = ResultOf(int64_t(rc) + r);
      } else {
        rc = r;
        break;
      }
    }
  }

  if (rc <= 0) {
    SetResult(item, frmMain->Stopped ? "중지" : "Error");
    return rc;
  }

  if (d->ZipSize <= 0) d->Percent = 100;
  TCursor oldCursor = Screen->Cursor;
  Screen->Cursor = crHourGlass;
  SetResult(item, "점검중");
  RedrawItem(item);
  lvMain->Invalidate();
  lvMain->Update();
  bool ok = FileExists(local) && Unzip(local, folder, section, model);
  if (ok) {
    SetResult(item, "완료");
  } else {
    // Also when the fetched archive is not there: nothing was installed.
    SetResult(item, frmMain->Stopped ? "중지" : "파일오류");
    rc = -1;
  }
  lvMain->Update();
  Screen->Cursor = oldCursor;
  return rc;
}

int TfrmProgramUpdate::DownloadTo(const AnsiString& local, const AnsiString& url) {
  // The pause between tries: from a second, doubling up to half a minute. A server that fails
  // a file is asked again without end, but not as fast as the loop turns.
  const uint32_t kFirstWait = 1000;
  const uint32_t kLongestWait = 30000;
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = dmMaster->UseDownloadCache;
  get->PacketSize = 40960;
  get->OnRecvProgress = [this](TObject* Sender, AnsiString FileName, int Max, int Position) {
    OnDownloadProgress(Sender, FileName, Max, Position);
  };
  OutStream.reset();
  try {
    OutStream = std::make_unique<TTransferFile>(local);
  } catch (const Exception&) {
    // No archive file, no transfer: the run ends at this file.
    return -1;
  }
  auto givenUp = [] { return frmMain->Closing || frmMain->Stopped; };
  int r = -1;
  uint32_t wait = kFirstWait;
  try {
    for (;;) {
      r = get->GetStream(url, OutStream->Stream(), false);
      if (r > 0) break;
      // A pause or a close asked while the try ran (a try that shows no progress handles no
      // messages) is seen before anything else starts.
      Application->ProcessMessages();
      if (givenUp()) break;
      RetryWait = wait;
      if (TDownloadItem* d = Record(CurrentItem)) {
        SetResult(CurrentItem, "재시도");
        d->Percent = 0;
        d->CurPos = 0;
        OutStream->Stream()->SetSize(0);
        OutStream->Stream()->SetPosition(0);
        RedrawItem(CurrentItem);
      }
      uint32_t since = GetTickCount();
      while (!givenUp() && GetTickCount() - since < wait) {
        Sleep(10);
        Application->ProcessMessages();
      }
      RetryWait = 0;
      if (givenUp()) break;
      wait = std::min(wait * 2, kLongestWait);
    }
  } catch (Exception& e) {
    // The archive cannot be written (a full drive): trying again cannot help. The user is told
    // why, the part written is deleted and the file fails, so the run ends through EndDownload.
    Application->ShowException(&e);
    r = -1;
  }
  RetryWait = 0;
  // Only a whole archive takes its name; a file of that name stays as it was until then, and
  // after a failure only one that an earlier transfer of this session put there is deleted.
  if (r > 0 && !OutStream->Commit()) r = -1;
  OutStream.reset();
  if (TakePlaced(local) && r <= 0) DeleteFile(local);
  if (r > 0) PlacedFiles.push_back(local);
  get.reset();
  return r;
}

void TfrmProgramUpdate::OnDownloadProgress(TObject* Sender, AnsiString, int Max, int Position) {
  auto* get = dynamic_cast<TQuorvexWebGet*>(Sender);
  if (frmMain->Stopped) {
    // Busy stays until the run has unwound (EndDownload): the transfer may still succeed and
    // the unpacking pump messages.
    if (get) get->Stop();
    return;
  }
  // The event's values are 32-bit and scaled down past 2 GiB; the component's own counts are
  // the true ones. A report without a length shows nothing (the part's size is unknown), as
  // the report before its body does.
  int64_t max = Max;
  int64_t position = Max == 0 ? 0 : Position;
  if (get && Max != 0) {
    max = get->AnnouncedLength();
    position = get->ReceivedBytes();
  }
  int64_t done = DoneBytes + position;
  if (position != 0 && max != 0) {
    if (SpeedStartTick == 0) SpeedStartTick = GetTickCount();
    uint32_t now = GetTickCount() + 1;
    uint32_t elapsed = now - SpeedStartTick;
    uint32_t speed = 0;
    int64_t delta = position - LastPos;
    if (delta > 0) {
      SpeedBytes += uint64_t(delta);
      LastPos = position;
      if (elapsed > 0) {
        double s = std::trunc(double(SpeedBytes) / (elapsed * 0.001));
        speed = s >= 4294967295.0 ? 4294967295u : uint32_t(s);
      }
    }
    if (uint32_t(lblBPS->Tag) + 500u < now && speed > 0) {
      AnsiString text = FormatStr("%s/S", FormatSize(speed).c_str());
      // Without any archive size nothing is known of what is left.
      if (TotalZipBytes > 0) {
        int64_t remaining = std::max<int64_t>(TotalZipBytes - done, 0);
        int64_t secs = remaining / speed;
        int64_t hours = secs / 3600;
        int64_t minutes = (secs - hours * 3600) / 60;
        AnsiString left;
        if (hours > 0)
          left = FormatStr("%lld시간 %lld분", (long long)hours, (long long)minutes);
        else if (minutes > 0)
          left = FormatStr("%lld분", (long long)minutes);
        else
          left = "1분 미만";
        text = FormatStr("%s  %s", text.c_str(), left.c_str());
      }
      lblBPS->Caption = text;
      lblBPS->Tag = int(now);
      lblBPS->Update();
    }
  }
  if (position == max) {
    DoneBytes = done;
    LastPos = 0;
  } else {
    ShowTotal(done);
  }
  if (TDownloadItem* d = Record(CurrentItem)) {
    if (position == max) {
      d->DoneBefore += max;
      d->CurPos = 0;
      d->Percent = FilePercent(d);
      RedrawItem(CurrentItem);
    } else {
      bool first = d->CurPos == 0;
      int32_t oldPercent = FilePercent(d);
      d->CurPos = position;
      int32_t newPercent = FilePercent(d);
      if (oldPercent != newPercent || first) {
        SetResult(CurrentItem, FormatStr("%d %%", newPercent));
        d->Percent = newPercent;
        RedrawItem(CurrentItem);
      }
    }
  }
  Application->ProcessMessages();
  if (frmMain->Closing && get) get->Stop();
}

bool TfrmProgramUpdate::Unzip(const AnsiString& archive, const AnsiString& folder, const AnsiString& section,
                              TMemIniFile* model) {
  bool result = false;
  if (!FileExists(archive)) return false;
  try {
    dmMaster->EnsureFolder("", folder);
    ZipBuilder1->FSpecArgs->Clear();
    // The engine makes folder entries too: the check below must see them.
    ZipBuilder1->UseDirOnlyEntries = true;
    ZipBuilder1->ZipFileName = archive;
    ZipBuilder1->ExtrBaseDir = folder;
    ZipBuilder1->Unattended = true;
    ZipBuilder1->ExtrOptions = ExtrOpts() << ExtrDirNames << ExtrOverWrite;
    // Nothing of an archive that would write over the program itself is unpacked.
    int r = ReachesProgramFiles(*ZipBuilder1->Worker, folder) ? -1 : ZipBuilder1->Extract();
    // The file is installed only when it is there as a file (an entry may have made a folder
    // of that name, or the archive may not hold it at all) of the listed size, as the next
    // run checks it; a section naming no file has nothing to check.
    AnsiString name = model->ReadString(section, "AG_FILENAME", "");
    AnsiString target = PathBelow(name, folder);
    int64_t listedSize = ReadSize(model, section, "AG_FILESIZE");
    auto sizeAsListed = [&] { return listedSize == 0 || FileSizeOf(target) == listedSize; };
    if (r == 0 && (name.IsEmpty() || (!target.IsEmpty() && FileExists(target) && sizeAsListed()))) {
      int n = model->ReadInteger(section, "AG_NUMSPAN", 0);
      AnsiString zipName = model->ReadString(section, "AG_ZIPNAME", "");
      AnsiString dir = ExtractFileDir(archive);
      if (n > 1) {
        for (int k = 1; k <= n; ++k) {
          AnsiString part = PartPath(dir, zipName, k);
          TakePlaced(part);
          DeleteFile(part);
        }
      } else {
        TakePlaced(archive);
        DeleteFile(archive);
      }
      int crc = model->ReadInteger(section, "AG_FILECRC", 0);
      std::unique_ptr<TMemIniFile> rec(OpenIniIn(kFileInfo, folder, true));
      if (rec) {
        rec->WriteString(section, "AG_FILESIZE", IntToStr(listedSize));
        rec->WriteInteger(section, "AG_FILECRC", crc);
        rec->UpdateFile();
        result = true;
      }
    }
  } catch (...) {
    result = false;
  }
  SetCurrentDir(dmMaster->RootPath);
  return result;
}

void TfrmProgramUpdate::ZipBuilder1TotalProgress(TObject*, long long, int PerCent) {
  if (PerCent > 100) return;
  if (TDownloadItem* d = Record(CurrentItem)) {
    d->Percent = PerCent;
    RedrawItem(CurrentItem);
  }
  if (frmMain->Closing || frmMain->Stopped) {
    ZipBuilder1->Cancel = true;
    ZipBuilder1->Clear();
  }
  Application->ProcessMessages();
}

void TfrmProgramUpdate::ZipBuilder1ProgressDetails(TObject*, TProgressDetails*) {}
