#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <climits>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"

namespace {

// Set on an owned window that went with its minimised owner.
constexpr char kHiddenWithOwner[] = "hiddenWithOwner";

// The windows owned by owner go when it is minimised and come back, without taking the
// activation, when it is restored.
void FollowOwner(QWidget* owner) {
  bool minimized = owner->windowState() & Qt::WindowMinimized;
  std::vector<TCustomForm*> forms = ui::State().forms;
  for (TCustomForm* f : forms) {
    QWidget* w = f->Host() ? f->Host()->widget.data() : nullptr;
    if (!w || !w->isWindow() || ui::OwnerWindowOf(f) != owner) continue;
    if (minimized) {
      if (!w->isVisible()) continue;
      w->setProperty(kHiddenWithOwner, true);
      w->hide();
    } else if (w->property(kHiddenWithOwner).toBool()) {
      w->setProperty(kHiddenWithOwner, QVariant());
      if (!f->GetVisible()) continue;
      bool quiet = w->testAttribute(Qt::WA_ShowWithoutActivating);
      w->setAttribute(Qt::WA_ShowWithoutActivating);
      ui::ApplyOwner(f);
      w->show();
      w->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
    }
  }
}

// The window of a form: its client area.
class FormWidget : public QWidget {
 public:
  explicit FormWidget(TCustomForm* form) : form_(form) { setAttribute(Qt::WA_NoSystemBackground); }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (!(form_->ComponentState & csDestroying)) ui::Safely([&] { form_->WindowCloseRequested(); });
  }
  void resizeEvent(QResizeEvent*) override {
    if (isWindow() && !(form_->ComponentState & csDestroying)) form_->WindowResized(width(), height());
  }
  void moveEvent(QMoveEvent*) override {
    if (isWindow() && !(form_->ComponentState & csDestroying)) form_->WindowMoved(geometry().x(), geometry().y());
  }
  void paintEvent(QPaintEvent*) override {
    if (form_->ComponentState & csDestroying) return;
    QPainter p(this);
    TCanvas canvas;
    canvas.Target()->painter = &p;
    ui::Safely([&] { form_->PaintControl(&canvas); });
    canvas.Target()->painter = nullptr;
  }
  bool event(QEvent* e) override {
    if (!(form_->ComponentState & csDestroying)) {
      if (e->type() == QEvent::WindowStateChange && isWindow())
        FollowOwner(this);
      else if (e->type() == QEvent::WindowActivate && form_->OnActivate)
        ui::Safely([&] { form_->OnActivate(form_); });
      else if (e->type() == QEvent::WindowDeactivate && form_->OnDeactivate)
        ui::Safely([&] { form_->OnDeactivate(form_); });
    }
    return QWidget::event(e);
  }

 private:
  TCustomForm* form_;
};

}  // namespace

// ---------------------------------------------------------------- owned windows

namespace ui {

QWidget* OwnerWindowOf(const TCustomForm* form) {
  if (form->GetParent()) return nullptr;
  for (TComponent* c = form->Owner(); c; c = c->Owner()) {
    auto* owner = dynamic_cast<TCustomForm*>(c);
    if (!owner) continue;
    QWidget* w = owner->Host() ? owner->Host()->widget.data() : nullptr;
    QWidget* own = form->Host() ? form->Host()->widget.data() : nullptr;
    if (!w || w->window() == own) return nullptr;
    return w->window();
  }
  return nullptr;
}

void ApplyOwner(TCustomForm* form) {
  QWidget* w = form->Host() ? form->Host()->widget.data() : nullptr;
  if (!w || !w->isWindow() || form->IsModal()) return;
  SetBoxOwner(w, OwnerWindowOf(form));
}

}  // namespace ui

// ---------------------------------------------------------------- forms

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) { InitForm(); }

TCustomForm::TCustomForm(TComponent* AOwner, int) : TWinControl(AOwner) { InitForm(); }

