// The application object, the screen, forms and data modules.
#pragma once
#include <initializer_list>
#include <memory>
#include <new>

#include "Controls.h"
#include "FormLayout.h"

enum TCloseAction { caNone, caHide, caFree, caMinimize };
typedef std::function<void(TObject* Sender, TCloseAction& Action)> TCloseEvent;
typedef std::function<void(TObject* Sender, bool& CanClose)> TCloseQueryEvent;
struct TWMKey {
  UINT Msg;
  WORD CharCode;
  LPARAM KeyData;
  LRESULT Result;
};
typedef std::function<void(TWMKey& Msg, bool& Handled)> TShortCutEvent;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
typedef TFormBorderStyle TBorderStyle;
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
typedef Set<TBorderIcon, biSystemMenu, biHelp> TBorderIcons;
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  // A form without a layout (the class library's CreateNew).
  TCustomForm(TComponent* AOwner, int Dummy);
  ~TCustomForm() override;

  TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons GetBorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons v);
  TFormStyle GetFormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle v);
  TPosition GetPosition() const { return FPosition; }
  void SetPosition(TPosition v);
  TWindowState GetWindowState() const;
  void SetWindowState(TWindowState v);
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  bool GetKeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool v) { FKeyPreview = v; }
  TWinControl* GetActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* v);
  TWinControl* GetActiveOleControl() const { return FActiveOleControl; }
  void SetActiveOleControl(TWinControl* v) { FActiveOleControl = v; }
  TCanvas* GetCanvas() const { return FCanvas.get(); }
  TBiDiMode GetBiDiMode() const { return bdLeftToRight; }
  void SetBiDiMode(TBiDiMode) {}
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v) { FAutoSize = v; }
  VCL_PROPERTY(TCustomForm, BorderStyle);
  VCL_PROPERTY(TCustomForm, BorderIcons);
  VCL_PROPERTY(TCustomForm, FormStyle);
  VCL_PROPERTY(TCustomForm, Position);
  VCL_PROPERTY(TCustomForm, WindowState);
  VCL_PROPERTY(TCustomForm, ModalResult);
  VCL_PROPERTY(TCustomForm, KeyPreview);
  VCL_PROPERTY(TCustomForm, ActiveControl);
  VCL_PROPERTY(TCustomForm, ActiveOleControl);
  VCL_READONLY(TCustomForm, Canvas);
  VCL_PROPERTY(TCustomForm, BiDiMode);
  VCL_PROPERTY(TCustomForm, AutoSize);

  int GetClientWidth() const override;
  void SetClientWidth(int v) override;
  int GetClientHeight() const override;
  void SetClientHeight(int v) override;
  void SetParent(TWinControl* parent) override;
  // A window's size stays between its frame and the largest tracking size (the virtual screen
  // and a frame), as the window system keeps it, whatever a caller asks for.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool v) override;
  void SetText(const AnsiString& v) override;
  void SetColor(TColor v) override;

  void Show();
  virtual int ShowModal();
  void Close();
  void Hide() { SetVisible(false); }
  void Release();  // frees the form once the current message is handled
  void BringToFront();
  bool CloseQuery();
  bool IsModal() const { return FModal; }
  // Runs OnCreate once (the layer does it after construction: at CreateForm, or when the form
  // is first shown or parented).
  void AfterConstruction();
  // Non-client frame sizes from the window's style words.
  TRect GetClientAreaRect() const override;
  // The layer's notice that the window was resized, moved or asked to close.
  void WindowResized(int clientWidth, int clientHeight);
  void WindowMoved(int clientLeft, int clientTop);
  bool WindowCloseRequested();
  bool UseRightToLeftReading() const { return false; }
  bool UseRightToLeftAlignment() const { return false; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TShortCutEvent OnShortCut;

  // Paints the form's background and calls OnPaint.
  void PaintControl(TCanvas* canvas) override;

 protected:
  // Reads the layout resource named after this form's class.
  void ReadLayout(std::initializer_list<TLayoutBinding> bindings) { ReadComponentLayout(this, bindings); }
  void BoundsChanged() override;
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  void UpdateStyleWords();
  void PlaceOnScreen();

  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TFormStyle FFormStyle = fsNormal;
  TPosition FPosition = poDesigned;
  TModalResult FModalResult = mrNone;
  bool FKeyPreview = false;
  bool FAutoSize = false;
  bool FModal = false;
  bool FCreated = false;
  bool FPlaced = false;
  TWinControl* FActiveControl = nullptr;
  TWinControl* FActiveOleControl = nullptr;
  std::unique_ptr<TCanvas> FCanvas;

 private:
  void InitForm();
  void Notification(TComponent* AComponent, TOperation Operation) override;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
  TForm(TComponent* AOwner, int Dummy) : TCustomForm(AOwner, Dummy) {}
};

