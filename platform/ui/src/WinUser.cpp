// The HWND table, style words, messages, metrics and canvas text functions.
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"

namespace ui {

namespace {
std::map<HWND, WindowRecord>& Windows() {
  static std::map<HWND, WindowRecord> w;
  return w;
}
uintptr_t gNextHandle = 0x10000;
}  // namespace

HWND NewWindow(const WindowRecord& record) {
  gNextHandle += 4;
  HWND h = reinterpret_cast<HWND>(gNextHandle);
  Windows()[h] = record;
  return h;
}

WindowRecord* FindWindowRecord(HWND hwnd) {
  auto it = Windows().find(hwnd);
  return it == Windows().end() ? nullptr : &it->second;
}

void DeleteWindow(HWND hwnd) { Windows().erase(hwnd); }

HWND FindWindowOfWidget(const QWidget* widget) {
  if (!widget) return nullptr;
  for (auto& [h, r] : Windows())
    if (r.widget == widget) return h;
  return nullptr;
}

HWND FindRemoteWindow(int pid, const std::string& socket, const std::string& className) {
  for (auto& [h, r] : Windows())
    if (r.remotePid == pid) {
      r.remoteSocket = socket;
      return h;
    }
  WindowRecord r;
  r.remotePid = pid;
  r.remoteSocket = socket;
  r.className = className;
  return NewWindow(r);
}

Frame FrameOf(LONG style, LONG exStyle) {
  Frame f;
  DWORD s = DWORD(style);
  if (s & WS_CHILD && (s & WS_CAPTION) != WS_CAPTION && !(s & WS_THICKFRAME) && !(s & WS_BORDER)) return f;
  int border = 0;
  if (s & WS_THICKFRAME)
    border = GetSystemMetrics(SM_CXSIZEFRAME);
  else if (s & WS_DLGFRAME)
    border = GetSystemMetrics(SM_CXFIXEDFRAME);
  else if (s & WS_BORDER)
    border = GetSystemMetrics(SM_CXBORDER);
  f.left = f.right = f.top = f.bottom = border;
  if ((s & WS_CAPTION) == WS_CAPTION)
    f.top += GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  return f;
}

void ApplyFrame(HWND hwnd) {
  WindowRecord* r = FindWindowRecord(hwnd);
  if (!r || !r->widget || !r->control) return;
  QWidget* w = r->widget;
  if (w->parentWidget() && !w->isWindow()) {
    // A form placed inside another control is sized by its parent, whatever its frame: drop the
    // fixed size it had as a window.
    if (auto* form = dynamic_cast<TCustomForm*>(r->control)) {
      w->setMinimumSize(0, 0);
      w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      w->setGeometry(form->GetLeft(), form->GetTop(), std::max(0, form->GetWidth()), std::max(0, form->GetHeight()));
    }
    return;
  }
  DWORD s = DWORD(r->style);
  Qt::WindowFlags f = (r->exStyle & WS_EX_TOOLWINDOW) ? Qt::Tool : Qt::Window;
  f |= Qt::CustomizeWindowHint;
  if ((s & WS_CAPTION) == WS_CAPTION) {
    f |= Qt::WindowTitleHint;
    if (s & WS_SYSMENU) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (s & WS_MINIMIZEBOX) f |= Qt::WindowMinimizeButtonHint;
    if (s & WS_MAXIMIZEBOX) f |= Qt::WindowMaximizeButtonHint;
  } else {
    f |= Qt::FramelessWindowHint;
  }
  if (r->exStyle & WS_EX_TOPMOST) f |= Qt::WindowStaysOnTopHint;
  if (auto* form = dynamic_cast<TCustomForm*>(r->control)) {
    if (form->GetFormStyle() == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
    // A form shown modally is a box, in the same band as the layer's own.
    if (form->IsModal()) f = AsBox(f, r->boxOnTop);
  }
  bool visible = w->isVisible();
  if (w->windowFlags() != f) {
    w->setWindowFlags(f);
    if (visible) {
      if (auto* form = dynamic_cast<TCustomForm*>(r->control)) ApplyOwner(form);
      w->show();
    }
  }
  if (s & WS_THICKFRAME) {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    w->setFixedSize(w->size());
  }
  // The outer rectangle stays; the client area follows the new frame.
  if (auto* form = dynamic_cast<TCustomForm*>(r->control)) {
    Frame fr = FrameOf(r->style, r->exStyle);
    int cw = std::max(1, form->GetWidth() - fr.left - fr.right);
    int ch = std::max(1, form->GetHeight() - fr.top - fr.bottom);
    if (!(s & WS_THICKFRAME)) w->setFixedSize(cw, ch);
    w->setGeometry(form->GetLeft() + fr.left, form->GetTop() + fr.top, cw, ch);
    form->Realign();
  }
}

void BringApplicationToFront() {
  State().foregroundRequests++;
  TCustomForm* m = Application->GetMainForm();
  if (!m) return;
  m->BringToFront();
  if (m->Host() && m->Host()->widget) {
    m->Host()->widget->raise();
    m->Host()->widget->activateWindow();
  }
}

bool ApplicationIconic() {
  TCustomForm* m = Application->GetMainForm();
  return m && m->GetWindowState() == wsMinimized;
}

// Talks to the process that owns a window of the window table (WindowTable.cpp).
std::string AskRemote(const std::string& socket, const std::string& command);

}  // namespace ui

using ui::FindWindowRecord;
using ui::WindowRecord;

static TCustomForm* FormOf(WindowRecord* r) { return r ? dynamic_cast<TCustomForm*>(r->control) : nullptr; }

// ---------------------------------------------------------------- style words

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (nIndex == GWL_STYLE) {
    LONG s = r->style;
    if (r->widget && r->widget->isVisible()) s |= LONG(WS_VISIBLE);
    else s &= ~LONG(WS_VISIBLE);
    return s;
  }
  if (nIndex == GWL_EXSTYLE) return r->exStyle;
  return 0;
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  LONG old = GetWindowLongA(hWnd, nIndex);
  if (nIndex == GWL_STYLE)
    r->style = dwNewLong;
  else if (nIndex == GWL_EXSTYLE)
    r->exStyle = dwNewLong;
  return old;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  TCustomForm* f = FormOf(r);
  if (f) {
    int left = f->GetLeft(), top = f->GetTop(), w = f->GetWidth(), h = f->GetHeight();
    if (!(uFlags & SWP_NOMOVE)) left = X, top = Y;
    if (!(uFlags & SWP_NOSIZE)) w = cx, h = cy;
    f->SetBounds(left, top, w, h);
  } else if (r->control && !(uFlags & (SWP_NOMOVE | SWP_NOSIZE))) {
    r->control->SetBounds(X, Y, cx, cy);
  }
  if (uFlags & SWP_FRAMECHANGED) ui::ApplyFrame(hWnd);
  if (r->widget && !(uFlags & SWP_NOZORDER) && (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST))
    r->widget->raise();
  if (r->widget && (uFlags & SWP_SHOWWINDOW)) r->widget->show();
  if (r->widget && (uFlags & SWP_HIDEWINDOW)) r->widget->hide();
  return TRUE;
}