void TCustomForm::InitForm() {
  ui::EnsureQt();
  FCanvas = std::make_unique<TCanvas>();
  FVisible = false;
  FParentFont = false;
  FWidth = 320;
  FHeight = 240;
  FFont->OnChange = nullptr;
  FFont->SetName("MS Sans Serif");
  FFont->OnChange = [this](TObject*) { FontChanged(); };
  auto* w = new FormWidget(this);
  AttachHost(new TControlHost(this, w));
  FCanvas->GetFont()->Assign(FFont.get());
  GetHandle();
  UpdateStyleWords();
  ui::State().forms.push_back(this);
}

TCustomForm::~TCustomForm() {
  ComponentState |= csDestroying;
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
    }
  }
  auto& forms = ui::State().forms;
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  Application->FormDestroyed(this);
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove) {
    if (AComponent == FActiveControl) FActiveControl = nullptr;
    if (AComponent == FActiveOleControl) FActiveOleControl = nullptr;
  }
}

void TCustomForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

void TCustomForm::UpdateStyleWords() {
  LONG style = LONG(WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  LONG ex = 0;
  style |= FParent ? LONG(WS_CHILD) : 0;
  switch (FBorderStyle) {
    case bsNone:
      if (!FParent) style |= LONG(WS_POPUP);
      break;
    case bsSingle: style |= WS_CAPTION; break;
    case bsSizeable: style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      style |= LONG(WS_POPUP) | WS_CAPTION;
      ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case bsToolWindow:
      style |= WS_CAPTION;
      ex |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      style |= WS_CAPTION | WS_THICKFRAME;
      ex |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FBorderStyle != bsNone) {
    if (FBorderIcons.Contains(biSystemMenu)) style |= WS_SYSMENU;
    if (FBorderStyle == bsSingle || FBorderStyle == bsSizeable) {
      if (FBorderIcons.Contains(biMinimize)) style |= WS_MINIMIZEBOX;
      if (FBorderIcons.Contains(biMaximize)) style |= WS_MAXIMIZEBOX;
    }
  }
  if (FFormStyle == fsStayOnTop) ex |= WS_EX_TOPMOST;
  if (ui::WindowRecord* r = ui::FindWindowRecord(GetHandle())) {
    r->style = style;
    r->exStyle = ex;
  }
  ui::ApplyFrame(GetHandle());
}

TRect TCustomForm::GetClientAreaRect() const { return TRect(0, 0, GetClientWidth(), GetClientHeight()); }

static ui::Frame FrameOfForm(const TCustomForm* f) {
  ui::WindowRecord* r = ui::FindWindowRecord(f->GetHandle());
  return r ? ui::FrameOf(r->style, r->exStyle) : ui::Frame{};
}

int TCustomForm::GetClientWidth() const {
  ui::Frame fr = FrameOfForm(this);
  return std::max(0, FWidth - fr.left - fr.right);
}

namespace {

// Window coordinates of the window system are 16-bit.
constexpr long long kMinCoordinate = -32768, kMaxCoordinate = 32767;

int Clamp(long long v, long long low, long long high) { return int(std::clamp(v, low, std::max(low, high))); }

}  // namespace

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (!FParent) {
    ui::Frame fr = FrameOfForm(this);
    AWidth = Clamp(AWidth, fr.left + fr.right, GetSystemMetrics(SM_CXMAXTRACK));
    AHeight = Clamp(AHeight, fr.top + fr.bottom, GetSystemMetrics(SM_CYMAXTRACK));
    ALeft = Clamp(ALeft, kMinCoordinate, kMaxCoordinate);
    ATop = Clamp(ATop, kMinCoordinate, kMaxCoordinate);
  }
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TCustomForm::SetClientWidth(int v) {
  ui::Frame fr = FrameOfForm(this);
  SetWidth(Clamp(static_cast<long long>(v) + fr.left + fr.right, INT_MIN, INT_MAX));
}

int TCustomForm::GetClientHeight() const {
  ui::Frame fr = FrameOfForm(this);
  return std::max(0, FHeight - fr.top - fr.bottom);
}

void TCustomForm::SetClientHeight(int v) {
  ui::Frame fr = FrameOfForm(this);
  SetHeight(Clamp(static_cast<long long>(v) + fr.top + fr.bottom, INT_MIN, INT_MAX));
}

void TCustomForm::WindowResized(int clientWidth, int clientHeight) {
  if (clientWidth == GetClientWidth() && clientHeight == GetClientHeight()) return;
  ui::Frame fr = FrameOfForm(this);
  FWidth = clientWidth + fr.left + fr.right;
  FHeight = clientHeight + fr.top + fr.bottom;
  Realign();
  if (OnResize) ui::Safely([&] { OnResize(this); });
}

void TCustomForm::WindowMoved(int clientLeft, int clientTop) {
  ui::Frame fr = FrameOfForm(this);
  FLeft = clientLeft - fr.left;
  FTop = clientTop - fr.top;
}

bool TCustomForm::WindowCloseRequested() {
  Close();
  return !FVisible;
}

void TCustomForm::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
  UpdateStyleWords();
  AfterConstruction();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == FBorderStyle) return;
  // The client area keeps its size, as when the window is made again.
  int cw = GetClientWidth(), ch = GetClientHeight();
  FBorderStyle = v;
  UpdateStyleWords();
  SetBounds(FLeft, FTop, cw + FrameOfForm(this).left + FrameOfForm(this).right,
            ch + FrameOfForm(this).top + FrameOfForm(this).bottom);
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
  FBorderIcons = v;
  UpdateStyleWords();
}

