#include <QPaintEvent>
#include <QToolTip>
#include <algorithm>
#include <cxxabi.h>

#include "Forms.h"
#include "UiPrivate.h"

// ---------------------------------------------------------------- hosts

TControlHost::TControlHost(TControl* c, QWidget* w) : control(c), widget(w) {
  ui::InstallEventGlue(w, c);
}

TControlHost::~TControlHost() {
  if (widget) {
    widget->setProperty("vclControl", QVariant());
    // Children of other controls live in this widget: give them back before it goes.
    for (QObject* child : widget->children())
      if (child->isWidgetType() && child->property("vclControl").isValid())
        static_cast<QWidget*>(child)->setParent(nullptr);
    delete widget.data();
  }
}

void TControlHostDeleter::operator()(TControlHost* host) const { delete host; }

namespace {

// The window of a control that paints itself with its canvas.
class PaintWidget : public QWidget {
 public:
  explicit PaintWidget(TControl* c) : control_(c) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
  }
  void paintEvent(QPaintEvent*) override {
    if (control_->ComponentState & csDestroying) return;
    QPainter p(this);
    TCanvas canvas;
    canvas.Target()->painter = &p;
    control_->PaintControl(&canvas);
    canvas.Target()->painter = nullptr;
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::ToolTip && !control_->GetHint().IsEmpty()) {
      QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), ui::QShown(control_->GetHint()), this);
      return true;
    }
    return QWidget::event(e);
  }

 private:
  TControl* control_;
};

}  // namespace

AnsiString ClassNameOf(const TObject* object) {
  if (!object) return "";
  const char* mangled = typeid(*object).name();
  int status = 0;
  char* d = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  AnsiString name = status == 0 && d ? AnsiString(d) : AnsiString(mangled);
  std::free(d);
  int colon = name.LastDelimiter(":");
  return colon ? name.SubString(colon + 1, name.Length()) : name;
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
  FFont->OnChange = [this](TObject*) {
    FParentFont = false;
    FontChanged();
  };
}

TControl::~TControl() {
  ComponentState |= csDestroying;
  if (FParent) FParent->RemoveControl(this);
  FHost.reset();
}

void TControl::AttachHost(TControlHost* host) {
  FHost.reset(host);
  if (QWidget* w = host->widget) {
    w->setVisible(false);
    w->setCursor(ui::ToQtCursor(FCursor));
  }
}

void TControl::Loaded() { TComponent::Loaded(); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  if (parent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (parent) parent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  bool resized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  BoundsChanged();
  if (FParent && FAlign != alNone && !(ComponentState & csLoading)) FParent->Realign();
  if (resized && OnResize && !(ComponentState & csLoading)) OnResize(this);
}

void TControl::BoundsChanged() {
  if (!FHost || !FHost->widget) return;
  QWidget* w = FHost->widget;
  if (w->isWindow()) return;
  w->setGeometry(FLeft, FTop, std::max(0, FWidth), std::max(0, FHeight));
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (!c->FVisible) return false;
  return true;
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (FHost && FHost->widget && !FHost->widget->isWindow()) FHost->widget->setVisible(v && FParent);
  if (FParent && FAlign != alNone) FParent->Realign();
}

void TControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  if (FHost && FHost->widget) FHost->widget->setEnabled(v);
  Invalidate();
}

void TControl::SetText(const AnsiString& v) {
  if (v == FText) return;
  FText = v;
  Invalidate();
}

void TControl::SetHint(const AnsiString& v) {
  FHint = v;
  if (FHost && FHost->widget && !dynamic_cast<PaintWidget*>(FHost->widget.data()))
    FHost->widget->setToolTip(ui::QShown(v));
}

void TControl::SetShowHint(bool v) {
  FShowHint = v;
  FParentShowHint = false;
}

void TControl::SetParentFont(bool v) {
  FParentFont = v;
  if (v && FParent) {
    FFont->OnChange = nullptr;
    FFont->Assign(FParent->GetFont());
    FFont->OnChange = [this](TObject*) {
      FParentFont = false;
      FontChanged();
    };
    FontChanged();
  }
}