// ---------------------------------------------------------------- windows

BOOL WINAPI IsWindow(HWND hWnd) { return FindWindowRecord(hWnd) != nullptr; }

BOOL WINAPI IsIconic(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (r->remotePid) return ui::AskRemote(r->remoteSocket, "ICONIC") == "1";
  if (TCustomForm* f = FormOf(r)) return f->GetWindowState() == wsMinimized;
  if (r->className == "TApplication") return ui::ApplicationIconic();
  return FALSE;
}

BOOL WINAPI OpenIcon(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (r->remotePid) return ui::AskRemote(r->remoteSocket, "RESTORE") == "1";
  if (TCustomForm* f = FormOf(r)) {
    f->SetWindowState(wsNormal);
    return TRUE;
  }
  if (r->className == "TApplication") {
    Application->Restore();
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  return r && r->widget && r->widget->isVisible();
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  BOOL was = IsWindowVisible(hWnd);
  if (r->remotePid) {
    ui::AskRemote(r->remoteSocket, nCmdShow == SW_RESTORE ? "RESTORE" : "FRONT");
    return TRUE;
  }
  if (TCustomForm* f = FormOf(r)) {
    switch (nCmdShow) {
      case SW_HIDE: f->Hide(); break;
      case SW_MINIMIZE: case SW_SHOWMINIMIZED: case SW_SHOWMINNOACTIVE: f->SetWindowState(wsMinimized); break;
      case SW_MAXIMIZE: f->SetWindowState(wsMaximized); break;
      case SW_RESTORE: f->SetWindowState(wsNormal); f->Show(); break;
      default: f->Show(); break;
    }
  } else if (r->control) {
    r->control->SetVisible(nCmdShow != SW_HIDE);
  } else if (r->widget) {
    r->widget->setVisible(nCmdShow != SW_HIDE);
  }
  return was;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (r->remotePid) return ui::AskRemote(r->remoteSocket, "FRONT") == "1";
  if (TCustomForm* f = FormOf(r)) {
    f->BringToFront();
    return TRUE;
  }
  if (r->className == "TApplication") {
    ui::BringApplicationToFront();
    return TRUE;
  }
  if (r->widget) {
    r->widget->raise();
    r->widget->activateWindow();
  }
  return TRUE;
}

HWND WINAPI GetForegroundWindow(void) {
  TCustomForm* f = Screen->GetActiveForm();
  return f ? f->GetHandle() : nullptr;
}

HWND WINAPI SetFocus(HWND hWnd) {
  HWND previous = GetFocus();
  WindowRecord* r = FindWindowRecord(hWnd);
  // Another process's window cannot take this thread's focus.
  if (!r || r->remotePid) return nullptr;
  if (r->control) r->control->SetFocus();
  else if (r->className == "TApplication") ui::BringApplicationToFront();
  return previous;
}

HWND WINAPI GetFocus(void) {
  TControl* c = QApplication::focusWidget() ? ui::ControlOf(QApplication::focusWidget()) : nullptr;
  auto* w = dynamic_cast<TWinControl*>(c);
  return w ? w->GetHandle() : nullptr;
}

BOOL WINAPI BringWindowToTop(HWND hWnd) { return SetForegroundWindow(hWnd); }

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  BOOL wasDisabled = r->control ? !r->control->GetEnabled() : (r->widget && !r->widget->isEnabled());
  if (r->control) r->control->SetEnabled(bEnable);
  else if (r->widget) r->widget->setEnabled(bEnable);
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (r->control) return r->control->GetEnabled();
  return !r->widget || r->widget->isEnabled();
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (TCustomForm* f = FormOf(r)) {
    f->Release();
    return TRUE;
  }
  if (r->widget && !r->control) r->widget->close();
  return TRUE;
}

