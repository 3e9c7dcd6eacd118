// Common dialogs and message dialogs.
#pragma once
#include "Controls.h"

class TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
  virtual bool Execute() = 0;
  bool GetCtl3D() const { return FCtl3D; }
  void SetCtl3D(bool v) { FCtl3D = v; }
  int GetHelpContext() const { return FHelpContext; }
  void SetHelpContext(int v) { FHelpContext = v; }
  HWND GetHandle() const { return FHandle; }
  VCL_PROPERTY(TCommonDialog, Ctl3D);
  VCL_PROPERTY(TCommonDialog, HelpContext);
  VCL_READONLY(TCommonDialog, Handle);
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  HWND FHandle = nullptr;

 private:
  bool FCtl3D = true;
  int FHelpContext = 0;
};

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
typedef Set<TMsgDlgBtn, mbYes, mbHelp> TMsgDlgButtons;

// A box with the application's title and an OK button.
void ShowMessage(const AnsiString& Msg);
int MessageDlg(const AnsiString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
