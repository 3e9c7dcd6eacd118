#include <QBuffer>
#include <QFontMetrics>
#include <QStyle>
#include <cstring>

#include "UiPrivate.h"

// ---------------------------------------------------------------- colours

TColor ColorToRGB(TColor color) {
  if ((unsigned(color) & 0xFF000000u) != 0x80000000u) return color & 0xFFFFFF;
  switch (color) {
    case clWindow: return 0xFFFFFF;
    case clWindowText: case clMenuText: case clBtnText: case clCaptionText: case clInfoText: return 0x000000;
    case clBtnFace: case clMenu: case clScrollBar: case cl3DLight: return 0xC8D0D4 & 0xFFFFFF;
    case clBtnShadow: case clGrayText: return 0x808080;
    case clBtnHighlight: case clHighlightText: return 0xFFFFFF;
    case cl3DDkShadow: case clWindowFrame: return 0x404040;
    case clHighlight: case clActiveCaption: return 0x6A240A;
    case clInactiveCaption: case clInactiveCaptionText: return 0x808080;
    case clInfoBk: return 0xE1FFFF;
    case clAppWorkSpace: case clBackground: return 0x808080;
    default: return 0xC0C0C0;
  }
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------- font, pen, brush

TFont::TFont() = default;

void TFont::Assign(TPersistent* source) {
  auto* f = dynamic_cast<TFont*>(source);
  if (!f) return TGraphicsObject::Assign(source);
  FName = f->FName;
  FHeight = f->FHeight;
  FColor = f->FColor;
  FStyle = f->FStyle;
  FCharset = f->FCharset;
  FPitch = f->FPitch;
  Changed();
}
void TFont::SetName(const AnsiString& v) { if (v != FName) { FName = v; Changed(); } }
void TFont::SetHeight(int v) { if (v != FHeight) { FHeight = v; Changed(); } }
int TFont::GetSize() const { return -MulDiv(FHeight, 72, 96); }
void TFont::SetSize(int v) { SetHeight(-MulDiv(v, 96, 72)); }
void TFont::SetColor(TColor v) { if (v != FColor) { FColor = v; Changed(); } }
void TFont::SetStyle(TFontStyles v) { if (v != FStyle) { FStyle = v; Changed(); } }
void TFont::SetCharset(int v) { if (v != FCharset) { FCharset = v; Changed(); } }
void TFont::SetPitch(TFontPitch v) { if (v != FPitch) { FPitch = v; Changed(); } }

void TPen::Assign(TPersistent* source) {
  auto* p = dynamic_cast<TPen*>(source);
  if (!p) return TGraphicsObject::Assign(source);
  FColor = p->FColor;
  FStyle = p->FStyle;
  FWidth = p->FWidth;
  Changed();
}
void TPen::SetColor(TColor v) { if (v != FColor) { FColor = v; Changed(); } }
void TPen::SetStyle(TPenStyle v) { if (v != FStyle) { FStyle = v; Changed(); } }
void TPen::SetWidth(int v) { if (v != FWidth) { FWidth = v; Changed(); } }

void TBrush::Assign(TPersistent* source) {
  auto* b = dynamic_cast<TBrush*>(source);
  if (!b) return TGraphicsObject::Assign(source);
  FColor = b->FColor;
  FStyle = b->FStyle;
  Changed();
}
void TBrush::SetColor(TColor v) { if (v != FColor) { FColor = v; Changed(); } }
void TBrush::SetStyle(TBrushStyle v) { if (v != FStyle) { FStyle = v; Changed(); } }

// ---------------------------------------------------------------- canvas

bool TCanvasTarget::Paint(TCanvas* canvas, const std::function<void(QPainter&)>& f) {
  auto setup = [canvas](QPainter& p) {
    p.setFont(ui::ToQFont(canvas->GetFont()));
  };
  if (painter) {
    painter->save();
    setup(*painter);
    f(*painter);
    painter->restore();
    return true;
  }
  if (image && !image->isNull()) {
    QPainter p(image);
    setup(p);
    f(p);
    return true;
  }
  return false;
}

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>()),
      FPen(std::make_unique<TPen>()),
      FBrush(std::make_unique<TBrush>()),
      FTarget(std::make_unique<TCanvasTarget>()) {}