class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* AOwner);
  TDataModule(TComponent* AOwner, int Dummy);
  ~TDataModule() override;
  void AfterConstruction();
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;

 protected:
  void ReadLayout(std::initializer_list<TLayoutBinding> bindings) { ReadComponentLayout(this, bindings); }

 private:
  bool FCreated = false;
};

typedef std::function<void(TObject* Sender, Exception* E)> TExceptionEvent;

class TApplicationPrivate;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  AnsiString GetTitle() const { return FTitle; }
  void SetTitle(const AnsiString& v);
  AnsiString GetExeName() const;
  HWND GetHandle() const;
  TCustomForm* GetMainForm() const { return FMainForm; }
  bool GetTerminated() const { return FTerminated; }
  int GetHintPause() const { return FHintPause; }
  void SetHintPause(int v);
  int GetHintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(int v);
  bool GetShowHint() const { return FShowHint; }
  void SetShowHint(bool v) { FShowHint = v; }
  bool GetShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool v) { FShowMainForm = v; }
  AnsiString GetHint() const { return FHint; }
  void SetHint(const AnsiString& v) { FHint = v; }
  TBiDiMode GetBiDiMode() const { return bdLeftToRight; }
  void SetBiDiMode(TBiDiMode) {}
  VCL_PROPERTY(TApplication, Title);
  VCL_READONLY(TApplication, ExeName);
  VCL_READONLY(TApplication, Handle);
  VCL_READONLY(TApplication, MainForm);
  VCL_READONLY(TApplication, Terminated);
  VCL_PROPERTY(TApplication, HintPause);
  VCL_PROPERTY(TApplication, HintHidePause);
  VCL_PROPERTY(TApplication, ShowHint);
  VCL_PROPERTY(TApplication, ShowMainForm);
  VCL_PROPERTY(TApplication, Hint);
  VCL_PROPERTY(TApplication, BiDiMode);

  void Initialize();
  // Creates a form or data module owned by the application. The reference is set before the
  // constructor runs (the constructor may reach the object through it); the first TForm
  // created this way becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    void* memory = ::operator new(sizeof(T));
    Reference = static_cast<T*>(memory);
    T* instance = nullptr;
    try {
      instance = new (memory) T(this);
    } catch (...) {
      Reference = nullptr;
      ::operator delete(memory);
      throw;
    }
    Created(instance);
  }
  // Runs the message loop until the main form closes or Terminate; returns at once without a
  // main form.
  void Run();
  void Terminate();
  void ProcessMessages();
  void HandleMessage();
  int MessageBox(const char* Text, const char* Caption, int Flags = MB_OK);
  void ShowException(Exception* E);
  void HandleException(TObject* Sender);
  void Minimize();
  void Restore();
  void BringToFront();
  bool UseRightToLeftReading() const { return false; }
  void CancelHint() {}

  TExceptionEvent OnException;
  TNotifyEvent OnIdle;
  TNotifyEvent OnActivate;

  // The layer's hooks.
  void ResetRunState() {  // tests: forget the main form and the terminated state
    FMainForm = nullptr;
    FTerminated = false;
  }
  void MainFormClosed();
  void FormDestroyed(TCustomForm* form);

 private:
  void Created(TComponent* instance);
  AnsiString FTitle;
  AnsiString FHint;
  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  bool FRunning = false;
  bool FShowHint = true;
  bool FShowMainForm = true;
  int FHintPause = 500;
  int FHintHidePause = 2500;
  mutable HWND FHandle = nullptr;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  TCursor GetCursor() const { return FCursor; }
  void SetCursor(TCursor v);
  int GetWidth() const;
  int GetHeight() const;
  int GetPixelsPerInch() const { return 96; }
  TCustomForm* GetActiveForm() const;
  int GetFormCount() const;
  TCustomForm* Form(int index) const;
  VCL_PROPERTY(TScreen, Cursor);
  VCL_READONLY(TScreen, Width);
  VCL_READONLY(TScreen, Height);
  VCL_READONLY(TScreen, PixelsPerInch);
  VCL_READONLY(TScreen, ActiveForm);
  VCL_READONLY(TScreen, FormCount);

 private:
  TCursor FCursor = crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

// The program's instance handle (null: the running module).
extern HINSTANCE HInstance;
