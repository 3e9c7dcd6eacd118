#include "FormMain.h"

#include <shellapi.h>
#include <windows.h>

#include <memory>

#include "Bffolder.h"
#include "DataModuleMaster.h"
#include "FormProgramUpdate.h"
#include "QuorvexUtil.h"
#include "QuorvexWebGet.h"
#include "SysUtils.h"

TfrmMain* frmMain = nullptr;

namespace {

// The hidden key sequence, one character per key press.
const char* const kSecretKeys[7] = {"Q", "V", "R", "X", "P", "A", "V"};
const char* const kSecretText = "Movrant for Pavo\nDelmaro 내비게이션 데이터 업데이트 프로그램";

const char* const kFolderTitle = "폴더를 선택 하면, 선택된 폴더에 자료를 내려 받습니다.";
const char* const kFolderCaption = "내려 받기 폴더 선택";

// The camera file already on the drive is the user's until a whole new one is there.
int DownloadReplacing(const AnsiString& url, const AnsiString& local) {
  TTransferFile file(local);
  int n = DownloadToStream(url, file.Stream());
  return n >= 0 && file.Commit() ? n : -1;
}

}  // namespace

TfrmMain::TfrmMain(TComponent* Owner) : TForm(Owner) {
  frmMain = this;
  ReadLayout({VCL_FIELD(pcMain), VCL_FIELD(tsDownload), VCL_FIELD(pnlTabBottom), VCL_FIELD(pnlButtons),
              VCL_FIELD(btnCameraUpdate), VCL_FIELD(btnClose), VCL_FIELD(btnHelp), VCL_HANDLER(FormCloseQuery),
              VCL_HANDLER(FormCreate), VCL_HANDLER(FormKeyPress), VCL_HANDLER(btnCameraUpdateClick),
              VCL_HANDLER(btnCloseClick), VCL_HANDLER(btnHelpClick)});
  Caption = PROGRAM_TITLE;
  Application->HintHidePause = 10000;
  Application->HintPause = 100;
  BringToFront();
}

void TfrmMain::SetState(int kind, bool value) {
  switch (kind) {
    case 1:
      if (Busy != value) {
        Busy = value;
        btnCameraUpdate->Enabled = !Busy;
      }
      break;
    case 2: Closing = value; break;
    case 3: Stopped = value; break;
    case 4: AskOnClose = value; break;
    default: break;
  }
}

void TfrmMain::FormCreate(TObject*) {
  pcMain->ActivePageIndex = 0;
  frmProgramUpdate = new TfrmProgramUpdate(this);
  frmProgramUpdate->Parent = tsDownload;
  Width = frmProgramUpdate->Width + 10;
  Height = frmProgramUpdate->Height + 50;
  frmProgramUpdate->Align = alClient;
  frmProgramUpdate->Show();
}

void TfrmMain::btnCloseClick(TObject*) { Close(); }

void TfrmMain::btnHelpClick(TObject*) {
  ShellExecuteA(Handle, "open", dmMaster->HelpUrl.c_str(), nullptr, "", SW_SHOWNORMAL);
}

void TfrmMain::FormCloseQuery(TObject*, bool& CanClose) {
  CanClose = false;
  if (Busy) {
    if (!AskOnClose ||
        Application->MessageBox("현재 Data를 다운받는 중입니다.\n설치를 종료 하시겠습니까 ?", PROGRAM_TITLE,
                                MB_ICONQUESTION | MB_YESNO) == IDYES) {
      Closing = true;
      CanClose = true;
    }
  } else if (!AskOnClose || Application->MessageBox("자동 설치 프로그램을 종료 하시겠습니까 ?", PROGRAM_TITLE,
                                                    MB_ICONQUESTION | MB_YESNO) == IDYES) {
    CanClose = true;
  }
  AskOnClose = true;
}

