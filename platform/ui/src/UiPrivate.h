// Private side of platform/ui: the Qt objects behind the class-library objects.
#pragma once
#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "Controls.h"
#include "Graphics.h"

class TCustomForm;

namespace ui {

// The Qt application, created on first use with the program's arguments.
QApplication* EnsureQt();

// Code page 949 <-> Qt text.
QString Q(const AnsiString& text);
QString Q(const char* text);
AnsiString A(const QString& text);
// What a control or a box shows of a text: its first kShownBytes bytes, not ending inside a
// character. No control shows more of a line, and Qt lays out a text whole whatever shows of
// it, at some 35 bytes a character: a 10 MB caption took 350 MB to paint in a combo box, 660 MB
// in a list view's cell, 415 MB in a message box.
constexpr int kShownBytes = 4096;
AnsiString Shown(const AnsiString& text);
QString QShown(const AnsiString& text);

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
QFont ToQFont(const TFont* font);
// Maps the Korean faces the layouts name to a Korean font that is installed.
QString FontFamily(const AnsiString& name);
Qt::CursorShape ToQtCursor(TCursor cursor);
TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons);
TMouseButton ButtonFromQt(Qt::MouseButton b);
// Qt key -> virtual-key code (0 when none).
WORD VirtualKeyFromQt(int key);
int QtKeyFromVirtualKey(WORD vk);

// Which control a Qt widget stands for.
TControl* ControlOf(const QObject* widget);

// Input and painting glue installed on every control's widget.
void InstallEventGlue(QWidget* widget, TControl* control);

// The HWND table (windows of controls, the application window, dialogs, windows of other
// processes found in the window table).
struct WindowRecord {
  TWinControl* control = nullptr;  // null for the application window and dialogs
  QPointer<QWidget> widget;        // the window (forms, dialogs)
  LONG style = 0;
  LONG exStyle = 0;
  std::string className;  // code page 949
  std::function<LRESULT(UINT, WPARAM, LPARAM)> proc;  // messages of dialogs
  std::function<void(const AnsiString&)> setText;
  std::function<AnsiString()> getText;
  int remotePid = 0;  // a window of another process
  std::string remoteSocket;
  bool boxOnTop = false;  // a modal form that must stay above a stay-on-top window of the program
};
HWND NewWindow(const WindowRecord& record);
WindowRecord* FindWindowRecord(HWND hwnd);
void DeleteWindow(HWND hwnd);
// Applies the style words to the window's frame (caption, thick frame, boxes, tool window).
void ApplyFrame(HWND hwnd);
// The window of the table that a Qt window stands for (null when none).
HWND FindWindowOfWidget(const QWidget* widget);

// Owned windows (Forms.cpp). As on Windows, a form that another form owns (as a component)
// belongs to the window that form is in: it is hidden while that window is minimised and shown
// again when it is restored.
// The window that owns the form's window (null when none).
QWidget* OwnerWindowOf(const TCustomForm* form);
// Tells the window system who owns the form's window (a modal form keeps the box owner it has).
void ApplyOwner(TCustomForm* form);

// Boxes and dialogs (Boxes.cpp). A box opens above every other window of the program: it is
// owned by the program's active window and stays on top while any window of the program does.
// The window a new box belongs to (null when the program shows none).
QWidget* BoxOwner(const QWidget* box);
// True while a visible window of the program other than box stays on top.
bool ProgramStaysOnTop(const QWidget* box);
// Makes box (not yet shown) a window owned by owner in the window system.
void SetBoxOwner(QWidget* box, QWidget* owner);
// A box's window made of a frame: a dialog, as the window system keeps only dialogs and tool
// windows above their owner (X11 is told no owner of a plain window), and in the stay-on-top
// band when onTop.
Qt::WindowFlags AsBox(Qt::WindowFlags frame, bool onTop);
// A dialog's frame as Windows draws it: caption, system menu and close button, no minimise or
// maximise button.
Qt::WindowFlags DialogFrame(bool onTop);
// Korean Windows' words for the standard buttons ("확인", "취소", "예" ...).
QString ButtonText(int id);
// A box of the layer (message box, new-folder box) in the window table while it is up; the
// test hook hears of it once it is shown.
class OpenBox {
 public:
  OpenBox(QWidget* box, LONG exStyle);
  ~OpenBox();
  OpenBox(const OpenBox&) = delete;
  OpenBox& operator=(const OpenBox&) = delete;
  HWND Handle() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// Moving a window with the mouse (WM_SYSCOMMAND SC_MOVE). Where the window system cannot do it
// (no window manager, offscreen) the top-level window follows the pointer by hand from the
// press until the left button goes up; Escape puts it back.
void FollowMouse(QWidget* window);
// Where on the screen the button went down, while the handlers of that press run: a window
// moved from a mouse-down handler follows the mouse from there.
class MousePressScope {
 public:
  explicit MousePressScope(const QMouseEvent* press);
  ~MousePressScope();
  MousePressScope(const MousePressScope&) = delete;
  MousePressScope& operator=(const MousePressScope&) = delete;

 private:
  const QMouseEvent* outer_;
};

// Non-client sizes of a window with these style words.
struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};
Frame FrameOf(LONG style, LONG exStyle);

// Automation of the running program from a script named by WINPLAT_AUTOMATION (Automation.cpp).
void StartAutomation();
// A further script command: answers 1 when done, 0 to be asked again later, -1 (with why) when
// it failed.
typedef std::function<int(const std::string& target, const std::string& arg, std::string& why)> AutomationCommand;
void RegisterAutomationCommand(const std::string& name, AutomationCommand command);
// "Form" or "Form.Comp" of a script: the form (by class or name) or a component it owns.
TComponent* AutomationTarget(const std::string& path);
// A condition of the script's "shot" on the window's picture, given lazily (taken once, when first
// asked for): 1 when the picture may be saved, 0 to take a new one later, -1 (with why) when it
// never can.
typedef std::function<int(QWidget* window, const std::function<const QImage&()>& picture, std::string& why)>
    ShotCondition;
void RegisterShotCondition(ShotCondition condition);

// The application window: registered in the per-user window table with its title.
void PublishApplicationWindow(const AnsiString& title);
void WithdrawApplicationWindow();

}  // namespace ui

// The window of a control.
class TControlHost {
 public:
  TControlHost(TControl* control, QWidget* widget);
  ~TControlHost();
  TControl* control;
  QPointer<QWidget> widget;
};

// What a canvas draws on: a painter while a control paints, or a bitmap's image.
class TCanvasTarget {
 public:
  QPainter* painter = nullptr;
  QImage* image = nullptr;
  // Runs f with a painter set up with the canvas's font and colours; false when there is
  // nothing to draw on.
  bool Paint(TCanvas* canvas, const std::function<void(QPainter&)>& f);
};

// The pixels of a TBitmap.
class TBitmapImage {
 public:
  QImage image;
  int width = 0, height = 0;  // the size asked for while one of them is still 0
};

namespace ui {
QImage ImageOf(const TGraphic* graphic);
// Draws a graphic; transparent bitmaps leave out their transparent colour.
void DrawGraphic(QPainter& p, const QRect& target, const TGraphic* graphic);
}  // namespace ui
