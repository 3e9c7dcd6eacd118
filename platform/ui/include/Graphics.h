// The class library's drawing objects: colours, fonts, pens, brushes, the canvas, bitmaps,
// icons and pictures. Text is code page 949.
#pragma once
#include <memory>

#include "Classes.h"
#include "Property.h"
#include "Sysset.h"
#include "windows.h"

// Colours: 0x00BBGGRR, or 0x80000000 | COLOR_xxx for a system colour.
typedef int TColor;
enum : int {
  clBlack = 0x000000,
  clMaroon = 0x000080,
  clGreen = 0x008000,
  clOlive = 0x008080,
  clNavy = 0x800000,
  clPurple = 0x800080,
  clTeal = 0x808000,
  clGray = 0x808080,
  clSilver = 0xC0C0C0,
  clRed = 0x0000FF,
  clLime = 0x00FF00,
  clYellow = 0x00FFFF,
  clBlue = 0xFF0000,
  clFuchsia = 0xFF00FF,
  clAqua = 0xFFFF00,
  clWhite = 0xFFFFFF,
  clLtGray = 0xC0C0C0,
  clDkGray = 0x808080,
  clScrollBar = int(0x80000000),
  clBackground = int(0x80000001),
  clActiveCaption = int(0x80000002),
  clInactiveCaption = int(0x80000003),
  clMenu = int(0x80000004),
  clWindow = int(0x80000005),
  clWindowFrame = int(0x80000006),
  clMenuText = int(0x80000007),
  clWindowText = int(0x80000008),
  clCaptionText = int(0x80000009),
  clActiveBorder = int(0x8000000A),
  clInactiveBorder = int(0x8000000B),
  clAppWorkSpace = int(0x8000000C),
  clHighlight = int(0x8000000D),
  clHighlightText = int(0x8000000E),
  clBtnFace = int(0x8000000F),
  clBtnShadow = int(0x80000010),
  clGrayText = int(0x80000011),
  clBtnText = int(0x80000012),
  clInactiveCaptionText = int(0x80000013),
  clBtnHighlight = int(0x80000014),
  cl3DDkShadow = int(0x80000015),
  cl3DLight = int(0x80000016),
  clInfoText = int(0x80000017),
  clInfoBk = int(0x80000018),
  clNone = 0x1FFFFFFF,
  clDefault = 0x20000000,
};
// A system colour resolved to 0x00BBGGRR.
TColor ColorToRGB(TColor color);

// Character sets of the fonts (only stored).
enum {
  ANSI_CHARSET = 0,
  DEFAULT_CHARSET = 1,
  SYMBOL_CHARSET = 2,
  HANGEUL_CHARSET = 129,
  HANGUL_CHARSET = 129,
  OEM_CHARSET = 255,
};

struct TPoint : POINT {
  TPoint() : POINT{0, 0} {}
  TPoint(int x_, int y_) : POINT{x_, y_} {}
};

// Rectangles use the field names of RECT (left, top, right, bottom).
struct TRect : RECT {
  TRect() : RECT{0, 0, 0, 0} {}
  TRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  TRect(const RECT& r) : RECT(r) {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const TRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};
inline TRect Rect(int left, int top, int right, int bottom) { return TRect(left, top, right, bottom); }
inline TRect Bounds(int left, int top, int width, int height) {
  return TRect(left, top, left + width, top + height);
}
inline TPoint Point(int x, int y) { return TPoint(x, y); }

class EInvalidGraphic : public Exception {
 public:
  explicit EInvalidGraphic(const AnsiString& msg) : Exception(msg) {}
};

class TCanvas;
class TCanvasTarget;  // private: what a canvas draws on

class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
typedef Set<TFontStyle, fsBold, fsStrikeOut> TFontStyles;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
 public:
  TFont();
  void Assign(TPersistent* source) override;

  AnsiString GetName() const { return FName; }
  void SetName(const AnsiString& v);
  int GetHeight() const { return FHeight; }
  void SetHeight(int v);
  int GetSize() const;  // points at 96 pixels per inch
  void SetSize(int v);
  TColor GetColor() const { return FColor; }
  void SetColor(TColor v);
  TFontStyles GetStyle() const { return FStyle; }
  void SetStyle(TFontStyles v);
  int GetCharset() const { return FCharset; }
  void SetCharset(int v);
  TFontPitch GetPitch() const { return FPitch; }
  void SetPitch(TFontPitch v);

