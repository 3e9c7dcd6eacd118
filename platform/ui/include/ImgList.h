// Image lists: images of one size cut from bitmaps, drawn with their mask.
#pragma once
#include <memory>
#include <vector>

#include "Classes.h"
#include "Graphics.h"

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  TCustomImageList(int AWidth, int AHeight);
  ~TCustomImageList() override;

  int GetWidth() const { return FWidth; }
  void SetWidth(int v);
  int GetHeight() const { return FHeight; }
  void SetHeight(int v);
  int GetCount() const { return int(FImages.size()); }
  bool GetMasked() const { return FMasked; }
  void SetMasked(bool v) { FMasked = v; }
  TColor GetBkColor() const { return FBkColor; }
  void SetBkColor(TColor v) { FBkColor = v; }
  TDrawingStyle GetDrawingStyle() const { return FDrawingStyle; }
  void SetDrawingStyle(TDrawingStyle v) { FDrawingStyle = v; }
  VCL_PROPERTY(TCustomImageList, Width);
  VCL_PROPERTY(TCustomImageList, Height);
  VCL_READONLY(TCustomImageList, Count);
  VCL_PROPERTY(TCustomImageList, Masked);
  VCL_PROPERTY(TCustomImageList, BkColor);
  VCL_PROPERTY(TCustomImageList, DrawingStyle);

  // Cuts the bitmap into images Width wide; returns the index of the first.
  int Add(TBitmap* image, TBitmap* mask);
  // As Add, with every pixel of maskColor transparent.
  int AddMasked(TBitmap* image, TColor maskColor);
  void Delete(int index);
  void Clear();
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
  void GetBitmap(int index, TBitmap* image);

 private:
  struct Image;
  std::vector<std::unique_ptr<Image>> FImages;
  int FWidth = 16, FHeight = 16;
  bool FMasked = true;
  TColor FBkColor = clNone;
  TDrawingStyle FDrawingStyle = dsNormal;
};

class TImageList : public TCustomImageList {
 public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
  TImageList(int AWidth, int AHeight) : TCustomImageList(AWidth, AHeight) {}
};
