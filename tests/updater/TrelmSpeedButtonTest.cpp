// The skinned button: which image of the strip is drawn where, by state.
#include <gtest/gtest.h>

#include <functional>

#include "Forms.h"
#include "TrelmSpeedButton.h"
#include "UiTest.h"

namespace {

const TColor kKey = 0xFF00FF;  // the strip's bottom-left pixel
const TColor kImage[4] = {0x0000C0, 0x00C000, 0xC00000, 0x00C0C0};
const int kStripWidth = 624, kHeight = 8, kImageWidth = 156;

class SkinnedButton : public ::testing::Test {
 protected:
  void SetUp() override {
    form.BorderStyle = bsNone;
    form.ClientWidth = 200;
    form.ClientHeight = 40;
    button = new TTrelmSpeedButton(&form);
    button->Parent = &form;
    button->SetBounds(0, 0, 170, 14);
    button->NumGlyphs = 4;
    button->Spacing = 2;
    TBitmap strip;
    strip.Width = kStripWidth;
    strip.Height = kHeight;
    for (int x = 0; x < kStripWidth; ++x)
      for (int y = 0; y < kHeight; ++y) strip.Canvas->Pixels[x][y] = kImage[x / kImageWidth];
    // The key colour at the bottom-left of every image: transparent in each of them.
    for (int i = 0; i < 4; ++i) strip.Canvas->Pixels[i * kImageWidth][kHeight - 1] = kKey;
    button->Glyph = &strip;
    form.Show();
  }
  TBitmap* Shot() {
    uitest::Grab(button, &shot);
    return &shot;
  }
  // Where the image starts and which one it is.
  void ExpectImage(int index, int x, int y) {
    TBitmap* b = Shot();
    EXPECT_EQ(b->Canvas->GetPixel(x + 1, y), kImage[index]) << "image " << index;
    EXPECT_EQ(b->Canvas->GetPixel(x + kImageWidth - 1, y + kHeight - 1), kImage[index]);
    EXPECT_NE(b->Canvas->GetPixel(x - 1, y), kImage[index]) << "starts further left";
    EXPECT_NE(b->Canvas->GetPixel(x + 1, y - 1), kImage[index]) << "starts further up";
    EXPECT_NE(b->Canvas->GetPixel(x + kImageWidth, y), kImage[index]) << "wider than one image";
    // The key colour is never drawn: the background shows through.
    EXPECT_EQ(b->Canvas->GetPixel(x, y + kHeight - 1), TColor(clWhite));
  }
  TForm form{nullptr, 0};
  TTrelmSpeedButton* button = nullptr;
  TBitmap shot;
};

TEST_F(SkinnedButton, DefaultsOfTheConstructor) {
  EXPECT_TRUE(button->Flat.get());
  EXPECT_EQ(button->FocusMaskColor.get(), 14803425);
  EXPECT_EQ(button->DownMaskColor.get(), 14803425);
  EXPECT_FALSE(button->OriginalStyle.get());
  EXPECT_FALSE(bool(button->OnPaint));
}

TEST_F(SkinnedButton, UpDrawsImageZeroAtSpacing) { ExpectImage(0, 2, 2); }

TEST_F(SkinnedButton, HoverMovesTheImageOnePixelUpAndLeft) {
  uitest::MouseEnter(button);
  ExpectImage(0, 1, 1);
  uitest::MouseLeave(button);
  ExpectImage(0, 2, 2);
}

TEST_F(SkinnedButton, PressedDrawsImageTwoAtSpacing) {
  uitest::MouseEnter(button);
  uitest::MouseDown(button, 5, 5);
  ExpectImage(2, 2, 2);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  uitest::MouseUp(button, 5, 5);
  EXPECT_EQ(clicks, 1);
  ExpectImage(0, 1, 1);
}

TEST_F(SkinnedButton, PressedInAGroupDrawsImageThree) {
  button->GroupIndex = 1;
  uitest::MouseDown(button, 5, 5);
  ExpectImage(3, 2, 2);
}

TEST_F(SkinnedButton, DisabledDrawsImageOne) {
  button->Enabled = false;
  ExpectImage(1, 2, 2);
  uitest::MouseEnter(button);  // no hover offset: the state is not "enabled and up"
  ExpectImage(1, 2, 2);
}

TEST_F(SkinnedButton, DisabledWhilePressedDrawsImageThree) {
  uitest::MouseDown(button, 5, 5);
  button->Enabled = false;
  ExpectImage(3, 2, 2);
}

TEST_F(SkinnedButton, TheStripsBottomLeftColourIsTransparentInEveryImage) {
  // The key comes from the strip's bottom-left pixel only: inside image 2 it is transparent,
  // while image 2's own corner, in its image colour, is drawn.
  button->Glyph->Canvas->Pixels[2 * kImageWidth + 50][3] = kKey;
  button->Glyph->Canvas->Pixels[2 * kImageWidth][kHeight - 1] = kImage[2];
  uitest::MouseDown(button, 5, 5);
  TBitmap* b = Shot();
  EXPECT_EQ(b->Canvas->GetPixel(2 + 50, 2 + 3), TColor(clWhite));
  EXPECT_EQ(b->Canvas->GetPixel(2, 2 + kHeight - 1), kImage[2]);
  EXPECT_EQ(b->Canvas->GetPixel(2 + 51, 2 + 3), kImage[2]);
}

TEST_F(SkinnedButton, TheExclusiveDownStateDrawsNothing) {
  button->GroupIndex = 1;
  button->Down = true;
  TBitmap* b = Shot();
  for (int x = 0; x < 170; x += 7) EXPECT_EQ(b->Canvas->GetPixel(x, 5), TColor(clWhite));
}

TEST_F(SkinnedButton, OnPaintReplacesAllDrawing) {
  int paints = 0;
  button->OnPaint = [&](TObject* Sender) {
    EXPECT_EQ(Sender, button);
    ++paints;
  };
  TBitmap* b = Shot();
  EXPECT_GE(paints, 1);
  EXPECT_EQ(b->Canvas->GetPixel(5, 5), TColor(clWhite));
}

TEST_F(SkinnedButton, OriginalStyleDrawsTheInheritedFace) {
  button->OriginalStyle = true;
  TBitmap* b = Shot();
  // The inherited face centres the glyph instead of placing it at Spacing.
  int x = (170 - kImageWidth) / 2;
  EXPECT_EQ(b->Canvas->GetPixel(x + 1, 5), kImage[0]);
  EXPECT_NE(b->Canvas->GetPixel(2 + 1, 5), kImage[0]);
}

TEST_F(SkinnedButton, EmptyGlyphDrawsNothing) {
  TBitmap empty;
  button->Glyph = &empty;
  TBitmap* b = Shot();
  EXPECT_EQ(b->Canvas->GetPixel(5, 5), TColor(clWhite));
}

TEST_F(SkinnedButton, ColourWritersRepaintOnlyWhenTheValueChanges) {
  int paints = 0;
  button->OnPaint = [&](TObject*) { ++paints; };
  uitest::Pump(30);
  struct Write {
    const char* what;
    std::function<void()> write;
    bool repaints;
  };
  const Write writes[] = {
      {"same colour", [&] { button->Color = button->Color.get(); }, false},
      {"new colour", [&] { button->Color = 0x00ABCDEF; }, true},
      {"same focus mask", [&] { button->FocusMaskColor = 14803425; }, false},
      {"new focus mask", [&] { button->FocusMaskColor = 0x123456; }, true},
      {"same down mask", [&] { button->DownMaskColor = 14803425; }, false},
      {"new down mask", [&] { button->DownMaskColor = 0x654321; }, true},
  };
  for (const Write& w : writes) {
    int before = paints;
    w.write();
    uitest::Pump(30);
    EXPECT_EQ(paints > before, w.repaints) << w.what;
  }
}

TEST_F(SkinnedButton, ColourPropertiesRepaintOnlyOnChange) {
  button->Color = clWhite;
  EXPECT_EQ(button->Color.get(), TColor(clWhite));
  EXPECT_EQ(button->Canvas->Brush->Color.get(), TColor(clWhite));
  button->FocusMaskColor = 0x123456;
  EXPECT_EQ(button->FocusMaskColor.get(), 0x123456);
  button->DownMaskColor = 0x654321;
  EXPECT_EQ(button->DownMaskColor.get(), 0x654321);
}

}  // namespace
