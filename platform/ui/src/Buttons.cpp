#include "Buttons.h"
#include "ImgList.h"
#include "UiPrivate.h"

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), FGlyph(std::make_unique<TBitmap>()) {
  FWidth = 23;
  FHeight = 22;
  FParentColor = true;
  FGlyph->OnChange = [this](TObject*) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetGlyph(TBitmap* v) {
  FGlyph->Assign(v);
  Invalidate();
}
void TSpeedButton::SetNumGlyphs(TNumGlyphs v) {
  FNumGlyphs = v < 1 ? 1 : v > 4 ? 4 : v;
  Invalidate();
}
void TSpeedButton::SetSpacing(int v) { FSpacing = v; Invalidate(); }
void TSpeedButton::SetMargin(int v) { FMargin = v; Invalidate(); }
void TSpeedButton::SetFlat(bool v) { FFlat = v; Invalidate(); }
void TSpeedButton::SetLayout(TButtonLayout v) { FLayout = v; Invalidate(); }
void TSpeedButton::SetTransparent(bool v) { FTransparent = v; Invalidate(); }

void TSpeedButton::SetGroupIndex(int v) {
  FGroupIndex = v;
  UpdateExclusive();
}

void TSpeedButton::SetDown(bool v) {
  if (FGroupIndex == 0) v = false;
  if (v == FDown) return;
  if (FDown && !v && !FAllowAllUp) return;
  FDown = v;
  FState = v ? bsExclusive : bsUp;
  if (v) UpdateExclusive();
  Invalidate();
}

void TSpeedButton::UpdateExclusive() {
  // Buttons of one group under one parent: only one is down.
  if (FGroupIndex == 0 || !FParent || !FDown) return;
  for (int i = 0; i < FParent->GetControlCount(); ++i) {
    auto* b = dynamic_cast<TSpeedButton*>(FParent->Control(i));
    if (b && b != this && b->FGroupIndex == FGroupIndex && b->FDown) {
      b->FDown = false;
      b->FState = bsUp;
      b->Invalidate();
    }
  }
}

void TSpeedButton::SetEnabled(bool v) {
  TGraphicControl::SetEnabled(v);
  if (!v) FDragging = false;
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
  if (Button == mbLeft && FEnabled) {
    if (!FDown) {
      FState = bsDown;
      Repaint();
    }
    FDragging = true;
  }
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FDragging) return;
  bool inside = X >= 0 && X < FWidth && Y >= 0 && Y < FHeight;
  TButtonState s = FDown ? bsExclusive : bsUp;
  if (inside) s = bsDown;
  if (s != FState) {
    FState = s;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
  if (!FDragging || Button != mbLeft) return;
  FDragging = false;
  bool inside = X >= 0 && X < FWidth && Y >= 0 && Y < FHeight;
  if (FGroupIndex == 0) {
    FState = bsUp;
    FMouseInControl = inside;
    Repaint();
    if (inside) Click();
  } else {
    if (inside) SetDown(!FDown);
    FState = FDown ? bsExclusive : bsUp;
    Repaint();
    if (inside) Click();
  }
}

void TSpeedButton::MouseEnter() {
  // As the class library's flat buttons: a disabled button does not take the mouse.
  if (!FEnabled) return;
  TGraphicControl::MouseEnter();
  Invalidate();
}

void TSpeedButton::MouseLeave() {
  TGraphicControl::MouseLeave();
  if (FEnabled) Invalidate();
}

void TSpeedButton::Paint() {
  TCanvas* c = GetCanvas();
  TRect r = GetClientRect();
  // The face of the class library's speed button: flat buttons show an edge only while the
  // mouse is over them or while they are down.
  if (!FEnabled) {
    FState = bsDisabled;
    FDragging = false;
  } else if (FState == bsDisabled) {
    FState = FDown && FGroupIndex != 0 ? bsExclusive : bsUp;
  }
  if (!FTransparent || !FFlat) {
    c->GetBrush()->SetColor(FColor);
    c->GetBrush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  bool pressed = FState == bsDown || FState == bsExclusive;
  if (!FFlat || pressed || (FMouseInControl && FEnabled)) {
    TColor tl = pressed ? clBtnShadow : clBtnHighlight;
    TColor br = pressed ? clBtnHighlight : clBtnShadow;
    c->GetPen()->SetColor(tl);
    c->MoveTo(0, FHeight - 1);
    c->LineTo(0, 0);
    c->LineTo(FWidth - 1, 0);
    c->GetPen()->SetColor(br);
    c->LineTo(FWidth - 1, FHeight - 1);
    c->LineTo(0, FHeight - 1);
  }
  int gw = 0, gh = 0, index = 0;
  if (!FGlyph->GetEmpty()) {
    gw = FGlyph->GetWidth() / FNumGlyphs;
    gh = FGlyph->GetHeight();
    switch (FState) {
      case bsDisabled: index = FNumGlyphs > 1 ? 1 : 0; break;
      case bsDown: index = FNumGlyphs > 2 ? 2 : 0; break;
      case bsExclusive: index = FNumGlyphs > 3 ? 3 : (FNumGlyphs > 2 ? 2 : 0); break;
      default: index = 0; break;
    }
  }
  SIZE ts = FText.IsEmpty() ? SIZE{0, 0} : c->TextExtent(FText);
  int total = gw + (gw && ts.cx ? FSpacing : 0) + ts.cx;
  int x = FMargin >= 0 ? FMargin : (FWidth - total) / 2;
  int gy = (FHeight - gh) / 2;
  int off = pressed ? 1 : 0;
  if (gw > 0) {
    TImageList list(gw, gh);
    list.AddMasked(FGlyph.get(), FGlyph->GetCanvas()->GetPixel(0, gh - 1));
    list.Draw(c, x + off, gy + off, index, true);
  }
  if (ts.cx) {
    c->GetBrush()->SetStyle(bsClear);
    if (!FEnabled) c->GetFont()->SetColor(clGrayText);
    c->TextOut(x + gw + (gw ? FSpacing : 0) + off, (FHeight - ts.cy) / 2 + off, FText);
  }
}