HWND WINAPI GetDesktopWindow(void) {
  static HWND desktop = [] {
    WindowRecord r;
    r.className = "#32769";
    return ui::NewWindow(r);
  }();
  return desktop;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  AnsiString t(lpString ? lpString : "");
  if (r->setText) r->setText(t);
  else if (r->control) r->control->SetText(t);
  else if (r->widget) r->widget->setWindowTitle(ui::Q(t));
  return TRUE;
}

static AnsiString WindowText(WindowRecord* r) {
  if (!r) return "";
  if (r->getText) return r->getText();
  if (r->control) return r->control->GetText();
  if (r->widget) return ui::A(r->widget->windowTitle());
  return "";
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  AnsiString t = WindowText(FindWindowRecord(hWnd));
  int n = std::min(t.Length(), nMaxCount - 1);
  std::memcpy(lpString, t.c_str(), size_t(n));
  lpString[n] = 0;
  return n;
}

int WINAPI GetWindowTextLengthA(HWND hWnd) { return WindowText(FindWindowRecord(hWnd)).Length(); }

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r || !lpClassName || nMaxCount <= 0) return 0;
  int n = std::min(int(r->className.size()), nMaxCount - 1);
  std::memcpy(lpClassName, r->className.data(), size_t(n));
  lpClassName[n] = 0;
  return n;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return 0;
  if (lpdwProcessId) *lpdwProcessId = r->remotePid ? DWORD(r->remotePid) : GetCurrentProcessId();
  return 1;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r || !lpRect) return FALSE;
  if (r->control) {
    TRect b = r->control->GetBoundsRect();
    if (!dynamic_cast<TCustomForm*>(r->control) || r->control->GetParent()) {
      TPoint o = r->control->ClientToScreen(TPoint(0, 0));
      b = Bounds(o.x, o.y, b.Width(), b.Height());
    }
    *lpRect = b;
    return TRUE;
  }
  if (r->widget) {
    QRect g = r->widget->frameGeometry();
    *lpRect = RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    return TRUE;
  }
  *lpRect = RECT{0, 0, 0, 0};
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r || !lpRect) return FALSE;
  if (r->control)
    *lpRect = RECT{0, 0, r->control->GetClientWidth(), r->control->GetClientHeight()};
  else if (r->widget)
    *lpRect = RECT{0, 0, r->widget->width(), r->widget->height()};
  else
    *lpRect = RECT{0, 0, 0, 0};
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (r->control) r->control->Invalidate();
  else if (r->widget) r->widget->update();
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return FALSE;
  if (r->control) r->control->Update();
  return TRUE;
}