void TCustomForm::SetFormStyle(TFormStyle v) {
  if (v == FFormStyle) return;
  FFormStyle = v;
  UpdateStyleWords();
}

void TCustomForm::SetPosition(TPosition v) {
  FPosition = v;
  if (FVisible) {
    FPlaced = false;
    PlaceOnScreen();
  }
}

TWindowState TCustomForm::GetWindowState() const {
  QWidget* w = Host()->widget;
  if (!w) return wsNormal;
  if (w->windowState() & Qt::WindowMinimized) return wsMinimized;
  if (w->windowState() & Qt::WindowMaximized) return wsMaximized;
  return wsNormal;
}

void TCustomForm::SetWindowState(TWindowState v) {
  QWidget* w = Host()->widget;
  if (!w) return;
  Qt::WindowStates s = w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (v == wsMinimized) s |= Qt::WindowMinimized;
  if (v == wsMaximized) s |= Qt::WindowMaximized;
  w->setWindowState(s);
}

void TCustomForm::SetActiveControl(TWinControl* v) {
  if (v == FActiveControl) return;
  FActiveControl = v;
  if (v) {
    v->FreeNotification(this);
    if (FVisible && v->Host() && v->Host()->widget && !v->Focused()) v->Host()->widget->setFocus();
  }
}

void TCustomForm::SetText(const AnsiString& v) {
  FText = v;
  if (Host()->widget) Host()->widget->setWindowTitle(ui::Q(v));
}

void TCustomForm::SetColor(TColor v) {
  TWinControl::SetColor(v);
  for (int i = 0; i < GetControlCount(); ++i)
    if (Control(i)->GetParentColor()) Control(i)->SetParentColor(true);
}

void TCustomForm::PaintControl(TCanvas* canvas) {
  canvas->GetBrush()->SetColor(FColor);
  canvas->GetBrush()->SetStyle(bsSolid);
  canvas->FillRect(GetClientRect());
  if (OnPaint) {
    TCanvasTarget* t = FCanvas->Target();
    t->painter = canvas->Target()->painter;
    OnPaint(this);
    t->painter = nullptr;
  }
}

