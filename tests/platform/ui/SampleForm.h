// The form of the layout tests (layout resource TFRMSAMPLE).
#pragma once
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TfrmSample : public TForm {
 public:
  TPanel* pnlBottom = nullptr;
  TButton* btnOk = nullptr;
  TLabel* lblTitle = nullptr;
  TEdit* edtName = nullptr;
  TComboBox* cbxModel = nullptr;
  TListView* lvMain = nullptr;
  TTimer* Timer1 = nullptr;

  int created = 0, shown = 0, clicks = 0, ticks = 0, closeQueries = 0;
  bool allowClose = true;
  int resultOnTick = mrOk;
  std::vector<WORD> keysDown;
  std::string keysPressed;

  explicit TfrmSample(TComponent* Owner) : TForm(Owner) {
    ReadLayout({VCL_FIELD(pnlBottom), VCL_FIELD(btnOk), VCL_FIELD(lblTitle), VCL_FIELD(edtName),
                VCL_FIELD(cbxModel), VCL_FIELD(lvMain), VCL_FIELD(Timer1), VCL_HANDLER(FormCreate),
                VCL_HANDLER(FormShow), VCL_HANDLER(FormCloseQuery), VCL_HANDLER(FormKeyPress),
                VCL_HANDLER(btnOkClick), VCL_HANDLER(edtNameKeyDown), VCL_HANDLER(Timer1Timer)});
  }
  void FormCreate(TObject*) { ++created; }
  void FormShow(TObject*) { ++shown; }
  void FormCloseQuery(TObject*, bool& CanClose) {
    ++closeQueries;
    CanClose = allowClose;
  }
  void FormKeyPress(TObject*, char& Key) { keysPressed += Key; }
  void btnOkClick(TObject*) { ++clicks; }
  void edtNameKeyDown(TObject*, WORD& Key, TShiftState) {
    keysDown.push_back(Key);
    if (Key == VK_RETURN) Key = 0;
  }
  void Timer1Timer(TObject*) {
    ++ticks;
    Timer1->Enabled = false;
    ModalResult = resultOnTick;
  }
};
