#include "TrelmSpeedButton.h"

#include <memory>

#include "FormLayout.h"
#include "ImgList.h"

TTrelmSpeedButton::TTrelmSpeedButton(TComponent* AOwner) : TSpeedButton(AOwner) {
  OnPaint = nullptr;
  Flat = true;
  FFocusMaskColor = 14803425;
  FDownMaskColor = 14803425;
}

void TTrelmSpeedButton::SetMaskColor(int Index, TColor Value) {
  switch (Index) {
    case 1:
      if (GetCanvas()->Brush->Color != Value) {
        GetCanvas()->Brush->Color = Value;
        Invalidate();
      }
      break;
    case 2:
      if (FFocusMaskColor != Value) {
        FFocusMaskColor = Value;
        Invalidate();
      }
      break;
    case 3:
      if (FDownMaskColor != Value) {
        FDownMaskColor = Value;
        Invalidate();
      }
      break;
  }
}

void TTrelmSpeedButton::Paint() {
  if (OnPaint) {
    OnPaint(this);
  } else if (FOriginalStyle) {
    TSpeedButton::Paint();
  } else {
    DrawGlyph();
  }
}

void TTrelmSpeedButton::DrawGlyph() {
  if (Glyph->Empty || NumGlyphs <= 0) return;
  auto list = std::make_unique<TImageList>(Glyph->Width / NumGlyphs, Glyph->Height.get());
  list->AddMasked(Glyph, Glyph->Canvas->Pixels[0][Glyph->Height - 1]);
  int x = Spacing, y = Spacing;
  if (MouseInControl() && FState == bsUp) {
    --x;
    --y;
  }
  int index = -1;
  if (Enabled) {
    if (FState == bsUp) index = 0;
    else if (FState == bsDown) index = GroupIndex != 0 ? 3 : 2;
  } else {
    if (FState == bsUp) index = 1;
    else if (FState == bsDown) index = 3;
  }
  if (index >= 0) list->Draw(GetCanvas(), x, y, index, true);
}

namespace {
// The class as layouts name it (the palette page "Quorvex" of the design-time registration has
// no run-time part).
const bool registered = [] {
  TRegisterClass<TTrelmSpeedButton>("TTrelmSpeedButton", "TSpeedButton")
      .Prop("FocusMaskColor",
            [](TTrelmSpeedButton* b, const TLayoutValue& v) { b->SetFocusMaskColor(LayoutColor(v)); })
      .Prop("DownMaskColor", [](TTrelmSpeedButton* b, const TLayoutValue& v) { b->SetDownMaskColor(LayoutColor(v)); })
      .Prop("OriginalStyle", [](TTrelmSpeedButton* b, const TLayoutValue& v) { b->SetOriginalStyle(v.AsBoolean()); })
      .Event("OnPaint", &TTrelmSpeedButton::OnPaint);
  return true;
}();
}  // namespace
