// Movrant's program entry with a test's hands on it: the same start-up, with every message box
// answered (OK) and the login dialog driven as MOVRANT_TEST_DO asks. What happens is appended
// to the file MOVRANT_TEST_LOG, one line per event (code page 949 text, "\n" written as "\\n"):
//   start|<arguments>   box|<flags>|<text>   dialog|...   progress|<file label>   result|<n>
//   main|...  (the main window once it runs; then it is closed without the question)   end|...
// MOVRANT_TEST_DO: "cancel" (the default) once the inputs are enabled; "wait:<DOS file>" keeps
// the dialog open until that file exists, then cancels; "login:<id>:<password>" (and cancel when
// the login leaves the dialog open); "close-at-package" closes the dialog as its window's close
// does once the self-update shows a package.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DataModuleMaster.h"
#include "ExtCtrls.h"
#include "FormLogin.h"
#include "FormMain.h"
#include "FormProgramUpdate.h"
#include "Forms.h"
#include "SysUtils.h"
#include "UiTest.h"

namespace {

void Log(const AnsiString& line) {
  const char* path = std::getenv("MOVRANT_TEST_LOG");
  if (!path) return;
  std::string text = StringReplace(line, "\n", "\\n", rfReplaceAll).str();
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\n", text.c_str());
    std::fclose(f);
  }
}

AnsiString Flag(bool b) { return b ? "1" : "0"; }

AnsiString Name(TWinControl* control) { return control ? control->Name : AnsiString("-"); }

void LogDialog(TfrmLogin* f) {
  Log("dialog|id=" + f->edtID->Text.get() + "|checked=" + Flag(f->cbxAutoLogin->Checked) +
      "|focus=" + Name(f->ActiveControl) + "|file=" + Flag(f->lblFile->Visible) + "|bar=" +
      Flag(f->pbDownload->Visible) + "|version=" + f->lvlVersion->Caption.get() + "|lines=" +
      f->lvlDataVersion1->Caption.get() + "/" + f->lvlDataVersion2->Caption.get() + "/" +
      f->lvlDataVersion3->Caption.get());
}

// Waits until cond holds or the time is up; false when the time ran out.
template <class F>
bool PumpUntil(F cond, int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (cond()) return true;
    uitest::Pump(10);
  }
  return cond();
}

void Drive(TCustomForm* form) {
  TfrmLogin* f = dynamic_cast<TfrmLogin*>(form);
  if (!f) return;
  AnsiString todo = std::getenv("MOVRANT_TEST_DO") ? std::getenv("MOVRANT_TEST_DO") : "cancel";
  // Shows the self-update's file label whenever it changes.
  AnsiString lastShown;
  TTimer watch(nullptr);
  watch.Interval = 1;
  watch.OnTimer = [&](TObject*) {
    AnsiString shown = f->lblFile->Visible && f->pbDownload->Visible ? f->lblFile->Caption.get() : AnsiString();
    if (shown != lastShown && !shown.IsEmpty()) {
      Log("progress|" + shown);
      if (todo == "close-at-package") uitest::CloseWindow(f);
    }
    lastShown = shown;
  };
  watch.Enabled = true;
  PumpUntil([&] { return f->edtID->Enabled || f->ModalResult != mrNone; }, 30000);
  watch.Enabled = false;
  LogDialog(f);
  if (f->ModalResult != mrNone) {
    Log("result|" + IntToStr(int(f->ModalResult)));
    return;
  }
  if (todo.Pos("wait:") == 1) {
    AnsiString file = todo.SubString(6, todo.Length());
    PumpUntil([&] { return FileExists(file); }, 60000);
    Log("foreground|" + IntToStr(uitest::ForegroundRequests()));
    f->btnCancelClick(f->btnCancel);
  } else if (todo.Pos("login:") == 1) {
    AnsiString rest = todo.SubString(7, todo.Length());
    int colon = rest.Pos(":");
    f->edtID->Text = rest.SubString(1, colon - 1);
    f->edtPassword->Text = rest.SubString(colon + 1, rest.Length());
    f->btnLoginClick(f->btnLogin);
    if (f->ModalResult == mrNone) {
      // Refused: the dialog stays open; the user gives up.
      Log("result|0");
      f->btnCancelClick(f->btnCancel);
      return;
    }
  } else {
    f->btnCancelClick(f->btnCancel);
  }
  Log("result|" + IntToStr(int(f->ModalResult)));
}

}  // namespace

int main(int, char**) {
  AnsiString args;
  for (int i = 1; i <= ParamCount(); ++i) args += (i > 1 ? " " : "") + ParamStr(i);
  Log("start|" + args);
  try {
    Application->Initialize();
    uitest::SetMessageBoxHook([](const AnsiString& text, const AnsiString&, int flags) {
      Log("box|" + IntToStr(flags) + "|" + text);
      return IDOK;
    });
    uitest::SetModalHook(Drive);
    Application->CreateForm(dmMaster);
    // The main window after a login: what it shows, then the user closes it.
    TTimer closer(nullptr);
    closer.Interval = 1;
    closer.OnTimer = [&](TObject*) {
      closer.Enabled = false;
      Log("main|models=" + IntToStr(frmProgramUpdate->cbxModel->Items->Count()) + "|model=" +
          frmProgramUpdate->cbxModel->Text + "|rows=" + IntToStr(frmProgramUpdate->lvMain->Items->Count));
      frmMain->SetState(4, false);
      frmMain->btnCloseClick(frmMain->btnClose);
    };
    closer.Enabled = frmMain != nullptr;
    Application->Run();
  } catch (Exception& exception) {
    Log("exception|" + exception.Message);
  }
  Log("end|main=" + Flag(Application->MainForm != nullptr) + "|cwd=" + GetCurrentDir() + "|root=" +
      (dmMaster ? dmMaster->RootPath : AnsiString("-")) + "|cache=" +
      Flag(dmMaster && dmMaster->UseDownloadCache) + "|update=" + (dmMaster ? dmMaster->UpdateUrl : AnsiString("-")) +
      "|user=" + (dmMaster ? dmMaster->UserID : AnsiString("-")) +
      "|models=" + IntToStr(dmMaster ? dmMaster->InfoFiles->Count() : -1));
  return 0;
}
