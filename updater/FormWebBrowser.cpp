#include "FormWebBrowser.h"
#include <algorithm>
#include <climits>

#include <shellapi.h>
#include <windows.h>
#include <winuser.h>

#include "PostCall.h"
#include "SysUtils.h"

const char* const URL_SPLASH_PAGE = "http://splash.quorvex.example/pavo/splash/index.html";

namespace {

const char* const kCommandNames[] = {"__WindowSize",  "__WindowBorderStyle", "__WindowPositionStyle",
                                     "__WindowClose", "__CallUpdater",       "__SetVisible",
                                     "__Test",        "__StartUpdate",       "__PauseUpdate",
                                     "__ExitUpdater"};
// Sorvel registers only the first seven.
const int kSplashCommands = 7;
const int kUpdaterCommands = 10;

const int kNavigateFlags = navNoHistory | navNoReadFromCache | navNoWriteToCache;

const LONG kCaption = 0x00C00000;
const LONG kThickFrame = 0x00040000;
const LONG kMinMaxBoxes = 0x00030000;
const LONG kToolWindow = 0x00000080;

const char* const kCaptionKavlet = "Kavlet";

void Trace(const char* text) { OutputDebugStringA(text); }

}  // namespace

TfrmWebBrowser::TfrmWebBrowser(TComponent* Owner, AnsiString URL) : TForm(Owner) {
  Construct(kUpdaterCommands);
  Navigate(URL);
}

TfrmWebBrowser::TfrmWebBrowser(TComponent* Owner) : TForm(Owner) {
  Construct(kSplashCommands);
  Navigate(URL_SPLASH_PAGE);
}

void TfrmWebBrowser::Construct(int commandCount) {
  ReadLayout({VCL_FIELD(cwb), VCL_FIELD(tbMain), VCL_FIELD(ToolButton1), VCL_FIELD(lblLoad),
              VCL_HANDLER(cwbTitleChange), VCL_HANDLER(cwbBeforeNavigate2), VCL_HANDLER(cwbNavigateComplete2),
              VCL_HANDLER(cwbDocumentComplete), VCL_HANDLER(cwbQuit), VCL_HANDLER(cwbWindowClosing),
              VCL_HANDLER(cwbNavigateError), VCL_HANDLER(ToolButton1Click), VCL_HANDLER(FormActivate),
              VCL_HANDLER(FormClose), VCL_HANDLER(FormCreate), VCL_HANDLER(FormDeactivate), VCL_HANDLER(FormResize),
              VCL_HANDLER(FormShortCut), VCL_HANDLER(FormShow)});
  LastUrl = "";
  alive_ = std::make_shared<TfrmWebBrowser*>(this);
  Width = 300;
  Height = 300;

  UIHandler = new TWebUIHandler();
  UIHandler->AddRef();
  external = new TWebExternal();
  UIHandler->External = external;

  for (int i = 0; i < commandCount; ++i) external->AddName(kCommandNames[i]);
  external->SetFallback(nullptr);
  external->OnInvoke = [this](TWebExternal* Sender, AnsiString Name, DISPPARAMS* Params, VARIANT* Result) {
    return ExternalInvoke(Sender, Name, Params, Result);
  };
}

TfrmWebBrowser::~TfrmWebBrowser() {
  TCustomForm* main = Application->MainForm;
  if (main && main != this && main->ActiveOleControl == cwb) main->ActiveOleControl = nullptr;
  // The browser may still hold the external after this window: it must not call back here.
  if (external) external->OnInvoke = nullptr;
  if (UIHandler) UIHandler->Release();
  UIHandler = nullptr;
}

void TfrmWebBrowser::Navigate(AnsiString URL) {
  cwb->Navigate(URL, kNavigateFlags);
  cwb->Invalidate();
  cwb->Update();
  lblLoad->Invalidate();
  lblLoad->Update();
  if (URL != "about:blank" && URL != "") LastUrl = URL;
}

// ---------------------------------------------------------------- browser and form events

void TfrmWebBrowser::cwbBeforeNavigate2(TObject*, LPDISPATCH, const AnsiString& URL, bool& Cancel) {
  if (URL.Pos("res://") > 0) Cancel = true;
}

