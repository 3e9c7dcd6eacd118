// Speed buttons: flat buttons drawn from a glyph strip and a caption.
#pragma once
#include "Controls.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
typedef int TNumGlyphs;

class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;

  TBitmap* GetGlyph() const { return FGlyph.get(); }
  void SetGlyph(TBitmap* v);
  TNumGlyphs GetNumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TNumGlyphs v);
  int GetSpacing() const { return FSpacing; }
  void SetSpacing(int v);
  int GetMargin() const { return FMargin; }
  void SetMargin(int v);
  bool GetFlat() const { return FFlat; }
  void SetFlat(bool v);
  int GetGroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int v);
  bool GetDown() const { return FDown; }
  void SetDown(bool v);
  bool GetAllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool v) { FAllowAllUp = v; }
  TButtonLayout GetLayout() const { return FLayout; }
  void SetLayout(TButtonLayout v);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool v);
  VCL_PROPERTY(TSpeedButton, Glyph);
  VCL_PROPERTY(TSpeedButton, NumGlyphs);
  VCL_PROPERTY(TSpeedButton, Spacing);
  VCL_PROPERTY(TSpeedButton, Margin);
  VCL_PROPERTY(TSpeedButton, Flat);
  VCL_PROPERTY(TSpeedButton, GroupIndex);
  VCL_PROPERTY(TSpeedButton, Down);
  VCL_PROPERTY(TSpeedButton, AllowAllUp);
  VCL_PROPERTY(TSpeedButton, Layout);
  VCL_PROPERTY(TSpeedButton, Transparent);

  void Click() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void SetEnabled(bool v) override;
  bool MouseInControl() const { return FMouseInControl; }
  TButtonState State() const { return FState; }

 protected:
  void Paint() override;
  TButtonState FState = bsUp;

 private:
  void UpdateExclusive();
  std::unique_ptr<TBitmap> FGlyph;
  TNumGlyphs FNumGlyphs = 1;
  int FSpacing = 4;
  int FMargin = -1;
  bool FFlat = false;
  int FGroupIndex = 0;
  bool FDown = false;
  bool FAllowAllUp = false;
  bool FDragging = false;
  TButtonLayout FLayout = blGlyphLeft;
  bool FTransparent = true;
};