TCanvas::~TCanvas() = default;

HDC TCanvas::GetHandle() const { return reinterpret_cast<HDC>(const_cast<TCanvas*>(this)); }

static QPen PenOf(const TPen* pen) {
  if (pen->GetStyle() == psClear) return QPen(Qt::NoPen);
  QPen p(ui::ToQColor(pen->GetColor()));
  p.setWidth(pen->GetWidth());
  switch (pen->GetStyle()) {
    case psDash: p.setStyle(Qt::DashLine); break;
    case psDot: p.setStyle(Qt::DotLine); break;
    case psDashDot: p.setStyle(Qt::DashDotLine); break;
    case psDashDotDot: p.setStyle(Qt::DashDotDotLine); break;
    default: break;
  }
  return p;
}

static QBrush BrushOf(const TBrush* brush) {
  if (brush->GetStyle() == bsClear) return QBrush(Qt::NoBrush);
  Qt::BrushStyle s = Qt::SolidPattern;
  switch (brush->GetStyle()) {
    case bsHorizontal: s = Qt::HorPattern; break;
    case bsVertical: s = Qt::VerPattern; break;
    case bsFDiagonal: s = Qt::FDiagPattern; break;
    case bsBDiagonal: s = Qt::BDiagPattern; break;
    case bsCross: s = Qt::CrossPattern; break;
    case bsDiagCross: s = Qt::DiagCrossPattern; break;
    default: break;
  }
  return QBrush(ui::ToQColor(brush->GetColor()), s);
}

static QRect QR(const TRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

void TCanvas::FillRect(const TRect& rect) {
  FTarget->Paint(this, [&](QPainter& p) {
    if (FBrush->GetStyle() != bsClear) p.fillRect(QR(rect), BrushOf(FBrush.get()));
  });
}

void TCanvas::FrameRect(const TRect& rect) {
  FTarget->Paint(this, [&](QPainter& p) {
    p.setPen(QPen(ui::ToQColor(FBrush->GetColor())));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1));
  });
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  FTarget->Paint(this, [&](QPainter& p) {
    p.setPen(PenOf(FPen.get()));
    p.setBrush(BrushOf(FBrush.get()));
    p.drawRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
  });
}

void TCanvas::LineTo(int x, int y) {
  FTarget->Paint(this, [&](QPainter& p) {
    p.setPen(PenOf(FPen.get()));
    p.drawLine(FPenPos.x, FPenPos.y, x, y);
  });
  FPenPos = TPoint(x, y);
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->GetEmpty()) return;
  FTarget->Paint(this, [&](QPainter& p) {
    ui::DrawGraphic(p, QRect(x, y, graphic->GetWidth(), graphic->GetHeight()), graphic);
  });
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
  if (!graphic || graphic->GetEmpty()) return;
  FTarget->Paint(this, [&](QPainter& p) { ui::DrawGraphic(p, QR(rect), graphic); });
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source) {
  if (!canvas || !canvas->FTarget->image) return;
  QImage part = canvas->FTarget->image->copy(QR(source));
  FTarget->Paint(this, [&](QPainter& p) { p.drawImage(QR(dest), part); });
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  FTarget->Paint(this, [&](QPainter& p) {
    QString t = ui::Q(text);
    QFontMetrics fm(p.font());
    QRect r(x, y, fm.horizontalAdvance(t), fm.height());
    if (FBrush->GetStyle() != bsClear) p.fillRect(r, BrushOf(FBrush.get()));
    p.setPen(ui::ToQColor(FFont->GetColor()));
    p.drawText(x, y + fm.ascent(), t);
  });
  FPenPos = TPoint(x + TextWidth(text), y);
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const AnsiString& text) {
  FTarget->Paint(this, [&](QPainter& p) {
    p.setClipRect(QR(rect));
    if (FBrush->GetStyle() != bsClear) p.fillRect(QR(rect), BrushOf(FBrush.get()));
    QFontMetrics fm(p.font());
    p.setPen(ui::ToQColor(FFont->GetColor()));
    p.drawText(x, y + fm.ascent(), ui::Q(text));
  });
}