  VCL_PROPERTY(TFont, Name);
  VCL_PROPERTY(TFont, Height);
  VCL_PROPERTY(TFont, Size);
  VCL_PROPERTY(TFont, Color);
  VCL_PROPERTY(TFont, Style);
  VCL_PROPERTY(TFont, Charset);
  VCL_PROPERTY(TFont, Pitch);

 private:
  AnsiString FName = "MS Sans Serif";
  int FHeight = -11;
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  int FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = fpDefault;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
class TPen : public TGraphicsObject {
 public:
  void Assign(TPersistent* source) override;
  TColor GetColor() const { return FColor; }
  void SetColor(TColor v);
  TPenStyle GetStyle() const { return FStyle; }
  void SetStyle(TPenStyle v);
  int GetWidth() const { return FWidth; }
  void SetWidth(int v);
  VCL_PROPERTY(TPen, Color);
  VCL_PROPERTY(TPen, Style);
  VCL_PROPERTY(TPen, Width);

 private:
  TColor FColor = clBlack;
  TPenStyle FStyle = psSolid;
  int FWidth = 1;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
class TBrush : public TGraphicsObject {
 public:
  void Assign(TPersistent* source) override;
  TColor GetColor() const { return FColor; }
  void SetColor(TColor v);
  TBrushStyle GetStyle() const { return FStyle; }
  void SetStyle(TBrushStyle v);
  VCL_PROPERTY(TBrush, Color);
  VCL_PROPERTY(TBrush, Style);

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
};

class TGraphic;

// Drawing on a bitmap or on a control while it paints. Handle is the canvas as an HDC for the
// GDI text functions of winuser.h.
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  TFont* GetFont() const { return FFont.get(); }
  void SetFont(TFont* v) { FFont->Assign(v); }
  TPen* GetPen() const { return FPen.get(); }
  void SetPen(TPen* v) { FPen->Assign(v); }
  TBrush* GetBrush() const { return FBrush.get(); }
  void SetBrush(TBrush* v) { FBrush->Assign(v); }
  HDC GetHandle() const;
  TPoint GetPenPos() const { return FPenPos; }
  void SetPenPos(TPoint p) { FPenPos = p; }
  VCL_PROPERTY(TCanvas, Font);
  VCL_PROPERTY(TCanvas, Pen);
  VCL_PROPERTY(TCanvas, Brush);
  VCL_READONLY(TCanvas, Handle);
  VCL_PROPERTY(TCanvas, PenPos);

  void FillRect(const TRect& rect);
  void FrameRect(const TRect& rect);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
  void MoveTo(int x, int y) { FPenPos = TPoint(x, y); }
  void LineTo(int x, int y);
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const TRect& rect, TGraphic* graphic);
  void CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source);
  void TextOut(int x, int y, const AnsiString& text);
  void TextRect(const TRect& rect, int x, int y, const AnsiString& text);
  SIZE TextExtent(const AnsiString& text);
  int TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
  int TextHeight(const AnsiString& text) { return TextExtent(text).cy; }
  void Lock() {}
  void Unlock() {}

  // Pixels[x][y]: the colour of one pixel (clNone outside the surface).
  class PixelColumn {
   public:
    PixelColumn(TCanvas* c, int x) : c_(c), x_(x) {}
    class Ref {
     public:
      Ref(TCanvas* c, int x, int y) : c_(c), x_(x), y_(y) {}
      operator TColor() const { return c_->GetPixel(x_, y_); }
      Ref& operator=(TColor v) {
        c_->SetPixel(x_, y_, v);
        return *this;
      }

     private:
      TCanvas* c_;
      int x_, y_;
    };
    Ref operator[](int y) const { return Ref(c_, x_, y); }

   private:
    TCanvas* c_;
    int x_;
  };
  class PixelArray {
   public:
    explicit PixelArray(TCanvas* c) : c_(c) {}
    PixelColumn operator[](int x) const { return PixelColumn(c_, x); }

   private:
    TCanvas* c_;
  };
  PixelArray Pixels{this};
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // The layer binds a canvas to what it draws on.
  TCanvasTarget* Target() const { return FTarget.get(); }

 private:
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TCanvasTarget> FTarget;
  TPoint FPenPos;
};

