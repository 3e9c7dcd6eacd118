// TTrelmSpeedButton: a flat speed button drawn from a strip of four images (up, disabled,
// pressed, pressed in a group) instead of the button face.
#pragma once
#include "Buttons.h"

class TTrelmSpeedButton : public TSpeedButton {
 public:
  explicit TTrelmSpeedButton(TComponent* AOwner);

  TColor GetColor() const { return GetCanvas()->Brush->Color; }
  TColor GetFocusMaskColor() const { return FFocusMaskColor; }
  TColor GetDownMaskColor() const { return FDownMaskColor; }
  void SetColor(TColor Value) override { SetMaskColor(1, Value); }
  void SetFocusMaskColor(TColor Value) { SetMaskColor(2, Value); }
  void SetDownMaskColor(TColor Value) { SetMaskColor(3, Value); }
  bool GetOriginalStyle() const { return FOriginalStyle; }
  void SetOriginalStyle(bool Value) { FOriginalStyle = Value; }
  Property<&TTrelmSpeedButton::GetColor, &TTrelmSpeedButton::SetColor> Color{this};
  VCL_PROPERTY(TTrelmSpeedButton, FocusMaskColor);
  VCL_PROPERTY(TTrelmSpeedButton, DownMaskColor);
  VCL_PROPERTY(TTrelmSpeedButton, OriginalStyle);
  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
  virtual void DrawGlyph();

 private:
  void SetMaskColor(int Index, TColor Value);
  TColor FFocusMaskColor;
  TColor FDownMaskColor;
  bool FOriginalStyle = false;
};
