// TfrmWebBrowser: a borderless window around an embedded browser that shows one page of the
// vendor's web service; the page drives the window through window.external. Movrant opens it
// for a model's notice page; Sorvel shows its splash page in it as the main form.
#pragma once
#include <memory>

#include "ComCtrls.h"
#include "Forms.h"
#include "SHDocVw.h"
#include "StdCtrls.h"
#include "WebExternal.h"

// Receives "__StartUpdate", "__PauseUpdate" and "__ExitUpdater"; Ask is always false.
typedef void (*TCommandReceiver)(void* UserData, const char* Command, bool Ask);

class TfrmWebBrowser : public TForm {
 public:
  TCppWebBrowser* cwb = nullptr;
  TToolBar* tbMain = nullptr;
  TToolButton* ToolButton1 = nullptr;
  TLabel* lblLoad = nullptr;

  // Movrant's window: the ten commands, the page given.
  TfrmWebBrowser(TComponent* Owner, AnsiString URL);
  // Sorvel's splash window: the first seven commands and the fixed splash page.
  explicit TfrmWebBrowser(TComponent* Owner);
  ~TfrmWebBrowser() override;

  void Navigate(AnsiString URL);
  HRESULT ExternalInvoke(TWebExternal* Sender, AnsiString Name, DISPPARAMS* Params, VARIANT* Result);

  void cwbTitleChange(TObject* Sender, const AnsiString& Text);
  void cwbBeforeNavigate2(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL, bool& Cancel);
  void cwbNavigateComplete2(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL);
  void cwbDocumentComplete(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL);
  void cwbQuit(TObject* Sender);
  void cwbWindowClosing(TObject* Sender, bool IsChildWindow, bool& Cancel);
  void cwbNavigateError(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL, int StatusCode, bool& Cancel);
  void ToolButton1Click(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormCreate(TObject* Sender);
  void FormDeactivate(TObject* Sender);
  void FormResize(TObject* Sender);
  void FormShortCut(TWMKey& Msg, bool& Handled);
  void FormShow(TObject* Sender);

  TWebExternal* external = nullptr;
  TWebUIHandler* UIHandler = nullptr;
  AnsiString LastUrl;
  // Movrant only: set by the creator after construction.
  TCommandReceiver CommandReceiver = nullptr;
  void* CommandData = nullptr;
  // A "__StartUpdate" counts only when the user has just acted on the page (a page that starts
  // a run as it loads would otherwise start one run after another).
  bool StartNeedsUserAction = false;

 private:
  void Construct(int commandCount);
  void CallUpdater();
  void PostCommand(const AnsiString& name);
  // Expires with the window: a posted command of a window that is gone is dropped.
  std::shared_ptr<TfrmWebBrowser*> alive_;
};

// The splash page Sorvel shows.
extern const char* const URL_SPLASH_PAGE;
