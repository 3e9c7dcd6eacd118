// The zip component's own message and prompt box, laid out at run time like a standard message
// box: an optional system icon, a wrapped text, an optional password field and a button row.
#pragma once
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TZipDialogBox : public TForm {
 public:
  // owner: the Application; context: type * 65536 + number (type 0 becomes 0x10, warning).
  static TZipDialogBox* CreateNew(TComponent* owner, int context);
  void Build(const AnsiString& title, const AnsiString& message, TMsgDlgButtons buttons);
  int ShowModal() override;
  int DialogType() const { return FContext & 0x1F0000; }
  AnsiString EditText() const;

  // Fields beyond the form, in order.
  int AvDlgCharWidth = 0;
  int AvDlgCharHeight = 0;
  unsigned BeepId = 0;  // MessageBeep sound, 0 = none
  int FContext = 0;
  TLabel* TxtLabel = nullptr;
  LPCSTR IconId = nullptr;  // system icon, null = none
  TEdit* PwdEdit = nullptr;

 private:
  TZipDialogBox(TComponent* owner, int context);
};
