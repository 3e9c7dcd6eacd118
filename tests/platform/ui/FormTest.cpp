// The application object and forms: modal loops, the message loop, closing, message boxes.
#include <gtest/gtest.h>

#include "ComCtrls.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "StdCtrls.h"
#include "SampleForm.h"
#include "UiTest.h"

namespace {

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::ResetApplication();
    uitest::ClearShownBoxes();
    uitest::SetMessageBoxHook(nullptr);
    uitest::SetModalHook(nullptr);
  }
  void TearDown() override {
    uitest::SetMessageBoxHook(nullptr);
    uitest::SetModalHook(nullptr);
    uitest::ResetApplication();
  }
};

TEST_F(FormTest, ShowModalReturnsTheModalResultAHandlerSets) {
  for (int result : {int(mrOk), int(mrCancel), 4}) {
    TfrmSample form(nullptr);
    form.resultOnTick = result;
    form.Timer1->Enabled = true;
    EXPECT_EQ(form.ShowModal(), result);
    EXPECT_EQ(form.ticks, 1);
    EXPECT_FALSE(form.Visible.get());
    EXPECT_EQ(form.created, 1);
    EXPECT_EQ(form.shown, 1);
  }
}

// A handler that ends the program and closes its dialog (a restart after a self-update): the
// dialog still answers the result it was closed with.
TEST_F(FormTest, AModalResultSetAlongWithTerminateIsReturned) {
  struct Case {
    bool terminateFirst;
    int result;
    int expected;
  } cases[] = {{true, 4, 4}, {false, 4, 4}, {true, mrNone, mrCancel}};
  for (const Case& c : cases) {
    uitest::ResetApplication();
    TfrmSample form(nullptr);
    uitest::SetModalHook([&](TCustomForm* f) {
      if (c.terminateFirst) Application->Terminate();
      f->ModalResult = c.result;
      if (!c.terminateFirst) Application->Terminate();
    });
    EXPECT_EQ(form.ShowModal(), c.expected) << c.terminateFirst << " " << c.result;
    EXPECT_TRUE(Application->Terminated.get());
    EXPECT_FALSE(form.Visible.get());
  }
}

TEST_F(FormTest, CloseQueryCanKeepAModalFormOpen) {
  TfrmSample form(nullptr);
  int queries = 0;
  form.OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = ++queries >= 2; };
  form.resultOnTick = mrYes;
  uitest::SetModalHook([&](TCustomForm* f) {
    f->Close();  // refused by the first query: the loop goes on until the timer's result
    form.Timer1->Enabled = true;
  });
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(form.ticks, 1);
}

TEST_F(FormTest, AButtonsModalResultEndsTheLoop) {
  TfrmSample form(nullptr);
  form.btnOk->ModalResult = mrOk;
  uitest::SetModalHook([&](TCustomForm*) { uitest::Click(form.btnOk); });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.clicks, 1);
}