void TfrmWebBrowser::cwbNavigateComplete2(TObject*, LPDISPATCH, const AnsiString&) {
  IDispatch* document = cwb->Document;
  if (document) {
    ICustomDoc* customDoc = nullptr;
    if (SUCCEEDED(document->QueryInterface(IID_ICustomDoc, reinterpret_cast<void**>(&customDoc))) && customDoc) {
      customDoc->SetUIHandler(UIHandler);
      customDoc->Release();
    }
    document->Release();
  }
  cwb->Align = alClient;
}

void TfrmWebBrowser::cwbDocumentComplete(TObject*, LPDISPATCH, const AnsiString&) {
  if (cwb->ReadyState == READYSTATE_COMPLETE && !cwb->Busy) {
    cwb->Visible = true;
    cwb->Align = alClient;
  }
}

void TfrmWebBrowser::cwbNavigateError(TObject*, LPDISPATCH, const AnsiString&, int, bool& Cancel) { Cancel = true; }

void TfrmWebBrowser::cwbTitleChange(TObject*, const AnsiString& Text) { Caption = Text; }

void TfrmWebBrowser::cwbWindowClosing(TObject*, bool, bool& Cancel) {
  Cancel = true;
  Close();
}

void TfrmWebBrowser::cwbQuit(TObject*) {}

void TfrmWebBrowser::ToolButton1Click(TObject*) {
  Navigate("about:blank");
  while (cwb->Busy) Application->ProcessMessages();
  Navigate(LastUrl);
}

void TfrmWebBrowser::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TfrmWebBrowser::FormActivate(TObject*) {
  if (TCustomForm* main = Application->MainForm) main->ActiveOleControl = cwb;
}

void TfrmWebBrowser::FormDeactivate(TObject*) {
  TCustomForm* main = Application->MainForm;
  if (main && main->ActiveOleControl == cwb) main->ActiveOleControl = nullptr;
}

void TfrmWebBrowser::FormResize(TObject*) {
  lblLoad->Left = (Width - lblLoad->Width) / 2;
  lblLoad->Top = (Height - lblLoad->Height) / 2;
}

void TfrmWebBrowser::FormShortCut(TWMKey&, bool& Handled) { Handled = false; }

void TfrmWebBrowser::FormCreate(TObject*) { Trace("FormCreate"); }

void TfrmWebBrowser::FormShow(TObject*) { Trace("FormShow"); }

// ---------------------------------------------------------------- page commands

namespace {
int ClampToInt(long long v) { return int(std::clamp<long long>(v, INT_MIN, INT_MAX)); }
}  // namespace