void TfrmMain::FormKeyPress(TObject*, char& Key) {
  AnsiString typed = AnsiUpperCase(AnsiString(Key));
  if (Tag < 0 || Tag > 6 || typed != kSecretKeys[Tag]) {
    Tag = 0;
    return;
  }
  if (++Tag == 7) {
    Tag = 0;
    Application->MessageBox(kSecretText, PROGRAM_TITLE, MB_ICONINFORMATION);
  }
}

// ------------------------------------------------------------------ camera data

std::unique_ptr<TBffolder> NewDownloadFolderDialog(TComponent* owner, const AnsiString& selected) {
  auto dialog = std::make_unique<TBffolder>(owner);
  dialog->Title = kFolderTitle;
  dialog->Caption = kFolderCaption;
  dialog->StatusText = "Status Text";
  dialog->SelectedDir = selected;
  dialog->RootDir = rdDrives;
  dialog->Options = TBffolderOptions() << bffNewDialogStyle << bffShareable;
  return dialog;
}

AnsiString TfrmMain::ChooseCameraFolder(TComponent* owner) {
  AnsiString proposal = dmMaster->EnsureFolder(".", "Camera");
  DWORD drives = GetLogicalDrives();
  for (int i = 2; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    AnsiString root = Format("%c:\\", char('A' + i));
    if (GetDriveTypeA(root.c_str()) == DRIVE_REMOVABLE &&
        GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)) {
      proposal = root;
      break;
    }
  }
  std::unique_ptr<TBffolder> dialog = NewDownloadFolderDialog(owner, proposal);
  return dialog->Execute() ? dialog->SelectedDir.get() : AnsiString();
}

void TfrmMain::btnCameraUpdateClick(TObject*) {
  AnsiString folder = ChooseCameraFolder(this);
  if (folder.IsEmpty()) return;
  TCursor oldCursor = Screen->Cursor;
  Screen->Cursor = crHourGlass;
  struct RestoreCursor {
    TCursor cursor;
    ~RestoreCursor() { Screen->Cursor = cursor; }
  } restore{oldCursor};

  AnsiString url = dmMaster->CameraUrl;
  if (url.IsEmpty()) return;
  // The window handles its messages while the data come: no run and no second camera download
  // may start meanwhile, and a close asks as it does during a run.
  SetState(1, true);
  struct Idle {
    TfrmMain* form;
    ~Idle() { form->SetState(1, false); }
  } idle{this};
  AnsiString name = GetURLFileName(url);
  AnsiString local = PathJoin(name, folder);
  int n = -1;
  // A name that is not one plain file name would lead out of the chosen folder, and one of the
  // program's own files (the folder may be the program's) must stay: either fails as a download
  // that did not arrive, and nothing is created.
  if (IsPlainFileName(name) && !IsProgramOwnFile(local)) n = DownloadReplacing(url, local);
  // After a close nothing further starts: no message, no unpacking, no notice, no folder.
  if (ProgramClosing()) return;
  if (n < 0) {
    Application->MessageBox("Camera 파일을 받지 못했습니다.\n잠시 후 다시 시도해 보세요.", PROGRAM_TITLE,
                            MB_ICONERROR | MB_YESNO);
    return;
  }
  bool installed = true;
  if (UpperCase(ExtractFileExt(local)) == ".ZIP") {
    dmMaster->UnzipTo(local, folder, true);
    // UnzipTo deletes the archive only after a clean extraction: one still there was not
    // installed (damaged, cut short, or refused), and the service is not told it was.
    installed = !FileExists(local);
  }
  if (ProgramClosing()) return;
  if (installed)
    dmMaster->NotifyServer("C", "");
  else
    Application->MessageBox("Camera 파일을 풀지 못했습니다.\n잠시 후 다시 시도해 보세요.", PROGRAM_TITLE,
                            MB_ICONERROR | MB_YESNO);
  if (ProgramClosing()) return;
  ShellExecuteA(Handle, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
