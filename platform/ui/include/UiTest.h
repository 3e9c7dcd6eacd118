// Test support of platform/ui: answering message boxes and modal dialogs without a display,
// simulating input and reading what a control shows.
#pragma once
#include <functional>
#include <vector>

#include "Controls.h"

class TCustomForm;

namespace uitest {

// A message box that was shown (or answered by the hook).
struct ShownBox {
  AnsiString text;
  AnsiString caption;
  int flags;
};
// The hook answers every message box (MessageBoxA, Application->MessageBox, ShowMessage)
// with a button ID instead of showing it; an empty hook shows the box.
typedef std::function<int(const AnsiString& text, const AnsiString& caption, int flags)> MessageBoxHook;
void SetMessageBoxHook(MessageBoxHook hook);
// Answers every box with the given ID (IDOK, IDYES ...).
void AnswerMessageBoxes(int id);
const std::vector<ShownBox>& ShownBoxes();
void ClearShownBoxes();

// Called once a form is shown modally, from inside its modal loop.
void SetModalHook(std::function<void(TCustomForm* form)> hook);

// Called once a box of the layer is up (a message box shown without the hook above, the folder
// dialog's new-folder box), from inside its modal loop; the box stays up until a button of it
// is pressed (PressButton).
void SetBoxHook(std::function<void(HWND box)> hook);
// What the window system is told of a window of the window table (a form, a box, a dialog).
struct WindowFacts {
  bool exists = false;
  bool visible = false;
  HWND owner = nullptr;      // the window it belongs to in the window system (transient parent)
  bool keptAboveOwner = false;  // of a kind the window system keeps above its owner (X11: a dialog)
  bool modal = false;        // blocks the input of the program's other windows
  bool staysOnTop = false;
  bool minimizeBox = false;  // left to the window system's default counts as present
  bool maximizeBox = false;
  AnsiString caption;
  std::vector<AnsiString> texts;    // the labels' texts in the order they are shown
  std::vector<AnsiString> buttons;  // the push buttons' texts in the order they are shown
  AnsiString defaultButton;         // the button Enter presses ("" when none)
  bool buttonIcons = false;         // a push button shows an icon
};
WindowFacts DescribeWindow(HWND window);
// Clicks the push button of a window whose text is caption ("&" marks left out); false when none.
bool PressButton(HWND window, const AnsiString& caption);
// Puts text into the window's (first) edit box as typed; false when it has none.
bool TypeText(HWND window, const AnsiString& text);
// A key pressed while the window is active: it goes to the control that has the window's
// focus; false when the window does not exist.
bool PressKey(HWND window, WORD virtualKey);

// The folder dialog of SHBrowseForFolderA, as a test drives it.
class FolderDialog {
 public:
  virtual ~FolderDialog() = default;
  virtual unsigned Flags() const = 0;         // BROWSEINFO ulFlags
  virtual AnsiString Title() const = 0;        // the text above the tree
  virtual AnsiString Caption() const = 0;      // the window text
  virtual AnsiString StatusText() const = 0;
  virtual AnsiString RootPath() const = 0;     // "" for the desktop, "::drives" for the drives
  virtual AnsiString SelectedPath() const = 0; // DOS path of the selection ("" for none)
  virtual bool OkEnabled() const = 0;
  virtual bool HasEditBox() const = 0;
  virtual bool HasNewFolderButton() const = 0;
  // Selects a folder by DOS path as a click in the tree would (fires BFFM_SELCHANGED); "" is
  // the desktop and "::drives" the drives, items without a file-system path.
  virtual bool Select(const AnsiString& dosPath) = 0;
  // Types a name into the edit box.
  virtual void TypeName(const AnsiString& name) = 0;
  virtual void NewFolder(const AnsiString& name) = 0;
  virtual void Ok() = 0;
  virtual void Cancel() = 0;
  virtual bool IsOpen() const = 0;
  virtual HWND Handle() const = 0;
};
// Called once the dialog is up (after BFFM_INITIALIZED); the dialog stays open until the hook
// or a later event presses OK or Cancel (the hook may leave it open and act later).
void SetFolderDialogHook(std::function<void(FolderDialog& dialog)> hook);

// Input as the user gives it.
void MouseEnter(TControl* control);
void MouseLeave(TControl* control);
void MouseDown(TControl* control, int x, int y, TMouseButton button = mbLeft);
void MouseUp(TControl* control, int x, int y, TMouseButton button = mbLeft);
void Click(TControl* control);  // down and up in the middle
// The mouse moves to (x, y) of the control with these buttons and keys held (ssLeft ...).
void MouseMove(TControl* control, int x, int y, TShiftState held = TShiftState());
// A key press on a windowed control (through the form's key preview as a user's would).
void KeyPress(TWinControl* control, WORD virtualKey, char ch = 0);
// Asks a form to close as the window's close button does.
void CloseWindow(TCustomForm* form);

// Paints a control (and its children) into a bitmap of its size.
void Grab(TControl* control, TBitmap* bitmap);

// How often this process was asked to come to the front by another one.
int ForegroundRequests();

// Forgets the main form and the terminated state, so that a test can run the loop again.
void ResetApplication();

// Runs pending events for at least ms milliseconds.
void Pump(int ms);
// Runs pending events until done() holds, at most ms milliseconds; answers done().
bool PumpUntil(const std::function<bool()>& done, int ms);

}  // namespace uitest