BOOL WINAPI ReleaseCapture(void) {
  if (QWidget* g = QWidget::mouseGrabber()) g->releaseMouse();
  return TRUE;
}

HWND WINAPI SetCapture(HWND hWnd) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (r && r->widget) r->widget->grabMouse();
  return nullptr;
}

HWND WINAPI GetCapture(void) {
  TControl* c = QWidget::mouseGrabber() ? ui::ControlOf(QWidget::mouseGrabber()) : nullptr;
  auto* w = dynamic_cast<TWinControl*>(c);
  return w ? w->GetHandle() : nullptr;
}

// ---------------------------------------------------------------- messages

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WindowRecord* r = FindWindowRecord(hWnd);
  if (!r) return 0;
  if (r->proc) return r->proc(Msg, wParam, lParam);
  TCustomForm* f = FormOf(r);
  switch (Msg) {
    case WM_SYSCOMMAND: {
      UINT cmd = UINT(wParam) & 0xFFF0;
      if (cmd == SC_MOVE && r->widget) {
        // 0xF012 is "move by the mouse": the window follows the pointer until release. Without a
        // window manager (or offscreen) the system move is refused: the window goes by hand.
        QWindow* win = r->widget->window()->windowHandle();
        if (!win || !win->startSystemMove()) ui::FollowMouse(r->widget);
        return 0;
      }
      if (cmd == SC_MINIMIZE && f) f->SetWindowState(wsMinimized);
      if (cmd == SC_MAXIMIZE && f) f->SetWindowState(wsMaximized);
      if (cmd == SC_RESTORE && f) f->SetWindowState(wsNormal);
      if (cmd == SC_CLOSE && f) f->Close();
      return 0;
    }
    case WM_CLOSE:
      if (f) f->Close();
      return 0;
    case WM_SETTEXT:
      return SetWindowTextA(hWnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
      return GetWindowTextA(hWnd, reinterpret_cast<LPSTR>(lParam), int(wParam));
    case WM_GETTEXTLENGTH:
      return GetWindowTextLengthA(hWnd);
    case WM_PAINT:
      if (r->control) r->control->Repaint();
      return 0;
    default:
      return 0;
  }
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!FindWindowRecord(hWnd)) return FALSE;
  QTimer::singleShot(0, ui::EnsureQt(), [hWnd, Msg, wParam, lParam] {
    ui::Safely([&] { SendMessageA(hWnd, Msg, wParam, lParam); });
  });
  return TRUE;
}

