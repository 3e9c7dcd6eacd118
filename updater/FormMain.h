// TfrmMain: Movrant's main window. Hosts the download form in a hidden tab, carries the camera,
// close and help buttons, asks before the program ends, and holds the run-state flags that the
// download form's long loops poll.
#pragma once
#include <memory>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "TrelmSpeedButton.h"

class TfrmMain : public TForm {
 public:
  TPageControl* pcMain = nullptr;
  TTabSheet* tsDownload = nullptr;
  TPanel* pnlTabBottom = nullptr;
  TPanel* pnlButtons = nullptr;
  TTrelmSpeedButton* btnCameraUpdate = nullptr;
  TTrelmSpeedButton* btnClose = nullptr;
  TTrelmSpeedButton* btnHelp = nullptr;

  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormCreate(TObject* Sender);
  void FormKeyPress(TObject* Sender, char& Key);
  void btnCameraUpdateClick(TObject* Sender);
  void btnCloseClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);

  explicit TfrmMain(TComponent* Owner);

  // kind 1 Busy, 2 Closing, 3 Stopped, 4 AskOnClose.
  void SetState(int kind, bool value);
  AnsiString ChooseCameraFolder(TComponent* owner);

  bool Closing = false;
  bool Stopped = true;
  int ResumeIndex = 0;
  bool Busy = false;
  bool AskOnClose = true;
};

extern TfrmMain* frmMain;

class TBffolder;
// The folder dialog for a download folder (the data root or the camera data), parented by
// owner; freed by the caller once the choice is made, so that every click does not leave one.
std::unique_ptr<TBffolder> NewDownloadFolderDialog(TComponent* owner, const AnsiString& selected);
