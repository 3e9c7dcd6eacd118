// The class library's control classes: TControl, TWinControl, TGraphicControl,
// TCustomControl, mouse and key events, cursors and alignment.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "Classes.h"
#include "Graphics.h"
#include "Property.h"
#include "Sysset.h"
#include "windows.h"

#ifndef __fastcall
#define __fastcall
#endif
#ifndef __published
#define __published public
#endif

enum TShiftStateElem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
typedef Set<TShiftStateElem, ssShift, ssDouble> TShiftState;
enum TMouseButton { mbLeft, mbRight, mbMiddle };

typedef std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> TMouseEvent;
typedef std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)> TMouseMoveEvent;
typedef std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)> TKeyEvent;
typedef std::function<void(TObject* Sender, char& Key)> TKeyPressEvent;

typedef short TCursor;
enum : short {
  crDefault = 0,
  crNone = -1,
  crArrow = -2,
  crCross = -3,
  crIBeam = -4,
  crSize = -22,
  crSizeNESW = -6,
  crSizeNS = -7,
  crSizeNWSE = -8,
  crSizeWE = -9,
  crUpArrow = -10,
  crHourGlass = -11,
  crDrag = -12,
  crNoDrop = -13,
  crHSplit = -14,
  crVSplit = -15,
  crMultiDrag = -16,
  crSQLWait = -17,
  crNo = -18,
  crAppStart = -19,
  crHelp = -20,
  crHandPoint = -21,
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

// Modal results
enum : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10,
};
typedef int TModalResult;