SHORT WINAPI GetKeyState(int nVirtKey) {
  Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  bool down = (nVirtKey == VK_SHIFT && (m & Qt::ShiftModifier)) ||
              (nVirtKey == VK_CONTROL && (m & Qt::ControlModifier)) || (nVirtKey == VK_MENU && (m & Qt::AltModifier));
  return down ? SHORT(0x8000) : 0;
}

SHORT WINAPI GetAsyncKeyState(int vKey) { return GetKeyState(vKey); }

// ---------------------------------------------------------------- metrics

int WINAPI GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN: return Screen->GetWidth();
    case SM_CYSCREEN: return Screen->GetHeight();
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXICON: case SM_CYICON: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYSMCAPTION: return 15;
    case SM_XVIRTUALSCREEN: case SM_YVIRTUALSCREEN: case SM_CXVIRTUALSCREEN: case SM_CYVIRTUALSCREEN: {
      ui::EnsureQt();
      QScreen* s = QGuiApplication::primaryScreen();
      QRect v = s ? s->virtualGeometry() : QRect(0, 0, 1024, 768);
      if (nIndex == SM_XVIRTUALSCREEN) return v.x();
      if (nIndex == SM_YVIRTUALSCREEN) return v.y();
      return nIndex == SM_CXVIRTUALSCREEN ? v.width() : v.height();
    }
    // The largest window: the screens and a sizing frame on each side.
    case SM_CXMAXTRACK: return GetSystemMetrics(SM_CXVIRTUALSCREEN) + 2 * GetSystemMetrics(SM_CXFRAME);
    case SM_CYMAXTRACK: return GetSystemMetrics(SM_CYVIRTUALSCREEN) + 2 * GetSystemMetrics(SM_CYFRAME);
    case SM_CXMINTRACK: return 112;
    case SM_CYMINTRACK: return GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME);
    default: return 0;
  }
}

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  long long p = (long long)nNumber * nNumerator;
  long long d = nDenominator;
  long long q = p / d, rem = p % d;
  // Rounded half away from zero, as the system does.
  if (2 * std::llabs(rem) >= std::llabs(d)) q += ((p < 0) != (d < 0)) ? -1 : 1;
  if (q > 0x7FFFFFFF || q < -0x7FFFFFFFLL - 1) return -1;
  return int(q);
}

// The layout callers of the 32-bit system rely on (the zip dialog box reads it by offset).
static_assert(sizeof(LOGFONTA) == 60 && sizeof(NONCLIENTMETRICSA) == 340);
static_assert(offsetof(NONCLIENTMETRICSA, lfMessageFont) == 280 && offsetof(LOGFONTA, lfFaceName) == 28);

static LOGFONTA LogFontOf(const QFont& font) {
  LOGFONTA lf{};
  // Point sizes at the system's 96 dots per inch.
  int pixels = font.pixelSize() > 0 ? font.pixelSize() : int(font.pointSizeF() * 96 / 72 + 0.5);
  lf.lfHeight = -std::max(1, pixels);
  lf.lfWeight = font.weight();
  lf.lfItalic = font.italic();
  lf.lfUnderline = font.underline();
  lf.lfStrikeOut = font.strikeOut();
  lf.lfCharSet = HANGUL_CHARSET;
  lstrcpynA(lf.lfFaceName, ui::A(font.family()).c_str(), LF_FACESIZE);
  return lf;
}

BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT) {
  if (uiAction == SPI_GETWORKAREA && pvParam) {
    *static_cast<RECT*>(pvParam) = RECT{0, 0, Screen->GetWidth(), Screen->GetHeight()};
    return TRUE;
  }
  if (uiAction == SPI_GETNONCLIENTMETRICS && pvParam) {
    auto* m = static_cast<NONCLIENTMETRICSA*>(pvParam);
    if (uiParam != sizeof(NONCLIENTMETRICSA) || m->cbSize != sizeof(NONCLIENTMETRICSA)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    ui::EnsureQt();
    m->iBorderWidth = GetSystemMetrics(SM_CXBORDER);
    m->iScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
    m->iScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
    // The caption metrics count without the line under the caption.
    m->iCaptionWidth = m->iCaptionHeight = GetSystemMetrics(SM_CYCAPTION) - 1;
    m->iSmCaptionWidth = m->iSmCaptionHeight = GetSystemMetrics(SM_CYSMCAPTION) - 1;
    m->iMenuWidth = m->iMenuHeight = GetSystemMetrics(SM_CYCAPTION) - 1;
    QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    m->lfCaptionFont = LogFontOf(title);
    m->lfSmCaptionFont = LogFontOf(title);
    m->lfMenuFont = LogFontOf(QApplication::font("QMenu"));
    m->lfStatusFont = LogFontOf(QApplication::font("QStatusBar"));
    m->lfMessageFont = LogFontOf(QApplication::font("QMessageBox"));
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL WINAPI MessageBeep(UINT) {
  ui::EnsureQt();
  QApplication::beep();
  return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  if (!hInstance && IS_INTRESOURCE(lpIconName)) {
    uintptr_t id = reinterpret_cast<uintptr_t>(lpIconName);
    if (id >= 32512 && id <= 32517) return reinterpret_cast<HICON>(id);
  }
  return nullptr;
}

// ---------------------------------------------------------------- canvas text

static TCanvas* CanvasOf(HDC hdc) { return reinterpret_cast<TCanvas*>(hdc); }

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
  if (!hdc || !psizl || !lpString || c < 0) return FALSE;
  *psizl = CanvasOf(hdc)->TextExtent(AnsiString(lpString, c));
  return TRUE;
}

BOOL WINAPI GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
  return GetTextExtentPoint32A(hdc, lpString, c, psizl);
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  if (!hdc || !lpString || c < 0) return FALSE;
  CanvasOf(hdc)->TextOut(x, y, AnsiString(lpString, c));
  return TRUE;
}

int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  if (!hdc || !lpchText || !lprc) return 0;
  TCanvas* canvas = CanvasOf(hdc);
  AnsiString text = cchText < 0 ? AnsiString(lpchText) : AnsiString(lpchText, cchText);
  QString t = ui::Q(text);
  if (format & DT_EXPANDTABS) t.replace(QLatin1Char('\t'), QStringLiteral("        "));
  if (!(format & DT_NOPREFIX)) {
    // "&x" marks an accelerator and is drawn without the ampersand; "&&" is one ampersand.
    QString out;
    for (int i = 0; i < t.size(); ++i) {
      if (t[i] == QLatin1Char('&') && i + 1 < t.size()) ++i;
      out += t[i];
    }
    t = out;
  }
  QFontMetrics fm(ui::ToQFont(canvas->GetFont()));
  QRect r(lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top);
  int flags = 0;
  if (format & DT_SINGLELINE) flags |= Qt::TextSingleLine;
  if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  if (format & DT_CENTER) flags |= Qt::AlignHCenter;
  else if (format & DT_RIGHT) flags |= Qt::AlignRight;
  else flags |= Qt::AlignLeft;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) flags |= Qt::AlignVCenter;
    else if (format & DT_BOTTOM) flags |= Qt::AlignBottom;
  }
  if (format & DT_CALCRECT) {
    QRect bound = (format & DT_WORDBREAK) && r.width() > 0
                      ? fm.boundingRect(QRect(r.left(), r.top(), r.width(), 100000), flags, t)
                      : fm.boundingRect(QRect(r.left(), r.top(), 100000, 100000), flags & ~Qt::TextWordWrap, t);
    int height = std::max(bound.height(), fm.height());
    if (t.isEmpty()) bound.setWidth(0);
    lprc->right = lprc->left + bound.width();
    lprc->bottom = lprc->top + height;
    return height;
  }
  canvas->Target()->Paint(canvas, [&](QPainter& p) {
    p.setPen(ui::ToQColor(canvas->GetFont()->GetColor()));
    p.drawText(r, flags, t);
  });
  return fm.boundingRect(r, flags, t).height();
}
