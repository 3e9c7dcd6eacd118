#include <QTimer>

#include "ExtCtrls.h"
#include "UiPrivate.h"
#include "UiState.h"

// ---------------------------------------------------------------- image

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FWidth = 105;
  FHeight = 105;
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() = default;

void TImage::PictureChanged() {
  if (FAutoSize && FPicture->GetGraphic()) SetBounds(FLeft, FTop, FPicture->GetWidth(), FPicture->GetHeight());
  if (TGraphic* g = FPicture->GetGraphic()) g->SetTransparent(FTransparent || g->GetTransparent());
  Invalidate();
}

void TImage::SetStretch(bool v) { FStretch = v; Invalidate(); }
void TImage::SetCenter(bool v) { FCenter = v; Invalidate(); }
void TImage::SetTransparent(bool v) {
  FTransparent = v;
  if (TGraphic* g = FPicture->GetGraphic()) g->SetTransparent(v);
  Invalidate();
}
void TImage::SetAutoSize(bool v) {
  FAutoSize = v;
  PictureChanged();
}

void TImage::Paint() {
  TGraphic* g = FPicture->GetGraphic();
  if (!g || g->GetEmpty()) return;
  TRect dest;
  if (FStretch) {
    dest = GetClientRect();
  } else if (FCenter) {
    int x = (FWidth - g->GetWidth()) / 2, y = (FHeight - g->GetHeight()) / 2;
    dest = Bounds(x, y, g->GetWidth(), g->GetHeight());
  } else {
    dest = Bounds(0, 0, g->GetWidth(), g->GetHeight());
  }
  GetCanvas()->StretchDraw(dest, g);
}

// ---------------------------------------------------------------- panel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 185;
  FHeight = 41;
}

void TPanel::SetBevelOuter(TBevelCut v) { FBevelOuter = v; Realign(); Invalidate(); }
void TPanel::SetBevelInner(TBevelCut v) { FBevelInner = v; Realign(); Invalidate(); }
void TPanel::SetBevelWidth(int v) { FBevelWidth = v; Realign(); Invalidate(); }
void TPanel::SetBorderWidth(int v) { FBorderWidth = v; Realign(); Invalidate(); }
void TPanel::SetAlignment(TAlignment v) { FAlignment = v; Invalidate(); }

TRect TPanel::GetClientAreaRect() const {
  int inset = FBorderWidth;
  if (FBevelOuter != bvNone) inset += FBevelWidth;
  if (FBevelInner != bvNone) inset += FBevelWidth;
  return TRect(inset, inset, std::max(inset, FWidth - inset), std::max(inset, FHeight - inset));
}

void TPanel::Paint() {
  TCanvas* c = GetCanvas();
  TRect r = GetClientRect();
  c->GetBrush()->SetColor(FColor);
  c->GetBrush()->SetStyle(bsSolid);
  c->FillRect(r);
  auto bevel = [&](TBevelCut cut, TRect& rect) {
    if (cut == bvNone) return;
    TColor tl = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor br = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    for (int i = 0; i < FBevelWidth; ++i) {
      c->GetPen()->SetColor(tl);
      c->MoveTo(rect.left, rect.bottom - 1);
      c->LineTo(rect.left, rect.top);
      c->LineTo(rect.right - 1, rect.top);
      c->GetPen()->SetColor(br);
      c->LineTo(rect.right - 1, rect.bottom - 1);
      c->LineTo(rect.left, rect.bottom - 1);
      rect = TRect(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1);
    }
  };
  bevel(FBevelOuter, r);
  bevel(FBevelInner, r);
  if (!FText.IsEmpty()) {
    c->GetBrush()->SetStyle(bsClear);
    UINT flags = DT_SINGLELINE | DT_VCENTER;
    flags |= FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : 0;
    DrawTextA(c->GetHandle(), FText.c_str(), -1, &r, flags);
  }
}

// ---------------------------------------------------------------- timer

class TTimerPrivate {
 public:
  QTimer timer;
};

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FPrivate(std::make_unique<TTimerPrivate>()) {
  ui::EnsureQt();
  QObject::connect(&FPrivate->timer, &QTimer::timeout, &FPrivate->timer, [this] {
    if (OnTimer && !(ComponentState & csDestroying)) ui::Safely([&] { OnTimer(this); });
  });
  UpdateTimer();
}

TTimer::~TTimer() {
  ComponentState |= csDestroying;
  FPrivate->timer.stop();
}

void TTimer::SetEnabled(bool v) {
  FEnabled = v;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
  FInterval = v;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  FPrivate->timer.stop();
  if (FEnabled && FInterval > 0 && !(ComponentState & csLoading)) FPrivate->timer.start(int(FInterval));
}