TEST_F(FormTest, ClosingTheWindowOfAModalFormCancels) {
  TfrmSample form(nullptr);
  uitest::SetModalHook([&](TCustomForm* f) { uitest::CloseWindow(f); });
  EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST_F(FormTest, RunReturnsAtOnceWithoutAMainForm) {
  ASSERT_EQ(Application->MainForm.get(), nullptr);
  Application->Run();  // would never return if it entered the loop
  SUCCEED();
}

// A data module whose constructor reaches itself through the reference, as the start-up does.
class TdmProbe;
TdmProbe* dmProbe = nullptr;
class TdmProbe : public TDataModule {
 public:
  bool sawItself = false;
  TForm* mainForm = nullptr;
  explicit TdmProbe(TComponent* Owner) : TDataModule(Owner, 0) {
    sawItself = dmProbe == this;
    Application->CreateForm(mainForm);
  }
};

TEST_F(FormTest, CreateFormSetsTheReferenceFirstAndTheFirstFormBecomesMain) {
  Application->CreateForm(dmProbe);
  ASSERT_NE(dmProbe, nullptr);
  EXPECT_TRUE(dmProbe->sawItself);
  EXPECT_EQ(dmProbe->Owner(), Application);
  ASSERT_NE(dmProbe->mainForm, nullptr);
  EXPECT_EQ(Application->MainForm.get(), dmProbe->mainForm);
  TForm* second = nullptr;
  Application->CreateForm(second);
  EXPECT_EQ(Application->MainForm.get(), dmProbe->mainForm);
  // Closing the main form ends the loop.
  dmProbe->mainForm->Close();
  EXPECT_TRUE(Application->Terminated.get());
  Application->Run();
  delete second;
  delete dmProbe->mainForm;
  EXPECT_EQ(Application->MainForm.get(), nullptr);
  delete dmProbe;
  dmProbe = nullptr;
}

TEST_F(FormTest, CloseActionFreeReleasesTheForm) {
  bool destroyed = false;
  auto* form = new TForm(nullptr, 0);
  form->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->Show();
  form->Close();
  EXPECT_FALSE(destroyed);  // freed once the current message is handled
  uitest::Pump(30);
  EXPECT_TRUE(destroyed);
}

TEST_F(FormTest, CloseActionNoneKeepsTheFormShown) {
  TForm form(nullptr, 0);
  form.OnClose = [](TObject*, TCloseAction& Action) { Action = caNone; };
  form.Show();
  form.Close();
  EXPECT_TRUE(form.Visible.get());
  form.OnClose = nullptr;
  form.Close();
  EXPECT_FALSE(form.Visible.get());
}

struct BoxCase {
  int flags;
  int answer;
};

TEST_F(FormTest, TheHookAnswersMessageBoxesAndRecordsThem) {
  const BoxCase cases[] = {{16, IDOK}, {20, IDNO}, {36, IDYES}, {48, IDOK}, {64, IDOK}};
  for (const BoxCase& c : cases) {
    uitest::SetMessageBoxHook([&](const AnsiString& text, const AnsiString& caption, int flags) {
      EXPECT_EQ(text, AnsiString("text"));
      EXPECT_EQ(caption, AnsiString("Movrant for Pavo"));
      EXPECT_EQ(flags, c.flags);
      return c.answer;
    });
    EXPECT_EQ(Application->MessageBox("text", "Movrant for Pavo", c.flags), c.answer);
  }
  ASSERT_EQ(uitest::ShownBoxes().size(), 5u);
  EXPECT_EQ(uitest::ShownBoxes()[2].flags, 36);
}

TEST_F(FormTest, ShowExceptionAndShowMessageUseTheTitle) {
  uitest::AnswerMessageBoxes(IDOK);
  Application->Title = "Title";
  Exception e("broken");
  Application->ShowException(&e);
  ShowMessage("hello");
  ASSERT_EQ(uitest::ShownBoxes().size(), 2u);
  EXPECT_EQ(uitest::ShownBoxes()[0].text, AnsiString("broken."));
  EXPECT_EQ(uitest::ShownBoxes()[0].caption, AnsiString("Title"));
  EXPECT_EQ(uitest::ShownBoxes()[0].flags, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(uitest::ShownBoxes()[1].text, AnsiString("hello"));
}

TEST_F(FormTest, AnExceptionInAnEventHandlerIsShownAndTheLoopGoesOn) {
  uitest::AnswerMessageBoxes(IDOK);
  TfrmSample form(nullptr);
  form.btnOk->OnClick = [](TObject*) { throw Exception("handler failed"); };
  form.Show();
  uitest::Click(form.btnOk);
  ASSERT_EQ(uitest::ShownBoxes().size(), 1u);
  EXPECT_EQ(uitest::ShownBoxes()[0].text, AnsiString("handler failed."));
}

TEST_F(FormTest, KeyPreviewGivesTheFormTheKeysFirst) {
  TfrmSample form(nullptr);
  form.Show();
  uitest::KeyPress(form.edtName, 'A', 'a');
  uitest::KeyPress(form.edtName, VK_RETURN, '\r');
  ASSERT_EQ(form.keysDown.size(), 2u);
  EXPECT_EQ(form.keysDown[0], WORD('A'));
  EXPECT_EQ(form.keysDown[1], WORD(VK_RETURN));
  // The edit box ate the Enter key (Key = 0): no character follows it.
  EXPECT_EQ(form.keysPressed, "a");
}

TEST_F(FormTest, ScreenCursorAndSize) {
  Screen->Cursor = crHourGlass;
  EXPECT_EQ(Screen->Cursor.get(), crHourGlass);
  Screen->Cursor = crDefault;
  EXPECT_EQ(Screen->Cursor.get(), crDefault);
  EXPECT_GT(Screen->Width.get(), 0);
  EXPECT_GT(Screen->Height.get(), 0);
}

// A form shown inside a tab sheet whose tab is hidden, filling it (as a main window hosts its
// page form).
TEST_F(FormTest, AFormInsideAHiddenTabFillsIt) {
  TForm outer(nullptr, 0);
  outer.BorderStyle = bsNone;
  outer.ClientWidth = 400;
  outer.ClientHeight = 300;
  auto* pages = new TPageControl(&outer);
  pages->Parent = &outer;
  pages->Align = alClient;
  pages->TabPosition = tpBottom;
  auto* sheet = new TTabSheet(&outer);
  sheet->PageControl = pages;
  sheet->TabVisible = false;
  auto* bottom = new TPanel(&outer);
  bottom->Parent = sheet;
  bottom->Height = 7;
  bottom->Align = alBottom;
  pages->ActivePageIndex = 0;
  auto* inner = new TForm(&outer, 0);
  inner->BorderStyle = bsNone;
  inner->Color = clRed;
  inner->ClientWidth = 200;
  inner->ClientHeight = 100;
  auto* label = new TLabel(inner);
  label->Parent = inner;
  label->Caption = "inner";
  inner->Parent = sheet;
  outer.Width = inner->Width + 10;
  outer.Height = inner->Height + 50;
  inner->Align = alClient;
  inner->Show();
  outer.Show();
  EXPECT_EQ(pages->ActivePage.get(), sheet);
  EXPECT_TRUE(inner->Showing());
  EXPECT_EQ(outer.Width.get(), 210);
  EXPECT_EQ(outer.Height.get(), 150);
  // The form fills the sheet above its bottom panel.
  EXPECT_EQ(inner->Left.get(), 0);
  EXPECT_EQ(inner->Top.get(), 0);
  EXPECT_EQ(inner->Width.get(), sheet->ClientWidth.get());
  EXPECT_EQ(inner->Height.get(), sheet->ClientHeight.get() - 7);
  TBitmap shot;
  uitest::Grab(&outer, &shot);
  TPoint p = inner->ClientToScreen(Point(inner->Width - 2, inner->Height - 2));
  TPoint q = outer.ScreenToClient(p);
  // Its window has the size it was given, not the fixed size it had on its own.
  EXPECT_EQ(shot.Canvas->GetPixel(q.x, q.y), TColor(clRed)) << q.x << "," << q.y;
  EXPECT_EQ(inner->Parent.get(), sheet);
  EXPECT_EQ(Application->MainForm.get(), nullptr);  // a form made with new never becomes main
}

TEST_F(FormTest, PositionScreenCenterCentresTheForm) {
  TForm form(nullptr, 0);
  form.BorderStyle = bsNone;
  form.ClientWidth = 200;
  form.ClientHeight = 100;
  form.Position = poScreenCenter;
  form.Show();
  EXPECT_EQ(form.Left.get(), (Screen->Width - 200) / 2);
  EXPECT_EQ(form.Top.get(), (Screen->Height - 100) / 2);
}

}  // namespace
