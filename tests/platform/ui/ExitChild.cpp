// A program of the exit test: it ends by returning from main while the application object
// still owns its forms, one of them shown and one closed, as a program ends after its loop.
#include <fstream>
#include <string>

#include "ComCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

namespace {

TForm* NewForm(const std::string& report, const char* name) {
  TForm* form = nullptr;
  Application->CreateForm(form);
  form->Caption = name;
  auto* list = new TListView(form);
  list->Parent = form;
  list->ViewStyle = vsReport;
  list->Columns->Add()->Width = 50;
  list->Items->Add()->Caption = "row";
  auto* combo = new TComboBox(form);
  combo->Parent = form;
  combo->Items->Add("entry");
  auto* edit = new TEdit(form);
  edit->Parent = form;
  form->OnDestroy = [report, name](TObject*) { std::ofstream(report, std::ios::app) << name << " freed\n"; };
  return form;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string report = argv[1];
  Application->Initialize();
  TForm* main = NewForm(report, "main");
  TForm* other = NewForm(report, "other");
  main->Show();
  other->Show();
  Application->ProcessMessages();
  main->Close();
  Application->ProcessMessages();
  std::ofstream(report, std::ios::app) << "main returns\n";
  return 0;
}
