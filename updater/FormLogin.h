// TfrmLogin: the skinned login dialog. Shows the current versions, checks for a self-update
// one second after it is shown, then logs the user in.
#pragma once
#include "Buttons.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "TrelmSpeedButton.h"

class TfrmLogin : public TForm {
 public:
  TImage* imgFrameLogin = nullptr;
  TEdit* edtID = nullptr;
  TEdit* edtPassword = nullptr;
  TCheckBox* cbxAutoLogin = nullptr;
  TLabel* lblAutoLogin = nullptr;
  TTrelmSpeedButton* btnLogin = nullptr;
  TTrelmSpeedButton* btnCancel = nullptr;
  TTrelmSpeedButton* btnHomePage = nullptr;
  TLabel* lvlVersion = nullptr;
  TLabel* lblStatus = nullptr;
  TLabel* lvlDataVersion1 = nullptr;
  TLabel* lvlDataVersion2 = nullptr;
  TLabel* lvlDataVersion3 = nullptr;
  TLabel* lblFile = nullptr;
  TProgressBar* pbDownload = nullptr;
  TTimer* Timer1 = nullptr;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void Timer1Timer(TObject* Sender);
  void btnLoginClick(TObject* Sender);
  void btnCancelClick(TObject* Sender);
  void edtIDKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void edtPasswordKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void imgFrameLoginMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void lblAutoLoginClick(TObject* Sender);
  void btnHomePageClick(TObject* Sender);

  explicit TfrmLogin(TComponent* Owner);

  void EnableInputs();
  void SetStatus(AnsiString text);
  void ShowVersions();
  void OnUpdateProgress(TObject* Sender, AnsiString FileName, int Max, int Position);
  // The dialog has been asked to close (or the program to end) while the login runs.
  bool CloseAsked();
  void OnUpdateRestart(TObject* Sender);
  void OnUpdateInfoFile(TObject* Sender, AnsiString Message);
};

extern TfrmLogin* frmLogin;