HRESULT TfrmWebBrowser::ExternalInvoke(TWebExternal*, AnsiString Name, DISPPARAMS* Params, VARIANT* Result) {
  if (ComponentState & csDestroying) return S_OK;
  if (Result) VariantInit(Result);
  HRESULT hr = S_OK;
  int count = Params ? int(Params->cArgs) : 0;

  if (Name == "__WindowSize") {
    if (count != 2) return DISP_E_BADPARAMCOUNT;
    int width, height;
    if (FAILED(hr = IntArgument(Params, 1, width)) || FAILED(hr = IntArgument(Params, 0, height))) return hr;
    // A page may ask for any integer: the sums are taken wide so none of them overflows, and
    // the window itself keeps its size within the screens.
    long long tb = tbMain->Visible ? tbMain->Height : 0;
    long long clientWidth = ClientWidth;
    long long clientHeight = ClientHeight;
    Left = ClampToInt(Left + (clientWidth - width) / 2);
    Top = ClampToInt(Top + (clientHeight - height - tb) / 2);
    ClientWidth = width;
    ClientHeight = ClampToInt(height + tb);
  } else if (Name == "__WindowBorderStyle") {
    if (count != 1) return DISP_E_BADPARAMCOUNT;
    int borderStyle;
    if (FAILED(hr = IntArgument(Params, 0, borderStyle))) return hr;
    LONG style = GetWindowLongA(Handle, GWL_STYLE);
    LONG exStyle = GetWindowLongA(Handle, GWL_EXSTYLE);
    switch (borderStyle) {
      case 0:
        style &= ~(kCaption | kThickFrame | kMinMaxBoxes);
        exStyle &= ~kToolWindow;
        break;
      case 1:
        style |= kCaption | kMinMaxBoxes;
        style &= ~kThickFrame;
        exStyle &= ~kToolWindow;
        break;
      case 2:
        style |= kCaption | kThickFrame | kMinMaxBoxes;
        exStyle &= ~kToolWindow;
        break;
      case 3:
        style |= kCaption;
        style &= ~(kThickFrame | kMinMaxBoxes);
        exStyle &= ~kToolWindow;
        break;
      case 4:
        style |= kCaption;
        style &= ~(kThickFrame | kMinMaxBoxes);
        exStyle |= kToolWindow;
        break;
      case 5:
        style |= kCaption | kThickFrame;
        style &= ~kMinMaxBoxes;
        exStyle |= kToolWindow;
        break;
      default:
        break;
    }
    SetWindowLongA(Handle, GWL_STYLE, style);
    SetWindowLongA(Handle, GWL_EXSTYLE, exStyle);
    SetWindowPos(Handle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  } else if (Name == "__WindowPositionStyle") {
    if (count == 1) {
      int position = -1;  // an argument with no integer value changes nothing
      hr = IntArgument(Params, 0, position);
      switch (position) {
        case 0:
          Position = poScreenCenter;
          break;
        case 1:
          Position = poDesktopCenter;
          break;
        case 2:
          Position = poDefault;
          break;
        default:
          break;
      }
    } else {
      hr = DISP_E_BADPARAMCOUNT;
    }
    cwb->Align = alNone;
    cwb->Left = 10;
    cwb->Top = 100;
    cwb->Align = alClient;
  } else if (Name == "__WindowClose") {
    Close();
  } else if (Name == "__SetVisible") {
    if (count != 2) return DISP_E_BADPARAMCOUNT;
    int which, flag;
    if (FAILED(hr = IntArgument(Params, 1, which)) || FAILED(hr = IntArgument(Params, 0, flag))) return hr;
    if (which == 1) {
      bool visible = flag == 1;
      if (tbMain->Visible != visible) tbMain->Visible = visible;
    }
  } else if (Name == "__Test") {
  } else if (Name == "__CallUpdater") {
    CallUpdater();
  } else if (Name == "__StartUpdate" || Name == "__PauseUpdate" || Name == "__ExitUpdater") {
    PostCommand(Name);
  } else {
    Application->MessageBox(Format("Kavlet Method : 알 수 없는 명령[%s]", Name.c_str()).c_str(), kCaptionKavlet,
                            MB_OK | MB_ICONSTOP);
    hr = DISP_E_MEMBERNOTFOUND;
  }
  return hr;
}

// The run these commands start, pause or end pumps messages for as long as it goes; run from
// the page's call it would hold the page's later calls (a pause) back until it ends. So the
// command goes to the receiver from the program's message loop, after the page has its answer.
void TfrmWebBrowser::PostCommand(const AnsiString& name) {
  if (!CommandReceiver) return;
  std::weak_ptr<TfrmWebBrowser*> alive = alive_;
  TCommandReceiver receiver = CommandReceiver;
  void* data = CommandData;
  auto deliver = [alive, receiver, data, name] {
    if (!alive.expired()) receiver(data, name.c_str(), false);
  };
  if (name == "__StartUpdate" && StartNeedsUserAction) {
    // The answer itself comes inside the browser's handler: posted again from there.
    cwb->QueryUserActivation([deliver](bool active) {
      if (active) PostCall(deliver);
    });
  } else {
    PostCall(deliver);
  }
}

void TfrmWebBrowser::CallUpdater() {
  AnsiString dir = ExtractFileDir(Application->ExeName);
  // Every doubled backslash goes; for a program in a drive root this leaves "C:MovrantPavo.exe",
  // which the current directory below resolves.
  AnsiString path = StringReplace(dir + "\\MovrantPavo.exe", "\\\\", "", rfReplaceAll);
  SetCurrentDir(dir);
  if (FileExists(path)) {
    ShellExecuteA(Handle, "open", path.c_str(), nullptr, "", SW_SHOWNORMAL);
    Application->Terminate();
  } else {
    Application->MessageBox("Movrant 파일이 존재하지 않습니다.", kCaptionKavlet, MB_OK | MB_ICONSTOP);
  }
}