void TControl::SetColor(TColor v) {
  if (v == FColor) return;
  FColor = v;
  FParentColor = false;
  Invalidate();
}

void TControl::SetParentColor(bool v) {
  FParentColor = v;
  if (v && FParent) {
    FColor = FParent->GetColor();
    Invalidate();
  }
}

void TControl::SetAlign(TAlign v) {
  if (v == FAlign) return;
  FAlign = v;
  if (FParent) FParent->Realign();
}

void TControl::SetCursor(TCursor v) {
  FCursor = v;
  if (FHost && FHost->widget) FHost->widget->setCursor(ui::ToQtCursor(v));
}

bool TControl::GetMouseCapture() const { return FHost && FHost->widget && QWidget::mouseGrabber() == FHost->widget; }

void TControl::SetMouseCapture(bool v) {
  if (!FHost || !FHost->widget) return;
  if (v)
    FHost->widget->grabMouse();
  else if (GetMouseCapture())
    FHost->widget->releaseMouse();
}

void TControl::FontChanged() {
  if (FHost && FHost->widget) FHost->widget->setFont(ui::ToQFont(FFont.get()));
  // Children that follow the parent's font follow it again.
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (int i = 0; i < w->GetControlCount(); ++i)
      if (w->Control(i)->GetParentFont()) w->Control(i)->SetParentFont(true);
  Invalidate();
}

void TControl::Invalidate() {
  if (FHost && FHost->widget) FHost->widget->update();
}

void TControl::Update() {
  if (FHost && FHost->widget && FHost->widget->isVisible()) FHost->widget->repaint();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (FHost && FHost->widget) FHost->widget->raise();
  if (FParent) {
    auto& list = FParent->FControls;
    auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end()) {
      list.erase(it);
      list.push_back(this);
    }
  }
}

void TControl::SendToBack() {
  if (FHost && FHost->widget) FHost->widget->lower();
}

TPoint TControl::ClientToScreen(const TPoint& p) const {
  if (FHost && FHost->widget) {
    QPoint g = FHost->widget->mapToGlobal(QPoint(p.x, p.y));
    return TPoint(g.x(), g.y());
  }
  return p;
}

TPoint TControl::ScreenToClient(const TPoint& p) const {
  if (FHost && FHost->widget) {
    QPoint l = FHost->widget->mapFromGlobal(QPoint(p.x, p.y));
    return TPoint(l.x(), l.y());
  }
  return p;
}

TCustomForm* TControl::ParentForm() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (auto* f = dynamic_cast<const TCustomForm*>(c)) return const_cast<TCustomForm*>(f);
  return nullptr;
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
  // Graphic controls are clicked by a left release inside them.
  if (Button == mbLeft && FEnabled && dynamic_cast<TGraphicControl*>(this) && X >= 0 && Y >= 0 && X < FWidth &&
      Y < FHeight)
    Click();
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseEnter() { FMouseInControl = true; }
void TControl::MouseLeave() { FMouseInControl = false; }

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::PaintControl(TCanvas*) {}

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  ComponentState |= csDestroying;
  // The class library frees a windowed control's children with it.
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    FControls.pop_back();
    c->FParent = nullptr;
    delete c;
  }
  if (FHandle) ui::DeleteWindow(FHandle);
}