void TCustomForm::PlaceOnScreen() {
  if (FPlaced || FParent) return;
  FPlaced = true;
  int sw = Screen->GetWidth(), sh = Screen->GetHeight();
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TCustomForm* m = Application->GetMainForm();
      if (FPosition == poOwnerFormCenter) m = dynamic_cast<TCustomForm*>(Owner());
      if (m && m != this && m->GetVisible())
        SetBounds(m->GetLeft() + (m->GetWidth() - FWidth) / 2, m->GetTop() + (m->GetHeight() - FHeight) / 2, FWidth,
                  FHeight);
      else
        SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
      break;
    }
    default:
      break;
  }
}

void TCustomForm::SetVisible(bool v) {
  if (v) AfterConstruction();
  if (v == FVisible) return;
  if (FParent) {
    TWinControl::SetVisible(v);
    if (v) DoShow(); else DoHide();
    return;
  }
  FVisible = v;
  QWidget* w = Host()->widget;
  if (v) {
    PlaceOnScreen();
    BoundsChanged();
    Realign();
    DoShow();
    if (FVisible) {
      w->setProperty(kHiddenWithOwner, QVariant());
      ui::ApplyOwner(this);
      w->show();
      if (FActiveControl && FActiveControl->Host() && FActiveControl->Host()->widget)
        FActiveControl->Host()->widget->setFocus();
    }
  } else {
    w->setProperty(kHiddenWithOwner, QVariant());
    w->hide();
    DoHide();
  }
}

void TCustomForm::BoundsChanged() {
  QWidget* w = Host() ? Host()->widget.data() : nullptr;
  if (w && w->isWindow()) {
    ui::Frame fr = FrameOfForm(this);
    w->setGeometry(FLeft + fr.left, FTop + fr.top, std::max(1, FWidth - fr.left - fr.right),
                   std::max(1, FHeight - fr.top - fr.bottom));
    ui::ApplyFrame(GetHandle());
  } else {
    TControl::BoundsChanged();
  }
  Realign();
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Show() {
  SetVisible(true);
  BringToFront();
}

void TCustomForm::BringToFront() {
  QWidget* w = Host()->widget;
  if (w && w->isWindow() && w->isVisible()) {
    if (w->windowState() & Qt::WindowMinimized) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->raise();
    w->activateWindow();
  } else {
    TControl::BringToFront();
  }
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application->GetMainForm() == this) {
    Application->MainFormClosed();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TCustomForm::Release() {
  if (Host()->widget) Host()->widget->hide();
  QPointer<QWidget> alive = Host()->widget;
  TCustomForm* self = this;
  QTimer::singleShot(0, ui::EnsureQt(), [alive, self] {
    if (alive) delete self;
  });
}

int TCustomForm::ShowModal() {
  if (FVisible || !FEnabled || FModal) throw EInvalidOperation("Cannot make a visible window modal");
  AfterConstruction();
  FModal = true;
  FModalResult = mrNone;
  QWidget* w = Host()->widget;
  w->setWindowModality(Qt::ApplicationModal);
  // Like every box, above every other window of the program.
  if (ui::WindowRecord* r = ui::FindWindowRecord(GetHandle())) r->boxOnTop = ui::ProgramStaysOnTop(w);
  ui::ApplyFrame(GetHandle());
  ui::SetBoxOwner(w, ui::BoxOwner(w));
  struct Reset {
    TCustomForm* f;
    ~Reset() {
      f->FModal = false;
      if (ui::WindowRecord* r = ui::FindWindowRecord(f->GetHandle())) r->boxOnTop = false;
      if (f->Host() && f->Host()->widget) {
        f->Host()->widget->setWindowModality(Qt::NonModal);
        ui::ApplyOwner(f);
      }
      ui::ApplyFrame(f->GetHandle());
    }
  } reset{this};
  Show();
  if (auto hook = ui::State().modalHook) {
    QPointer<QWidget> alive = w;
    TCustomForm* self = this;
    QTimer::singleShot(0, ui::EnsureQt(), [alive, self, hook] {
      if (alive && self->FModal) ui::Safely([&] { hook(self); });
    });
  }
  for (;;) {
    // Terminate only posts the quit: a result set along with it still closes the form with
    // that result; without one the quit cancels the form.
    if (Application->GetTerminated() && FModalResult == mrNone) FModalResult = mrCancel;
    if (FModalResult != mrNone) {
      TCloseAction action = caNone;
      if (CloseQuery()) {
        action = caHide;
        DoClose(action);
      }
      if (action == caNone) {
        FModalResult = mrNone;
      } else {
        int result = FModalResult;
        Hide();
        if (action == caFree) Release();
        return result;
      }
    }
    Application->HandleMessage();
  }
}

// ---------------------------------------------------------------- data modules

TDataModule::TDataModule(TComponent* AOwner) : TComponent(AOwner) {}
TDataModule::TDataModule(TComponent* AOwner, int) : TComponent(AOwner) {}

TDataModule::~TDataModule() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
    }
  }
}

