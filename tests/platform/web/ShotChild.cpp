// A program of the automation shot test: one window with two browsers side by side, each
// sent to the URL of its argument ("-" leaves it without a page; "again:URL" asks for the page
// once more while its load runs, as a window that shows a page it is already loading).
#include <memory>
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
    std::string url = argv[1 + i];
    if (url.rfind("again:", 0) == 0) {
      url = url.substr(6);
      auto once = std::make_shared<bool>(true);
      browser->OnNavigateComplete2 = [browser, url, once](TObject*, LPDISPATCH, const AnsiString&) {
        if (!*once) return;
        *once = false;
        browser->Navigate(url.c_str());
      };
    }
    if (url != "-") browser->Navigate(url.c_str());
  }
  Application->Run();
  return 0;
}
