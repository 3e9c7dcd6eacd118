// Controls: list view rows and custom drawing, combo box order and objects, canvas text, how
// much of a text a control shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTreeWidget>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "ImgList.h"
#include "StdCtrls.h"
#include "UiTest.h"
#include "winplat.h"

namespace {

TEST(ListView, RowsSubItemsDataAndDeletion) {
  TForm form(nullptr, 0);
  auto* lv = new TListView(&form);
  lv->Parent = &form;
  lv->ViewStyle = vsReport;
  for (int i = 0; i < 3; ++i) lv->Columns->Add()->Width = 50;
  std::vector<void*> deleted;
  lv->OnDeletion = [&](TObject*, TListItem* item) { deleted.push_back(item->Data); };
  int a = 1, b = 2;
  TListItem* first = lv->Items->Add();
  first->Caption = "FILE_1";
  first->SubItems->Add("");
  first->SubItems->Add("done");
  first->Data = &a;
  TListItem* second = lv->Items->Add();
  second->Data = &b;
  EXPECT_EQ(lv->Items->GetCount(), 2);
  EXPECT_EQ(second->Index.get(), 1);
  EXPECT_EQ(first->SubItems->Get(1), AnsiString("done"));
  EXPECT_EQ(lv->Items->Item(0)->Data.get(), &a);
  lv->Items->Clear();
  ASSERT_EQ(deleted.size(), 2u);
  EXPECT_EQ(deleted[0], &b);  // the last row goes first
  EXPECT_EQ(deleted[1], &a);
}

TEST(ListView, CustomDrawPaintsTheSubItemCellsAndInfoTips) {
  TForm form(nullptr, 0);
  form.BorderStyle = bsNone;
  form.ClientWidth = 300;
  form.ClientHeight = 200;
  auto* lv = new TListView(&form);
  lv->Parent = &form;
  lv->SetBounds(0, 0, 300, 200);
  lv->ViewStyle = vsReport;
  lv->Columns->Add()->Width = 100;
  lv->Columns->Add()->Width = 100;
  TListItem* item = lv->Items->Add();
  item->Caption = "row";
  item->SubItems->Add("x");
  int drawnItems = 0, drawnSubItems = 0;
  lv->OnCustomDrawItem = [&](TCustomListView*, TListItem*, TCustomDrawState, bool& DefaultDraw) {
    ++drawnItems;
    DefaultDraw = true;
  };
  lv->OnCustomDrawSubItem = [&](TCustomListView* Sender, TListItem* Item, int SubItem, TCustomDrawState,
                                bool& DefaultDraw) {
    ++drawnSubItems;
    TRect r = Item->DisplayRect(drBounds);
    r.left += Sender->Columns->Item(0)->Width;
    r.right = r.left + Sender->Columns->Item(SubItem)->Width;
    Sender->Canvas->Brush->Color = TColor(0xFF80FF);
    Sender->Canvas->Pen->Style = psClear;
    Sender->Canvas->FillRect(r);
    DefaultDraw = false;
  };
  form.Show();
  TBitmap shot;
  uitest::Grab(lv, &shot);
  EXPECT_GE(drawnItems, 1);
  EXPECT_GE(drawnSubItems, 1);
  TRect r = item->DisplayRect(drBounds);
  EXPECT_GT(r.Height(), 0);
  EXPECT_EQ(r.Width(), 200);
  // The cell of column 1 is magenta, the caption cell is not.
  int header = 0;
  for (int y = 0; y < shot.Height && !header; ++y)
    if (shot.Canvas->GetPixel(150, y) == TColor(0xFF80FF)) header = y;
  EXPECT_GT(header, 0) << "no magenta cell";
  EXPECT_NE(shot.Canvas->GetPixel(50, header), TColor(0xFF80FF));
  lv->OnInfoTip = [](TObject*, TListItem* Item, AnsiString& InfoTip) { InfoTip = "tip of " + Item->Caption.get(); };
  EXPECT_EQ(lv->InfoTipOf(item), AnsiString("tip of row"));
  item->MakeVisible(false);
}

TEST(ComboBox, SortedKeepsObjectsWithTheirEntries) {
  TForm form(nullptr, 0);
  auto* box = new TComboBox(&form);
  box->Parent = &form;
  box->Style = csDropDownList;
  TObject one, two, three;
  box->Items->AddObject("charlie", &three);
  box->Items->AddObject("alpha", &one);
  box->Sorted = true;
  box->Items->AddObject("bravo", &two);
  ASSERT_EQ(box->Items->Count(), 3);
  EXPECT_EQ(box->Items->Get(0), AnsiString("alpha"));
  EXPECT_EQ(box->Items->Objects(0), &one);
  EXPECT_EQ(box->Items->Get(1), AnsiString("bravo"));
  EXPECT_EQ(box->Items->Objects(1), &two);
  EXPECT_EQ(box->Items->Objects(2), &three);
  EXPECT_EQ(box->ItemIndex.get(), -1);
  box->ItemIndex = 2;
  EXPECT_EQ(box->Text.get(), AnsiString("charlie"));
  EXPECT_THROW(box->Items->Get(3), EStringListError);
}

// A control is handed the first 4,096 bytes of a text at most, cut before a double-byte
// character that would not fit whole: Qt lays out all of a text it is given, at tens of bytes
// a character, however little of it shows. The class-library objects keep the whole text.
TEST(Controls, AreHandedNoMoreOfATextThanALineShows) {
  const std::string korean = "\xB0\xA1";  // a character of two bytes
  std::string koreanText = "SHOWN:k";        // byte 4,096 is the first of a character's two
  while (koreanText.size() < 100000) koreanText += korean;
  const struct {
    std::string text;
    size_t shown;
  } texts[] = {{"SHOWN:a" + std::string(100000, 'W'), 4096}, {koreanText, 4095}, {"SHOWN:short", 11}};
  // Compared by length first: a failure does not print 100 kB.
  auto same = [](const std::string& got, const std::string& want) {
    return got.size() == want.size() ? ::testing::AssertionResult(got == want)
                                     : ::testing::AssertionFailure() << got.size() << " bytes, not " << want.size();
  };
  auto cp949 = [](const QString& text) { return winplat::Utf8ToCp949(text.toStdString()); };
  // The Qt widget of a kind that shows the text, found by what it shows.
  auto find = [](auto test) {
    for (QWidget* w : QApplication::allWidgets())
      if (test(w)) return w;
    return static_cast<QWidget*>(nullptr);
  };
  for (const auto& t : texts) {
    const AnsiString text(t.text);
    const std::string shown = t.text.substr(0, t.shown);
    SCOPED_TRACE(t.shown);
    TForm form(nullptr, 0);
    auto* lv = new TListView(&form);
    lv->Parent = &form;
    lv->ViewStyle = vsReport;
    lv->Columns->Add();
    lv->Columns->Add();
    TListItem* item = lv->Items->Add();
    item->Caption = text;
    item->SubItems->Add(text);
    EXPECT_TRUE(item->Caption.get() == text);
    auto* tree = qobject_cast<QTreeWidget*>(find([](QWidget* w) {
      auto* tree = qobject_cast<QTreeWidget*>(w);
      return tree && tree->topLevelItemCount() == 1 && tree->topLevelItem(0)->text(0).startsWith("SHOWN:");
    }));
    ASSERT_NE(tree, nullptr);
    EXPECT_TRUE(same(cp949(tree->topLevelItem(0)->text(0)), shown)) << "a list view's caption";
    EXPECT_TRUE(same(cp949(tree->topLevelItem(0)->text(1)), shown)) << "a list view's sub-item";

    auto* box = new TComboBox(&form);
    box->Parent = &form;
    box->Items->Add(text);
    box->Items->Insert(0, text);
    box->Items->Add("SHOWN");
    box->Items->Put(2, text);
    box->Sorted = true;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(same(box->Items->Get(i).str(), shown)) << "a combo box's entry " << i;
    box->Hint = text;
    auto* combo = qobject_cast<QComboBox*>(find([](QWidget* w) {
      return qobject_cast<QComboBox*>(w) && w->toolTip().startsWith("SHOWN:");
    }));
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(same(cp949(combo->toolTip()), shown)) << "a hint";
    EXPECT_TRUE(box->Hint.get() == text);

    // A label sizes itself to what it shows.
    auto* whole = new TLabel(&form);
    auto* cut = new TLabel(&form);
    for (TLabel* label : {whole, cut}) {
      label->Parent = &form;
      label->AutoSize = true;
    }
    whole->Caption = text;
    cut->Caption = AnsiString(shown);
    EXPECT_EQ(whole->Width.get(), cut->Width.get()) << "a label";
    EXPECT_TRUE(whole->Caption.get() == text);
  }
}

TEST(Canvas, TextMeasuringAndDrawText) {
  TBitmap bmp;
  bmp.Width = 200;
  bmp.Height = 50;
  SIZE s{0, 0};
  EXPECT_TRUE(GetTextExtentPoint32A(bmp.Canvas->Handle, "Hello", 5, &s));
  EXPECT_GT(s.cx, 0);
  EXPECT_GT(s.cy, 0);
  RECT r{0, 0, 0, 0};
  int h = DrawTextA(bmp.Canvas->Handle, "&OK", -1, &r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(h, s.cy);
  EXPECT_GT(r.right, 0);
  EXPECT_LT(r.right, s.cx);  // "OK" without the ampersand
  RECT wide{0, 0, 60, 0};
  DrawTextA(bmp.Canvas->Handle, "one two three four five six", -1, &wide, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GT(wide.bottom, s.cy);  // wrapped onto several lines
  EXPECT_LE(wide.right, 60);
  bmp.Canvas->Brush->Color = clRed;
  bmp.Canvas->FillRect(Rect(0, 0, 10, 10));
  EXPECT_EQ(bmp.Canvas->Pixels[5][5], TColor(clRed));
  EXPECT_EQ(bmp.Canvas->Pixels[500][5], TColor(clNone));
  EXPECT_EQ(MulDiv(7, 3, 2), 11);
  EXPECT_EQ(MulDiv(-7, 3, 2), -11);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

// The layouts' Korean faces draw Hangul glyphs: a font without them would draw the same empty
// box for every syllable.
TEST(Canvas, KoreanFacesDrawHangul) {
  auto draw = [](const char* face, const char* utf8, TBitmap& bmp) {
    bmp.Width = 40;
    bmp.Height = 30;
    bmp.Canvas->Brush->Color = clWhite;
    bmp.Canvas->FillRect(Rect(0, 0, 40, 30));
    bmp.Canvas->Font->Name = AnsiString(winplat::Utf8ToCp949(face));
    bmp.Canvas->Font->Height = -16;
    bmp.Canvas->Font->Color = clBlack;
    bmp.Canvas->TextOut(2, 2, AnsiString(winplat::Utf8ToCp949(utf8)));
  };
  auto inked = [](TBitmap& bmp) {
    int n = 0;
    for (int x = 0; x < bmp.Width; ++x)
      for (int y = 0; y < bmp.Height; ++y) n += bmp.Canvas->GetPixel(x, y) != TColor(clWhite);
    return n;
  };
  for (const char* face : {"굴림", "돋움", "Gulim"}) {
    TBitmap ga, na, gak;
    draw(face, "가", ga);
    draw(face, "나", na);
    draw(face, "각", gak);
    EXPECT_GT(inked(ga), 0) << face;
    int differ = 0, differFinal = 0;
    for (int x = 0; x < 40; ++x)
      for (int y = 0; y < 30; ++y) {
        differ += ga.Canvas->GetPixel(x, y) != na.Canvas->GetPixel(x, y);
        differFinal += ga.Canvas->GetPixel(x, y) != gak.Canvas->GetPixel(x, y);
      }
    EXPECT_GT(differ, 0) << face;
    EXPECT_GT(differFinal, 0) << face;
  }
}

TEST(ImageList, AddMaskedCutsTheStripAndLeavesTheMaskColourOut) {
  TBitmap strip;
  strip.Width = 8;
  strip.Height = 2;
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 2; ++y) strip.Canvas->Pixels[x][y] = x < 4 ? TColor(clBlue) : TColor(clGreen);
  strip.Canvas->Pixels[0][1] = clWhite;
  TImageList list(4, 2);
  EXPECT_EQ(list.AddMasked(&strip, clWhite), 0);
  EXPECT_EQ(list.Count.get(), 2);
  TBitmap target;
  target.Width = 4;
  target.Height = 2;
  target.Canvas->Brush->Color = clRed;
  target.Canvas->FillRect(Rect(0, 0, 4, 2));
  list.Draw(target.Canvas, 0, 0, 1);
  EXPECT_EQ(target.Canvas->Pixels[0][0], TColor(clGreen));
  list.Draw(target.Canvas, 0, 0, 0);
  EXPECT_EQ(target.Canvas->Pixels[1][1], TColor(clBlue));
  EXPECT_EQ(target.Canvas->Pixels[0][1], TColor(clGreen));  // masked: the earlier pixel stays
}

}  // namespace