class TWinControl;
class TCustomForm;
class TControlHost;  // private: the window behind a control
struct TControlHostDeleter {
  void operator()(TControlHost* host) const;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* GetParent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);
  int GetLeft() const { return FLeft; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  int GetTop() const { return FTop; }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  int GetWidth() const { return FWidth; }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  int GetHeight() const { return FHeight; }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual int GetClientWidth() const { return FWidth; }
  virtual void SetClientWidth(int v) { SetWidth(v); }
  virtual int GetClientHeight() const { return FHeight; }
  virtual void SetClientHeight(int v) { SetHeight(v); }
  TRect GetBoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  void SetBoundsRect(TRect r) { SetBounds(r.left, r.top, r.Width(), r.Height()); }
  TRect GetClientRect() const { return TRect(0, 0, GetClientWidth(), GetClientHeight()); }
  bool GetVisible() const { return FVisible; }
  virtual void SetVisible(bool v);
  bool GetEnabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);
  AnsiString GetCaption() const { return GetText(); }
  void SetCaption(const AnsiString& v) { SetText(v); }
  virtual AnsiString GetText() const { return FText; }
  virtual void SetText(const AnsiString& v);
  AnsiString GetHint() const { return FHint; }
  virtual void SetHint(const AnsiString& v);
  bool GetShowHint() const { return FShowHint; }
  void SetShowHint(bool v);
  bool GetParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool v) { FParentShowHint = v; }
  TFont* GetFont() const { return FFont.get(); }
  void SetFont(TFont* v) { FFont->Assign(v); }
  bool GetParentFont() const { return FParentFont; }
  void SetParentFont(bool v);
  TColor GetColor() const { return FColor; }
  virtual void SetColor(TColor v);
  bool GetParentColor() const { return FParentColor; }
  void SetParentColor(bool v);
  TAlign GetAlign() const { return FAlign; }
  void SetAlign(TAlign v);
  TCursor GetCursor() const { return FCursor; }
  void SetCursor(TCursor v);
  bool GetMouseCapture() const;
  void SetMouseCapture(bool v);
  VCL_PROPERTY(TControl, Parent);
  VCL_PROPERTY(TControl, Left);
  VCL_PROPERTY(TControl, Top);
  VCL_PROPERTY(TControl, Width);
  VCL_PROPERTY(TControl, Height);
  VCL_PROPERTY(TControl, ClientWidth);
  VCL_PROPERTY(TControl, ClientHeight);
  VCL_PROPERTY(TControl, BoundsRect);
  VCL_READONLY(TControl, ClientRect);
  VCL_PROPERTY(TControl, Visible);
  VCL_PROPERTY(TControl, Enabled);
  VCL_PROPERTY(TControl, Caption);
  VCL_PROPERTY(TControl, Text);
  VCL_PROPERTY(TControl, Hint);
  VCL_PROPERTY(TControl, ShowHint);
  VCL_PROPERTY(TControl, ParentShowHint);
  VCL_PROPERTY(TControl, Font);
  VCL_PROPERTY(TControl, ParentFont);
  VCL_PROPERTY(TControl, Color);
  VCL_PROPERTY(TControl, ParentColor);
  VCL_PROPERTY(TControl, Align);
  VCL_PROPERTY(TControl, Cursor);
  VCL_PROPERTY(TControl, MouseCapture);

  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  virtual void Invalidate();
  virtual void Update();  // paints pending changes at once
  void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();
  TPoint ClientToScreen(const TPoint& p) const;
  TPoint ScreenToClient(const TPoint& p) const;
  TCustomForm* ParentForm() const;
  // Whether the control and all its parents are visible.
  bool Showing() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnResize;

  // The layer's side: the window of the control (null for none).
  TControlHost* Host() const { return FHost.get(); }
  void Loaded() override;

  // Entry points from the window (also used by the tests' input simulation).
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void Click();
  virtual void DblClick();
  // Draws the control on a canvas (graphic controls; windowed controls draw themselves).
  virtual void PaintControl(TCanvas* canvas);

 protected:
  void AttachHost(TControlHost* host);
  virtual void FontChanged();
  virtual void BoundsChanged();
  bool FMouseInControl = false;

  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  AnsiString FText;
  AnsiString FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  TColor FColor = clBtnFace;
  bool FParentColor = false;
  TAlign FAlign = alNone;
  TCursor FCursor = crDefault;
  TWinControl* FParent = nullptr;

 private:
  friend class TWinControl;
  std::unique_ptr<TControlHost, TControlHostDeleter> FHost;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int GetControlCount() const { return int(FControls.size()); }
  TControl* Control(int index) const { return FControls.at(size_t(index)); }
  VCL_READONLY(TWinControl, ControlCount);
  // Controls[i]
  class ControlArray {
   public:
    explicit ControlArray(const TWinControl* w) : w_(w) {}
    TControl* operator[](int i) const { return w_->Control(i); }

   private:
    const TWinControl* w_;
  };
  ControlArray Controls{this};

  HWND GetHandle() const;
  bool HandleAllocated() const { return FHandle != nullptr; }
  int GetTabOrder() const { return FTabOrder; }
  void SetTabOrder(int v) { FTabOrder = v; }
  bool GetTabStop() const { return FTabStop; }
  void SetTabStop(bool v);
  bool GetCtl3D() const { return FCtl3D; }
  void SetCtl3D(bool v) { FCtl3D = v; }
  bool GetDoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool v) { FDoubleBuffered = v; }
  VCL_READONLY(TWinControl, Handle);
  VCL_PROPERTY(TWinControl, TabOrder);
  VCL_PROPERTY(TWinControl, TabStop);
  VCL_PROPERTY(TWinControl, Ctl3D);
  VCL_PROPERTY(TWinControl, DoubleBuffered);

  virtual void SetFocus();
  bool Focused() const;
  virtual bool CanFocus() const;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // Lays out the aligned children again.
  void Realign();
  virtual void AlignControls(TRect& rect);
  // Client area origin inside the control (frames and borders of our own).
  virtual TRect GetClientAreaRect() const { return GetClientRect(); }

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  // Key entry points from the window; false when the key was eaten (Key set to 0).
  virtual bool KeyDown(WORD& Key, TShiftState Shift);
  virtual bool KeyUp(WORD& Key, TShiftState Shift);
  virtual bool KeyPress(char& Key);
  void Loaded() override;

 protected:
  void BoundsChanged() override;
  int FTabOrder = -1;
  bool FTabStop = false;
  bool FCtl3D = true;
  bool FDoubleBuffered = false;
  int FAlignLock = 0;

 private:
  friend class TControl;
  std::vector<TControl*> FControls;
  mutable HWND FHandle = nullptr;
};

// A control without a window of its own in the class library: it paints with Canvas.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* GetCanvas() const { return FCanvas.get(); }
  VCL_READONLY(TGraphicControl, Canvas);
  void PaintControl(TCanvas* canvas) override;

 protected:
  virtual void Paint() {}

 private:
  std::unique_ptr<TCanvas> FCanvas;
};

// A windowed control that paints itself with Canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* GetCanvas() const { return FCanvas.get(); }
  VCL_READONLY(TCustomControl, Canvas);
  void PaintControl(TCanvas* canvas) override;

 protected:
  virtual void Paint();

 private:
  std::unique_ptr<TCanvas> FCanvas;
};

// The name of an object's class as the program declares it ("TfrmLogin").
AnsiString ClassNameOf(const TObject* object);
