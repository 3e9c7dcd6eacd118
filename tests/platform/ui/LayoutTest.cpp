// Forms built from layouts: components, positions, captions, handlers and the errors that name
// the form, the component and the name.
#include <gtest/gtest.h>

#include <string>

#include "ExtCtrls.h"
#include "Buttons.h"
#include "ImgList.h"
#include "SampleForm.h"
#include "UiTest.h"
#include "winplat.h"

namespace {

AnsiString K(const char* utf8) { return AnsiString(winplat::Utf8ToCp949(utf8)); }

TEST(Layout, FormHasTheLayoutsComponentsPositionsAndCaptions) {
  TfrmSample form(nullptr);
  ASSERT_NE(form.btnOk, nullptr);
  ASSERT_NE(form.lblTitle, nullptr);
  ASSERT_NE(form.edtName, nullptr);
  ASSERT_NE(form.Timer1, nullptr);
  EXPECT_EQ(form.Name, AnsiString("frmSample"));
  EXPECT_EQ(form.Caption.get(), K("샘플"));
  EXPECT_EQ(form.ClientWidth.get(), 300);
  EXPECT_EQ(form.ClientHeight.get(), 200);
  EXPECT_EQ(form.BorderStyle.get(), bsSingle);
  EXPECT_TRUE(form.BorderIcons.get().Contains(biMinimize));
  EXPECT_FALSE(form.BorderIcons.get().Contains(biMaximize));
  EXPECT_TRUE(form.KeyPreview.get());
  EXPECT_EQ(form.Font->Name.get(), K("굴림"));
  EXPECT_TRUE(form.Font->Style.get().Contains(fsBold));
  EXPECT_EQ(form.Font->Charset.get(), HANGEUL_CHARSET);

  EXPECT_EQ(form.btnOk->Caption.get(), K("확인"));
  EXPECT_EQ(form.btnOk->Parent.get(), form.pnlBottom);
  EXPECT_EQ(form.btnOk->Owner(), &form);
  EXPECT_EQ(form.btnOk->Left.get(), 8);
  EXPECT_EQ(form.btnOk->Top.get(), 10);
  // Aligned to the bottom of the client area.
  EXPECT_EQ(form.pnlBottom->Top.get(), 154);
  EXPECT_EQ(form.pnlBottom->Width.get(), 300);
  EXPECT_EQ(form.lblTitle->Caption.get(), AnsiString("Title\r\nsecond"));
  EXPECT_EQ(form.lblTitle->Width.get(), 120);
  EXPECT_TRUE(form.lblTitle->Transparent.get());
  EXPECT_EQ(form.edtName->Text.get(), AnsiString("abc"));
  EXPECT_EQ(form.edtName->PasswordChar.get(), '*');
  EXPECT_EQ(form.edtName->TabOrder.get(), 1);
  // The child that follows its parent's font has the form's.
  EXPECT_EQ(form.edtName->Font->Name.get(), K("굴림"));
  EXPECT_EQ(form.cbxModel->Items->Count(), 2);
  EXPECT_EQ(form.cbxModel->Items->Get(0), AnsiString("beta"));
  EXPECT_EQ(form.lvMain->Columns->GetCount(), 2);
  EXPECT_EQ(form.lvMain->Columns->Item(0)->Caption.get(), K("파일"));
  EXPECT_EQ(form.lvMain->Columns->Item(0)->MaxWidth.get(), 60);
  EXPECT_EQ(form.lvMain->ViewStyle.get(), vsReport);
  EXPECT_FALSE(form.Timer1->Enabled.get());
  EXPECT_EQ(form.Timer1->Interval.get(), 10u);
  EXPECT_EQ(form.FindComponent("LVMAIN"), form.lvMain);
}

TEST(Layout, HandlersAreBoundByName) {
  TfrmSample form(nullptr);
  uitest::Click(form.btnOk);
  EXPECT_EQ(form.clicks, 1);
  form.btnOk->Click();
  EXPECT_EQ(form.clicks, 2);
  ASSERT_TRUE(form.OnCloseQuery);
  EXPECT_TRUE(form.CloseQuery());
  EXPECT_EQ(form.closeQueries, 1);
}

TEST(Layout, OnCreateRunsOnceAfterTheConstructor) {
  TfrmSample form(nullptr);
  EXPECT_EQ(form.created, 0);  // the constructor body may still run
  form.Show();
  EXPECT_EQ(form.created, 1);
  EXPECT_EQ(form.shown, 1);
  form.Hide();
  form.Show();
  EXPECT_EQ(form.created, 1);
  EXPECT_EQ(form.shown, 2);
}

// A form whose layout text is given by the test.
class TfrmText : public TForm {
 public:
  TButton* btnA = nullptr;
  TLabel* btnB = nullptr;
  explicit TfrmText(TComponent* Owner) : TForm(Owner, 0) {}
  void Read(const char* text) {
    ReadComponentLayoutText(this, text, {VCL_FIELD(btnA), VCL_FIELD(btnB), VCL_HANDLER(Clicked), VCL_HANDLER(Keyed)});
  }
  void Clicked(TObject*) {}
  void Keyed(TObject*, WORD&, TShiftState) {}
};

struct BadLayout {
  const char* what;
  const char* text;
  const char* component;
  const char* name;
};

class LayoutErrors : public ::testing::TestWithParam<BadLayout> {};

TEST_P(LayoutErrors, NameTheFormTheComponentAndTheName) {
  TfrmText form(nullptr);
  try {
    form.Read(GetParam().text);
    FAIL() << "no error for " << GetParam().what;
  } catch (ELayoutError& e) {
    EXPECT_EQ(e.FormName, AnsiString("TfrmText"));
    EXPECT_EQ(e.ComponentName, AnsiString(GetParam().component));
    EXPECT_EQ(e.Name, AnsiString(GetParam().name));
    EXPECT_NE(e.Message.Pos("TfrmText"), 0) << e.Message.c_str();
    EXPECT_NE(e.Message.Pos(GetParam().name), 0) << e.Message.c_str();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutErrors,
    ::testing::Values(
        BadLayout{"unknown class", "object f: TfrmText\n object btnA: TFancyButton\n end\nend", "btnA", "TFancyButton"},
        BadLayout{"unknown property", "object f: TfrmText\n object btnA: TButton\n  Colour = clRed\n end\nend", "btnA",
                  "Colour"},
        BadLayout{"unknown handler", "object f: TfrmText\n object btnA: TButton\n  OnClick = btnAClick\n end\nend",
                  "btnA", "btnAClick"},
        BadLayout{"unknown event", "object f: TfrmText\n object btnA: TButton\n  OnHover = Clicked\n end\nend", "btnA",
                  "OnHover"},
        BadLayout{"handler of another type", "object f: TfrmText\n object btnA: TButton\n  OnClick = Keyed\n end\nend",
                  "btnA", "Keyed"},
        BadLayout{"field of another class", "object f: TfrmText\n object btnB: TButton\n end\nend", "btnB", "TButton"},
        BadLayout{"bad value", "object f: TfrmText\n object btnA: TButton\n  Left = True\n end\nend", "btnA", "Left"},
        BadLayout{"unknown property of the form", "object f: TfrmText\n  Shape = 3\nend", "f", "Shape"}));

TEST(Layout, SyntaxErrorsStopWithTheLine) {
  const char* cases[] = {
      "object f: TfrmText\n Left = \n",                      // value missing, no end
      "object f: TfrmText\n Caption = 'open\nend",           // string not closed
      "object f: TfrmText\n object btnA: TButton\nend",      // one end missing
      "object f: TfrmText\nend\nend",                        // text after the end
      "thing f: TfrmText\nend",                              // not an object
      "object f: TfrmText\n Picture.Data = {0A1}\nend",      // odd hex digits
  };
  for (const char* text : cases) {
    TfrmText form(nullptr);
    EXPECT_THROW(form.Read(text), ELayoutError) << text;
  }
}

TEST(Layout, ValuesOfEveryKind) {
  TfrmText form(nullptr);
  form.Read(
      "object f: TfrmText\n"
      "  Caption = 'it''s'#32'a'#54028 +\n    ' test'\n"
      "  Color = $00FF00\n"
      "  Tag = -7\n"
      "  object btnA: TButton\n    Left = 5\n    ModalResult = mrYes\n    OnClick = Clicked\n  end\n"
      "end\n");
  EXPECT_EQ(form.Caption.get(), AnsiString("it's a") + AnsiString(winplat::Utf8ToCp949("파")) + " test");
  EXPECT_EQ(form.Color.get(), 0x00FF00);
  EXPECT_EQ(form.Tag, -7);
  ASSERT_NE(form.btnA, nullptr);
  EXPECT_EQ(form.btnA->ModalResult.get(), mrYes);
  EXPECT_TRUE(bool(form.btnA->OnClick));
}

// Images of a layout named by bitmap resource instead of inline data (STRIP: 8 x 2, blue then
// lime, its bottom-left pixel white).
TEST(Layout, ImagesFromBitmapResources) {
  TfrmText form(nullptr);
  form.Read(
      "object f: TfrmText\n"
      "  object imgStrip: TImage\n    Picture.Resource = 'STRIP'\n  end\n"
      "  object btnStrip: TSpeedButton\n    Glyph.Resource = 'STRIP'\n    NumGlyphs = 2\n  end\n"
      "  object ilStrip: TImageList\n    Width = 4\n    Height = 2\n    Bitmap.Resource = 'STRIP'\n  end\n"
      "end\n");
  auto* img = dynamic_cast<TImage*>(form.FindComponent("imgStrip"));
  ASSERT_NE(img, nullptr);
  TBitmap* picture = img->Picture->Bitmap;
  ASSERT_EQ(picture->Width.get(), 8);
  ASSERT_EQ(picture->Height.get(), 2);
  EXPECT_EQ(picture->Canvas->Pixels[1][0], TColor(clBlue));
  EXPECT_EQ(picture->Canvas->Pixels[7][1], TColor(clLime));
  EXPECT_EQ(picture->Canvas->Pixels[0][1], TColor(clWhite));
  auto* button = dynamic_cast<TSpeedButton*>(form.FindComponent("btnStrip"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->Glyph->Width.get(), 8);
  EXPECT_EQ(button->Glyph->Canvas->Pixels[5][0], TColor(clLime));
  auto* list = dynamic_cast<TImageList*>(form.FindComponent("ilStrip"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count.get(), 2);
  TBitmap second;
  list->GetBitmap(1, &second);
  EXPECT_EQ(second.Canvas->Pixels[0][0], TColor(clLime));
}

TEST(Layout, AMissingBitmapResourceNamesTheComponentAndTheProperty) {
  const char* props[][2] = {{"TImage", "Picture.Resource"}, {"TSpeedButton", "Glyph.Resource"},
                            {"TImageList", "Bitmap.Resource"}};
  for (auto& p : props) {
    TfrmText form(nullptr);
    std::string text = std::string("object f: TfrmText\n  object thing: ") + p[0] + "\n    " + p[1] +
                       " = 'NO_SUCH_BITMAP'\n  end\nend\n";
    try {
      form.Read(text.c_str());
      ADD_FAILURE() << p[1] << ": no error";
    } catch (ELayoutError& e) {
      EXPECT_EQ(e.FormName, AnsiString("TfrmText")) << p[1];
      EXPECT_EQ(e.ComponentName, AnsiString("thing")) << p[1];
      EXPECT_EQ(e.Name, AnsiString(p[1]));
    }
  }
}

TEST(Layout, MissingLayoutResourceIsAnError) {
  class TfrmNowhere : public TForm {
   public:
    explicit TfrmNowhere(TComponent* Owner) : TForm(Owner) { ReadLayout({}); }
  };
  try {
    TfrmNowhere f(nullptr);
    FAIL();
  } catch (ELayoutError& e) {
    EXPECT_NE(e.Message.Pos("TFRMNOWHERE"), 0);
  }
}

}  // namespace