class TGraphic : public TPersistent {
 public:
  virtual int GetWidth() const = 0;
  virtual void SetWidth(int v) = 0;
  virtual int GetHeight() const = 0;
  virtual void SetHeight(int v) = 0;
  virtual bool GetEmpty() const = 0;
  bool GetTransparent() const { return FTransparent; }
  virtual void SetTransparent(bool v) { FTransparent = v; }
  VCL_PROPERTY(TGraphic, Width);
  VCL_PROPERTY(TGraphic, Height);
  VCL_READONLY(TGraphic, Empty);
  VCL_PROPERTY(TGraphic, Transparent);
  virtual void LoadFromStream(TStream* stream) = 0;
  virtual void SaveToStream(TStream* stream) = 0;
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName);
  TNotifyEvent OnChange;

 protected:
  void Changed();
  bool FTransparent = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

class TBitmapImage;  // private pixel store

// A device-independent bitmap. Transparent drawing leaves out the pixels of TransparentColor
// (tmAuto: the colour of the bottom-left pixel).
class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  void Assign(TPersistent* source) override;

  int GetWidth() const override;
  void SetWidth(int v) override;
  int GetHeight() const override;
  void SetHeight(int v) override;
  bool GetEmpty() const override;
  TCanvas* GetCanvas() const { return FCanvas.get(); }
  TPixelFormat GetPixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat v) { FPixelFormat = v; }
  TColor GetTransparentColor() const;
  void SetTransparentColor(TColor v);
  TTransparentMode GetTransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode v) { FTransparentMode = v; }
  HBITMAP GetHandle() const;
  VCL_READONLY(TBitmap, Canvas);
  VCL_PROPERTY(TBitmap, PixelFormat);
  VCL_PROPERTY(TBitmap, TransparentColor);
  VCL_PROPERTY(TBitmap, TransparentMode);
  VCL_READONLY(TBitmap, Handle);

  // A BMP file, or a DIB as a bitmap resource holds it.
  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;  // BMP file, 24 bits per pixel
  bool LoadFromBytes(const void* data, size_t size);
  // EResNotFound when the program has no such bitmap resource.
  void LoadFromResourceName(HINSTANCE instance, const AnsiString& name);
  void LoadFromResourceID(HINSTANCE instance, int id);
  void Dormant() {}
  void FreeImage() {}

  TBitmapImage* Image() const { return FImage.get(); }

 private:
  std::unique_ptr<TBitmapImage> FImage;
  std::unique_ptr<TCanvas> FCanvas;
  TPixelFormat FPixelFormat = pfDevice;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = tmAuto;
};

// HICON values of LoadIconA; the standard icons are drawn by the layer.
class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;
  void Assign(TPersistent* source) override;
  int GetWidth() const override { return FWidth; }
  void SetWidth(int v) override { FWidth = v; }
  int GetHeight() const override { return FHeight; }
  void SetHeight(int v) override { FHeight = v; }
  bool GetEmpty() const override { return FHandle == nullptr && !FBitmap; }
  HICON GetHandle() const { return FHandle; }
  void SetHandle(HICON v);
  VCL_PROPERTY(TIcon, Handle);
  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void LoadFromResourceName(HINSTANCE instance, const AnsiString& name);
  // The icon as a bitmap (for drawing).
  TBitmap* AsBitmap() const;

 private:
  HICON FHandle = nullptr;
  int FWidth = 32, FHeight = 32;
  std::unique_ptr<TBitmap> FBitmap;
};

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  void Assign(TPersistent* source) override;
  TBitmap* GetBitmap();
  void SetBitmap(TBitmap* v);
  TIcon* GetIcon();
  void SetIcon(TIcon* v);
  TGraphic* GetGraphic() const { return FGraphic.get(); }
  void SetGraphic(TGraphic* v);
  int GetWidth() const { return FGraphic ? FGraphic->GetWidth() : 0; }
  int GetHeight() const { return FGraphic ? FGraphic->GetHeight() : 0; }
  Property<&TPicture::GetBitmap, &TPicture::SetBitmap> Bitmap{this};
  Property<&TPicture::GetIcon, &TPicture::SetIcon> Icon{this};
  VCL_PROPERTY(TPicture, Graphic);
  VCL_READONLY(TPicture, Width);
  VCL_READONLY(TPicture, Height);
  void LoadFromFile(const AnsiString& fileName);
  TNotifyEvent OnChange;

 private:
  void Changed();
  std::unique_ptr<TGraphic> FGraphic;
};
