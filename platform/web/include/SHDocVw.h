// The WebBrowser control as the class library wraps it (TCppWebBrowser): navigation, the
// document, the ready state and the browser's events.
#pragma once
#include <functional>

#include "Controls.h"
#include "mshtmhst.h"
#include "oleauto.h"

enum tagREADYSTATE {
  READYSTATE_UNINITIALIZED = 0,
  READYSTATE_LOADING = 1,
  READYSTATE_LOADED = 2,
  READYSTATE_INTERACTIVE = 3,
  READYSTATE_COMPLETE = 4,
};

enum BrowserNavConstants {
  navOpenInNewWindow = 0x1,
  navNoHistory = 0x2,
  navNoReadFromCache = 0x4,
  navNoWriteToCache = 0x8,
};

// URLs are code page 949 text; a DOS path ("C:\dir\page.html") names a local file.
typedef std::function<void(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL, bool& Cancel)>
    TWebBrowserBeforeNavigate2;
typedef std::function<void(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL)> TWebBrowserNavigateComplete2;
typedef std::function<void(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL)> TWebBrowserDocumentComplete;
// StatusCode: the HTTP status, or a negative network error.
typedef std::function<void(TObject* Sender, LPDISPATCH pDisp, const AnsiString& URL, int StatusCode, bool& Cancel)>
    TWebBrowserNavigateError;
typedef std::function<void(TObject* Sender, const AnsiString& Text)> TWebBrowserTitleChange;
typedef std::function<void(TObject* Sender, bool IsChildWindow, bool& Cancel)> TWebBrowserWindowClosing;

class TCppWebBrowserPrivate;

class TCppWebBrowser : public TWinControl {
 public:
  explicit TCppWebBrowser(TComponent* AOwner);
  ~TCppWebBrowser() override;

  // Flags are BrowserNavConstants. Every navigation of this browser bypasses the HTTP cache and
  // keeps no history, whatever the flags say.
  void Navigate(const AnsiString& URL, int Flags = 0);

  bool GetBusy() const;
  tagREADYSTATE GetReadyState() const;
  // The current document with a reference added (the caller releases it); null before the
  // first navigation completes.
  LPDISPATCH GetDocument() const;
  AnsiString GetLocationURL() const;
  // Asks the page whether the user has just acted on it (the browser's transient activation,
  // which a click or a key press in the page gives for a few seconds; the page's own scripts
  // cannot forge the answer). The answer comes later, from the message loop; none comes when
  // the page is gone first.
  void QueryUserActivation(std::function<void(bool active)> answer);
  VCL_READONLY(TCppWebBrowser, Busy);
  VCL_READONLY(TCppWebBrowser, ReadyState);
  VCL_READONLY(TCppWebBrowser, Document);
  VCL_READONLY(TCppWebBrowser, LocationURL);

  TWebBrowserBeforeNavigate2 OnBeforeNavigate2;
  TWebBrowserNavigateComplete2 OnNavigateComplete2;
  TWebBrowserDocumentComplete OnDocumentComplete;
  TWebBrowserNavigateError OnNavigateError;
  TWebBrowserTitleChange OnTitleChange;
  TWebBrowserWindowClosing OnWindowClosing;
  TNotifyEvent OnQuit;

  TCppWebBrowserPrivate* Private() const { return d.get(); }

 private:
  std::unique_ptr<TCppWebBrowserPrivate> d;
};