SIZE TCanvas::TextExtent(const AnsiString& text) {
  QFontMetrics fm(ui::ToQFont(FFont.get()));
  QString t = ui::Q(text);
  return SIZE{fm.horizontalAdvance(t), fm.height()};
}

TColor TCanvas::GetPixel(int x, int y) const {
  const QImage* img = FTarget->image;
  if (!img || !img->valid(x, y)) return clNone;
  return ui::FromQColor(QColor::fromRgb(img->pixel(x, y)));
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  QImage* img = FTarget->image;
  if (!img || !img->valid(x, y)) return;
  img->setPixel(x, y, ui::ToQColor(color).rgb());
}

// ---------------------------------------------------------------- graphics

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const AnsiString& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TGraphic::SaveToFile(const AnsiString& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(&f);
}

TBitmap::TBitmap() : FImage(std::make_unique<TBitmapImage>()), FCanvas(std::make_unique<TCanvas>()) {
  FCanvas->Target()->image = &FImage->image;
}

TBitmap::~TBitmap() = default;

void TBitmap::Assign(TPersistent* source) {
  if (!source) {
    FImage->image = QImage();
    Changed();
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(source)) {
    FImage->image = b->FImage->image.copy();
    FTransparent = b->FTransparent;
    FTransparentColor = b->FTransparentColor;
    FTransparentMode = b->FTransparentMode;
    Changed();
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(source)) {
    FImage->image = ui::ImageOf(g).convertToFormat(QImage::Format_RGB32);
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

int TBitmap::GetWidth() const { return FImage->image.width(); }
int TBitmap::GetHeight() const { return FImage->image.height(); }
bool TBitmap::GetEmpty() const { return FImage->image.isNull(); }

static void Resize(TBitmapImage& b, int w, int h) {
  b.width = w;
  b.height = h;
  QImage& img = b.image;
  if (w <= 0 || h <= 0) {
    img = QImage();
    return;
  }
  QImage n(w, h, QImage::Format_RGB32);
  n.fill(Qt::white);
  if (!img.isNull()) {
    QPainter p(&n);
    p.drawImage(0, 0, img);
  }
  img = n;
}

void TBitmap::SetWidth(int v) {
  if (v == GetWidth() && !GetEmpty()) return;
  Resize(*FImage, v, GetEmpty() ? FImage->height : GetHeight());
  Changed();
}

void TBitmap::SetHeight(int v) {
  if (v == GetHeight() && !GetEmpty()) return;
  Resize(*FImage, GetEmpty() ? FImage->width : GetWidth(), v);
  Changed();
}

TColor TBitmap::GetTransparentColor() const {
  if (FTransparentMode == tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  const QImage& img = FImage->image;
  if (img.isNull()) return clDefault;
  return ui::FromQColor(QColor::fromRgb(img.pixel(0, img.height() - 1)));
}

void TBitmap::SetTransparentColor(TColor v) {
  FTransparentColor = v;
  FTransparentMode = v == clDefault ? tmAuto : tmFixed;
}

HBITMAP TBitmap::GetHandle() const { return reinterpret_cast<HBITMAP>(const_cast<TBitmap*>(this)); }

// A DIB as a bitmap resource stores it: the file header is put back in front.
static QByteArray WithFileHeader(const unsigned char* d, size_t n) {
  QByteArray out;
  if (n < 40) return out;
  uint32_t headerSize = uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
  if (headerSize < 12 || headerSize > n) return out;
  uint32_t colors = 0;
  uint16_t bits = 0;
  uint32_t compression = 0;
  if (headerSize == 12) {
    bits = uint16_t(d[10] | d[11] << 8);
    if (bits <= 8) colors = 1u << bits;
    colors *= 3;
  } else {
    bits = uint16_t(d[14] | d[15] << 8);
    compression = uint32_t(d[16]) | uint32_t(d[17]) << 8 | uint32_t(d[18]) << 16 | uint32_t(d[19]) << 24;
    uint32_t used = uint32_t(d[32]) | uint32_t(d[33]) << 8 | uint32_t(d[34]) << 16 | uint32_t(d[35]) << 24;
    colors = used ? used : (bits <= 8 ? 1u << bits : 0);
    colors *= 4;
    if (compression == 3 && headerSize == 40) colors += 12;  // BI_BITFIELDS masks
  }
  uint32_t offset = 14 + headerSize + colors;
  uint32_t total = uint32_t(14 + n);
  unsigned char fh[14] = {'B', 'M',
                          (unsigned char)(total), (unsigned char)(total >> 8), (unsigned char)(total >> 16),
                          (unsigned char)(total >> 24), 0, 0, 0, 0,
                          (unsigned char)(offset), (unsigned char)(offset >> 8), (unsigned char)(offset >> 16),
                          (unsigned char)(offset >> 24)};
  out.append(reinterpret_cast<const char*>(fh), 14);
  out.append(reinterpret_cast<const char*>(d), qsizetype(n));
  return out;
}

bool TBitmap::LoadFromBytes(const void* data, size_t size) {
  const auto* d = static_cast<const unsigned char*>(data);
  QImage img;
  if (size >= 2 && d[0] == 'B' && d[1] == 'M') {
    img.loadFromData(d, int(size), "BMP");
  } else {
    QByteArray file = WithFileHeader(d, size);
    if (!file.isEmpty()) img.loadFromData(file, "BMP");
  }
  if (img.isNull()) return false;
  FImage->image = img.convertToFormat(QImage::Format_RGB32);
  Changed();
  return true;
}

void TBitmap::LoadFromStream(TStream* stream) {
  long long n = stream->GetSize() - stream->GetPosition();
  std::string buf(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) stream->ReadBuffer(buf.data(), int(n));
  if (!LoadFromBytes(buf.data(), buf.size())) throw EInvalidGraphic("Bitmap image is not valid");
}

void TBitmap::SaveToStream(TStream* stream) {
  QByteArray bytes;
  QBuffer b(&bytes);
  b.open(QIODevice::WriteOnly);
  FImage->image.convertToFormat(QImage::Format_RGB888).save(&b, "BMP");
  stream->WriteBuffer(bytes.constData(), int(bytes.size()));
}

void TBitmap::LoadFromResourceName(HINSTANCE instance, const AnsiString& name) {
  HRSRC r = FindResourceA(instance, name.c_str(), RT_BITMAP);
  if (!r) throw EResNotFound(Format("Resource %s not found", name.c_str()));
  HGLOBAL g = LoadResource(instance, r);
  const void* p = LockResource(g);
  DWORD n = SizeofResource(instance, r);
  if (!p || !LoadFromBytes(p, n)) throw EResNotFound(Format("Resource %s not found", name.c_str()));
}

void TBitmap::LoadFromResourceID(HINSTANCE instance, int id) {
  HRSRC r = FindResourceA(instance, MAKEINTRESOURCEA(id), RT_BITMAP);
  if (!r) throw EResNotFound(Format("Resource %d not found", id));
  HGLOBAL g = LoadResource(instance, r);
  const void* p = LockResource(g);
  if (!p || !LoadFromBytes(p, SizeofResource(instance, r))) throw EResNotFound(Format("Resource %d not found", id));
}

// ---------------------------------------------------------------- icons

TIcon::TIcon() = default;
TIcon::~TIcon() = default;

void TIcon::Assign(TPersistent* source) {
  if (auto* i = dynamic_cast<TIcon*>(source)) {
    FHandle = i->FHandle;
    FWidth = i->FWidth;
    FHeight = i->FHeight;
    FBitmap.reset();
    if (i->FBitmap) {
      FBitmap = std::make_unique<TBitmap>();
      FBitmap->Assign(i->FBitmap.get());
    }
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

void TIcon::SetHandle(HICON v) {
  FHandle = v;
  FBitmap.reset();
  Changed();
}

void TIcon::LoadFromStream(TStream* stream) {
  long long n = stream->GetSize() - stream->GetPosition();
  std::string buf(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) stream->ReadBuffer(buf.data(), int(n));
  QImage img;
  img.loadFromData(reinterpret_cast<const uchar*>(buf.data()), int(buf.size()));
  if (img.isNull()) throw EInvalidGraphic("Icon image is not valid");
  FBitmap = std::make_unique<TBitmap>();
  FBitmap->Image()->image = img.convertToFormat(QImage::Format_ARGB32);
  FWidth = img.width();
  FHeight = img.height();
  Changed();
}

void TIcon::SaveToStream(TStream* stream) {
  TBitmap* b = AsBitmap();
  if (b) b->SaveToStream(stream);
}

void TIcon::LoadFromResourceName(HINSTANCE instance, const AnsiString& name) {
  TResourceStream s(instance, name, RT_RCDATA);
  LoadFromStream(&s);
}

TBitmap* TIcon::AsBitmap() const {
  if (FBitmap) return FBitmap.get();
  if (!FHandle) return nullptr;
  // Standard icons (LoadIconA with IDI_*) are drawn from the style.
  ui::EnsureQt();
  QStyle::StandardPixmap sp = QStyle::SP_MessageBoxInformation;
  switch (reinterpret_cast<uintptr_t>(FHandle)) {
    case 32513: sp = QStyle::SP_MessageBoxCritical; break;
    case 32514: sp = QStyle::SP_MessageBoxQuestion; break;
    case 32515: sp = QStyle::SP_MessageBoxWarning; break;
    default: break;
  }
  auto* self = const_cast<TIcon*>(this);
  self->FBitmap = std::make_unique<TBitmap>();
  QIcon icon = QApplication::style()->standardIcon(sp);
  self->FBitmap->Image()->image = icon.pixmap(FWidth, FHeight).toImage().convertToFormat(QImage::Format_ARGB32);
  if (self->FBitmap->Image()->image.isNull()) {
    QImage img(FWidth, FHeight, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    self->FBitmap->Image()->image = img;
  }
  self->FBitmap->SetTransparent(true);
  return FBitmap.get();
}

// ---------------------------------------------------------------- picture

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::Assign(TPersistent* source) {
  if (!source) {
    FGraphic.reset();
    Changed();
  } else if (auto* p = dynamic_cast<TPicture*>(source)) {
    SetGraphic(p->FGraphic.get());
  } else if (auto* g = dynamic_cast<TGraphic*>(source)) {
    SetGraphic(g);
  } else {
    TPersistent::Assign(source);
  }
}

TBitmap* TPicture::GetBitmap() {
  auto* b = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!b) {
    auto nb = std::make_unique<TBitmap>();
    b = nb.get();
    FGraphic = std::move(nb);
    b->OnChange = [this](TObject*) { Changed(); };
  }
  return b;
}

void TPicture::SetBitmap(TBitmap* v) { SetGraphic(v); }

TIcon* TPicture::GetIcon() {
  auto* i = dynamic_cast<TIcon*>(FGraphic.get());
  if (!i) {
    auto ni = std::make_unique<TIcon>();
    i = ni.get();
    FGraphic = std::move(ni);
    i->OnChange = [this](TObject*) { Changed(); };
  }
  return i;
}

void TPicture::SetIcon(TIcon* v) { SetGraphic(v); }

void TPicture::SetGraphic(TGraphic* v) {
  if (!v) {
    FGraphic.reset();
  } else if (dynamic_cast<TIcon*>(v)) {
    GetIcon()->Assign(v);
  } else {
    GetBitmap()->Assign(v);
  }
  Changed();
}

void TPicture::LoadFromFile(const AnsiString& fileName) {
  GetBitmap()->LoadFromFile(fileName);
  Changed();
}

// ---------------------------------------------------------------- drawing helpers

namespace ui {

QImage ImageOf(const TGraphic* graphic) {
  if (auto* b = dynamic_cast<const TBitmap*>(graphic)) return b->Image()->image;
  if (auto* i = dynamic_cast<const TIcon*>(graphic)) {
    TBitmap* b = i->AsBitmap();
    return b ? b->Image()->image : QImage();
  }
  return QImage();
}

void DrawGraphic(QPainter& p, const QRect& target, const TGraphic* graphic) {
  QImage img = ImageOf(graphic);
  if (img.isNull()) return;
  auto* bmp = dynamic_cast<const TBitmap*>(graphic);
  if (bmp && bmp->GetTransparent()) {
    QRgb key = ToQColor(bmp->GetTransparentColor()).rgb();
    QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(a.scanLine(y));
      for (int x = 0; x < a.width(); ++x)
        if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF)) line[x] = 0;
    }
    img = a;
  }
  if (target.size() == img.size())
    p.drawImage(target.topLeft(), img);
  else
    p.drawImage(target, img);
}

}  // namespace ui