HWND TWinControl::GetHandle() const {
  if (!FHandle) {
    ui::WindowRecord r;
    r.control = const_cast<TWinControl*>(this);
    if (Host()) r.widget = Host()->widget;
    r.className = ClassNameOf(this).str();
    r.style = LONG(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
    FHandle = ui::NewWindow(r);
  }
  return FHandle;
}

void TWinControl::SetTabStop(bool v) {
  FTabStop = v;
  if (Host() && Host()->widget) Host()->widget->setFocusPolicy(v ? Qt::StrongFocus : Qt::ClickFocus);
}

void TWinControl::SetFocus() {
  if (Host() && Host()->widget) {
    QWidget* w = Host()->widget;
    if (QWidget* win = w->window(); win && win->isVisible()) win->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
  }
  if (TCustomForm* f = ParentForm(); f && f != this) f->SetActiveControl(this);
}

bool TWinControl::Focused() const {
  return Host() && Host()->widget && Host()->widget->hasFocus();
}

bool TWinControl::CanFocus() const { return Showing() && FEnabled; }

void TWinControl::InsertControl(TControl* control) {
  FControls.push_back(control);
  control->FParent = this;
  if (control->GetParentFont()) control->SetParentFont(true);
  if (control->GetParentColor()) control->SetParentColor(true);
  if (control->Host() && control->Host()->widget && Host()) {
    QWidget* w = control->Host()->widget;
    Qt::WindowFlags flags = w->windowFlags();
    w->setParent(Host()->widget);
    if (flags & Qt::Window) w->setWindowFlags(Qt::Widget);
    control->BoundsChanged();
    w->setVisible(control->GetVisible());
  }
  if (control->GetAlign() != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(FControls.begin(), FControls.end(), control);
  if (it == FControls.end()) return;
  FControls.erase(it);
  control->FParent = nullptr;
  if (control->Host() && control->Host()->widget && !(control->ComponentState & csDestroying)) {
    control->Host()->widget->hide();
    control->Host()->widget->setParent(nullptr);
  }
  if (control->GetAlign() != alNone && !(ComponentState & csDestroying)) Realign();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();
}

void TWinControl::BoundsChanged() {
  TControl::BoundsChanged();
  Realign();
}

void TWinControl::Realign() {
  if (FAlignLock || (ComponentState & (csLoading | csDestroying))) return;
  ++FAlignLock;
  TRect r = GetClientAreaRect();
  AlignControls(r);
  --FAlignLock;
}

void TWinControl::AlignControls(TRect& rect) {
  auto place = [&](TAlign which) {
    for (TControl* c : FControls) {
      if (c->GetAlign() != which || !c->GetVisible()) continue;
      int w = c->GetWidth(), h = c->GetHeight();
      switch (which) {
        case alTop:
          c->SetBounds(rect.left, rect.top, rect.Width(), h);
          rect.top += h;
          break;
        case alBottom:
          c->SetBounds(rect.left, rect.bottom - h, rect.Width(), h);
          rect.bottom -= h;
          break;
        case alLeft:
          c->SetBounds(rect.left, rect.top, w, rect.Height());
          rect.left += w;
          break;
        case alRight:
          c->SetBounds(rect.right - w, rect.top, w, rect.Height());
          rect.right -= w;
          break;
        case alClient:
          c->SetBounds(rect.left, rect.top, std::max(0, rect.Width()), std::max(0, rect.Height()));
          break;
        default:
          break;
      }
    }
  };
  place(alTop);
  place(alBottom);
  place(alLeft);
  place(alRight);
  place(alClient);
}

bool TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
  return Key != 0;
}

bool TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
  return Key != 0;
}

bool TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
  return Key != 0;
}

// ---------------------------------------------------------------- graphic and custom controls

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {
  ui::EnsureQt();
  AttachHost(new TControlHost(this, new PaintWidget(this)));
}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::PaintControl(TCanvas* canvas) {
  // Paint draws on Canvas: let it reach the painter of this paint.
  TCanvasTarget* t = FCanvas->Target();
  QPainter* saved = t->painter;
  t->painter = canvas->Target()->painter;
  t->image = canvas->Target()->image;
  FCanvas->GetFont()->Assign(GetFont());
  Paint();
  t->painter = saved;
  t->image = nullptr;
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {
  ui::EnsureQt();
  AttachHost(new TControlHost(this, new PaintWidget(this)));
}

TCustomControl::~TCustomControl() = default;

void TCustomControl::Paint() {
  FCanvas->GetBrush()->SetColor(FColor);
  FCanvas->GetBrush()->SetStyle(bsSolid);
  FCanvas->FillRect(GetClientRect());
}

void TCustomControl::PaintControl(TCanvas* canvas) {
  TCanvasTarget* t = FCanvas->Target();
  t->painter = canvas->Target()->painter;
  t->image = canvas->Target()->image;
  FCanvas->GetFont()->Assign(GetFont());
  Paint();
  t->painter = nullptr;
  t->image = nullptr;
}