void TDataModule::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

// ---------------------------------------------------------------- application

namespace {
TApplication gApplication(nullptr);
TScreen gScreen(nullptr);
}  // namespace

TApplication* Application = &gApplication;
TScreen* Screen = &gScreen;
HINSTANCE HInstance = nullptr;

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  ComponentState |= csDestroying;
  DestroyComponents();
  ui::WithdrawApplicationWindow();
}

void TApplication::Initialize() { ui::EnsureQt(); }

void TApplication::SetTitle(const AnsiString& v) {
  FTitle = v;
  ui::PublishApplicationWindow(v);
}

AnsiString TApplication::GetExeName() const {
  char buf[MAX_PATH * 4] = {0};
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return AnsiString(buf, int(n < sizeof buf ? n : 0));
}

HWND TApplication::GetHandle() const {
  if (!FHandle) {
    ui::WindowRecord r;
    r.className = "TApplication";
    r.style = LONG(WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX);
    auto* self = const_cast<TApplication*>(this);
    r.getText = [self] { return self->FTitle; };
    r.setText = [self](const AnsiString& t) { self->SetTitle(t); };
    FHandle = ui::NewWindow(r);
  }
  return FHandle;
}

void TApplication::SetHintPause(int v) {
  FHintPause = v;
  // Qt has no separate delay before the first tip; the hide pause it has.
}

void TApplication::SetHintHidePause(int v) { FHintHidePause = v; }

void TApplication::Created(TComponent* instance) {
  if (auto* f = dynamic_cast<TCustomForm*>(instance)) {
    if (!FMainForm) FMainForm = f;
    f->AfterConstruction();
  } else if (auto* d = dynamic_cast<TDataModule*>(instance)) {
    d->AfterConstruction();
  }
}

void TApplication::FormDestroyed(TCustomForm* form) {
  if (form == FMainForm) {
    FMainForm = nullptr;
    if (FRunning) Terminate();
  }
}

void TApplication::MainFormClosed() { Terminate(); }

void TApplication::Run() {
  if (!FMainForm) return;
  FRunning = true;
  struct Done {
    bool& r;
    ~Done() { r = false; }
  } done{FRunning};
  if (FShowMainForm && FMainForm) FMainForm->Show();
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  if (auto* d = QAbstractEventDispatcher::instance()) d->wakeUp();
}

