#include "ImgList.h"
#include "UiPrivate.h"

struct TCustomImageList::Image {
  QImage image;  // with alpha: masked pixels are transparent
};

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
TCustomImageList::TCustomImageList(int AWidth, int AHeight) : TComponent(nullptr), FWidth(AWidth), FHeight(AHeight) {}
TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::SetWidth(int v) {
  if (v == FWidth) return;
  FWidth = v;
  Clear();
}

void TCustomImageList::SetHeight(int v) {
  if (v == FHeight) return;
  FHeight = v;
  Clear();
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
  if (!image || image->GetEmpty() || FWidth <= 0 || FHeight <= 0) return -1;
  int first = GetCount();
  QImage src = image->Image()->image.convertToFormat(QImage::Format_ARGB32);
  QImage m = mask && !mask->GetEmpty() ? mask->Image()->image.convertToFormat(QImage::Format_RGB32) : QImage();
  int n = std::max(1, src.width() / FWidth);
  for (int i = 0; i < n; ++i) {
    auto img = std::make_unique<Image>();
    img->image = QImage(FWidth, FHeight, QImage::Format_ARGB32);
    img->image.fill(Qt::transparent);
    for (int y = 0; y < FHeight && y < src.height(); ++y)
      for (int x = 0; x < FWidth && i * FWidth + x < src.width(); ++x) {
        QRgb px = src.pixel(i * FWidth + x, y);
        // A white mask pixel marks a transparent image pixel.
        if (!m.isNull() && m.valid(i * FWidth + x, y) && (m.pixel(i * FWidth + x, y) & 0xFFFFFF) == 0xFFFFFF) continue;
        img->image.setPixel(x, y, px | 0xFF000000u);
      }
    FImages.push_back(std::move(img));
  }
  return first;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
  if (!image || image->GetEmpty() || FWidth <= 0 || FHeight <= 0) return -1;
  TBitmap mask;
  QImage src = image->Image()->image;
  QImage m(src.size(), QImage::Format_RGB32);
  QRgb key = ui::ToQColor(maskColor).rgb() & 0xFFFFFF;
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x)
      m.setPixel(x, y, (src.pixel(x, y) & 0xFFFFFF) == key ? 0xFFFFFFFFu : 0xFF000000u);
  mask.Image()->image = m;
  return Add(image, &mask);
}

void TCustomImageList::Delete(int index) {
  if (index >= 0 && index < GetCount()) FImages.erase(FImages.begin() + index);
}

void TCustomImageList::Clear() { FImages.clear(); }

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
  if (!canvas || index < 0 || index >= GetCount()) return;
  QImage img = FImages[size_t(index)]->image;
  if (!enabled) {
    QImage g = img.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_ARGB32);
    for (int yy = 0; yy < g.height(); ++yy)
      for (int xx = 0; xx < g.width(); ++xx) g.setPixel(xx, yy, (img.pixel(xx, yy) & 0xFF000000u) | (g.pixel(xx, yy) & 0xFFFFFF));
    img = g;
  }
  canvas->Target()->Paint(canvas, [&](QPainter& p) { p.drawImage(x, y, img); });
}

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
  if (!image || index < 0 || index >= GetCount()) return;
  QImage out(FWidth, FHeight, QImage::Format_RGB32);
  out.fill(FBkColor == clNone ? Qt::white : ui::ToQColor(FBkColor));
  QPainter p(&out);
  p.drawImage(0, 0, FImages[size_t(index)]->image);
  p.end();
  image->Image()->image = out;
}
