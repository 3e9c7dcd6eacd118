// A program of the automation test: one form with an edit, a check box, a combo box, a label
// and a button; the button asks a question and writes what the form holds to the report.
#include <fstream>
#include <string>

#include "Forms.h"
#include "StdCtrls.h"
#include "winplat.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string report = argv[1];
  Application->Initialize();
  TForm* form = nullptr;
  Application->CreateForm(form);
  form->Name = "frmAuto";
  auto* edit = new TEdit(form);
  edit->Name = "edtName";
  edit->Parent = form;
  auto* check = new TCheckBox(form);
  check->Name = "cbxSave";
  check->Parent = form;
  auto* combo = new TComboBox(form);
  combo->Name = "cbxModel";
  combo->Parent = form;
  combo->Items->Add("one");
  combo->Items->Add("two");
  auto* label = new TLabel(form);
  label->Name = "lblStatus";
  label->Parent = form;
  combo->OnChange = [label, combo](TObject*) { label->Caption = "changed " + IntToStr(combo->ItemIndex); };
  auto* button = new TButton(form);
  button->Name = "btnGo";
  button->Parent = form;
  button->OnClick = [=](TObject*) {
    int answer = Application->MessageBox("계속 할까요?", "Auto", MB_YESNO);
    std::ofstream(report) << "name=" << winplat::Cp949ToUtf8(edit->Text.get().c_str())
                          << " save=" << check->Checked.get() << " model=" << combo->ItemIndex.get()
                          << " answer=" << answer << "\n";
    form->Close();
  };
  Application->Run();
  return 0;
}
