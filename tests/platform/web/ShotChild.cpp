// A program of the automation shot test: one window with two browsers side by side, each
// sent to the URL of its argument ("-" leaves it without a page).
#include <string>

#include "Forms.h"
#include "SHDocVw.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Application->Initialize();
  TForm* form = nullptr;
  Application->CreateForm(form);
  form->Name = "frmShot";
  form->SetBounds(0, 0, 480, 240);
  const char* names[] = {"cwbOne", "cwbTwo"};
  for (int i = 0; i < 2; ++i) {
    auto* browser = new TCppWebBrowser(form);
    browser->Name = names[i];
    browser->Parent = form;
    browser->Width = 240;
    browser->Align = i == 0 ? alLeft : alClient;
    if (std::string(argv[1 + i]) != "-") browser->Navigate(argv[1 + i]);
  }
  Application->Run();
  return 0;
}