void TApplication::ProcessMessages() {
  ui::EnsureQt();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::HandleMessage() {
  ui::EnsureQt();
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  if (OnIdle) OnIdle(this);
}

int TApplication::MessageBox(const char* Text, const char* Caption, int Flags) {
  return MessageBoxA(GetHandle(), Text, Caption ? Caption : FTitle.c_str(), UINT(Flags));
}

void TApplication::ShowException(Exception* E) {
  AnsiString msg = E ? E->Message : AnsiString();
  // The class library ends the text with a full stop.
  if (!msg.IsEmpty() && (unsigned char)msg[msg.Length()] > '.') msg += ".";
  MessageBox(msg.c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject*) {
  try {
    throw;
  } catch (EAbort&) {
  } catch (Exception& e) {
    if (OnException)
      OnException(this, &e);
    else
      ShowException(&e);
  } catch (std::exception& e) {
    Exception x{AnsiString(e.what())};
    ShowException(&x);
  } catch (...) {
    Exception x{AnsiString("")};
    ShowException(&x);
  }
}

void TApplication::Minimize() {
  if (FMainForm) FMainForm->SetWindowState(wsMinimized);
}

void TApplication::Restore() {
  if (FMainForm && FMainForm->GetWindowState() == wsMinimized) FMainForm->SetWindowState(wsNormal);
}

void TApplication::BringToFront() {
  if (FMainForm) FMainForm->BringToFront();
}

// ---------------------------------------------------------------- screen

void TScreen::SetCursor(TCursor v) {
  if (v == FCursor) return;
  ui::EnsureQt();
  if (FCursor != crDefault) QGuiApplication::restoreOverrideCursor();
  FCursor = v;
  if (v != crDefault) QGuiApplication::setOverrideCursor(QCursor(ui::ToQtCursor(v)));
}

int TScreen::GetWidth() const {
  ui::EnsureQt();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 1024;
}

int TScreen::GetHeight() const {
  ui::EnsureQt();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 768;
}

TCustomForm* TScreen::GetActiveForm() const {
  QWidget* w = QApplication::activeWindow();
  for (TCustomForm* f : ui::State().forms)
    if (f->Host() && f->Host()->widget == w) return f;
  return nullptr;
}

int TScreen::GetFormCount() const { return int(ui::State().forms.size()); }
TCustomForm* TScreen::Form(int index) const { return ui::State().forms.at(size_t(index)); }

// ---------------------------------------------------------------- message boxes

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  AnsiString text(lpText ? lpText : ""), caption(lpCaption ? lpCaption : "Error");
  ui::State().shownBoxes.push_back({text, caption, int(uType)});
  if (ui::State().messageBoxHook) return ui::State().messageBoxHook(text, caption, int(uType));
  ui::EnsureQt();
  QMessageBox box;
  bool onTop = ui::ProgramStaysOnTop(&box) || (uType & (MB_TOPMOST | MB_SYSTEMMODAL));
  box.setWindowFlags(ui::DialogFrame(onTop));
  box.setWindowTitle(ui::Q(caption));
  box.setText(ui::QShown(text));
  switch (uType & MB_ICONMASK) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  // Windows' order of the buttons, which one role for all keeps.
  std::vector<int> ids;
  switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL: ids = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: ids = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: ids = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: ids = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: ids = {IDRETRY, IDCANCEL}; break;
    default: ids = {IDOK}; break;
  }
  std::vector<QPushButton*> buttons;
  for (int id : ids) buttons.push_back(box.addButton(ui::ButtonText(id), QMessageBox::ActionRole));
  size_t def = (uType & MB_DEFMASK) >> 8;
  box.setDefaultButton(buttons[def < buttons.size() ? def : 0]);
  // Esc (and the window's close button) answers Cancel, else No.
  for (int escape : {IDCANCEL, IDNO}) {
    auto it = std::find(ids.begin(), ids.end(), escape);
    if (it != ids.end()) {
      box.setEscapeButton(buttons[size_t(it - ids.begin())]);
      break;
    }
  }
  ui::SetBoxOwner(&box, ui::BoxOwner(&box));
  ui::OpenBox open(&box, onTop ? WS_EX_TOPMOST : 0);
  box.exec();
  for (size_t i = 0; i < ids.size(); ++i)
    if (box.clickedButton() == buttons[i]) return ids[i];
  return ids.front();
}

void ShowMessage(const AnsiString& Msg) {
  MessageBoxA(Application->GetHandle(), Msg.c_str(), Application->GetTitle().c_str(), MB_OK);
}
