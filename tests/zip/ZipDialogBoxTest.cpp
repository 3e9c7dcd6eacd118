// The zip dialog box and the core's dialog path: icons, beeps, buttons, password entry and the
// OnZipDialog handler. Modal forms are answered by the test through the modal hook.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "UiTest.h"
#include "ZBCore.h"
#include "ZipDialogBox.h"
#include "windows.h"

// The system's font configuration keeps its caches until exit; a sanitized run must not count
// them against the dialog.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

std::vector<TButton*> Buttons(TComponent* form) {
  std::vector<TButton*> list;
  for (int i = 0; i < form->ComponentCount(); ++i)
    if (auto* b = dynamic_cast<TButton*>(form->Components(i))) list.push_back(b);
  return list;
}

class ZipDialogTest : public ::testing::Test {
 protected:
  void TearDown() override { uitest::SetModalHook(nullptr); }
};

TEST_F(ZipDialogTest, IconAndBeepByKind) {
  struct Case {
    int type;
    LPCSTR icon;
    unsigned beep;
    int dialogType;
  };
  const Case cases[] = {
      {0x11, IDI_HAND, MB_ICONHAND, 0x110000},
      {0x12, IDI_ASTERISK, MB_ICONASTERISK, 0x120000},
      {0x00, IDI_EXCLAMATION, MB_ICONEXCLAMATION, 0x100000},  // no type: a warning
      {0x10, IDI_EXCLAMATION, MB_ICONEXCLAMATION, 0x100000},
      {0x13, IDI_QUESTION, MB_ICONQUESTION, 0x130000},
      {0x14, nullptr, 0, 0x140000},  // password entry
      {0x15, nullptr, 0, 0x150000},
      {0x17, nullptr, 0, 0x170000},
      {0x1C, nullptr, 0, 0x1C0000},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TZipDialogBox> box(TZipDialogBox::CreateNew(Application, ZipDlgContext(c.type, 10001)));
    EXPECT_EQ(box->IconId, c.icon) << c.type;
    EXPECT_EQ(box->BeepId, c.beep) << c.type;
    EXPECT_EQ(box->DialogType(), c.dialogType) << c.type;
    EXPECT_GT(box->AvDlgCharWidth, 0);
    EXPECT_GT(box->AvDlgCharHeight, 0);
    box->Build("t", "message", TMsgDlgButtons() << mbOK);
    auto* image = dynamic_cast<TImage*>(box->FindComponent("Image"));
    EXPECT_EQ(image != nullptr, c.icon != nullptr) << c.type;
    if (image) {
      EXPECT_EQ(image->Picture->Icon->Handle.get(), LoadIconA(nullptr, c.icon));
      EXPECT_EQ(image->Width.get(), 32);
      EXPECT_EQ(image->Height.get(), 32);
    }
    EXPECT_EQ(box->FindComponent("zbdEdit") != nullptr, c.type == 0x14) << c.type;
  }
}

TEST_F(ZipDialogTest, DefaultAndCancelButtons) {
  struct Case {
    TMsgDlgButtons buttons;
    std::vector<const char*> captions;
    const char* defaultCaption;
    const char* cancelCaption;
  };
  const Case cases[] = {
      {TMsgDlgButtons() << mbOK << mbCancel, {"&OK", "&Cancel"}, "&OK", "&Cancel"},
      {TMsgDlgButtons() << mbYes << mbNo, {"&Yes", "&No"}, "&Yes", "&No"},
      {TMsgDlgButtons() << mbAbort << mbIgnore, {"&Abort", "&Ignore"}, nullptr, nullptr},
      {TMsgDlgButtons() << mbCancel << mbYes << mbNo, {"&Yes", "&No", "&Cancel"}, "&Yes", "&Cancel"},
      {TMsgDlgButtons() << mbRetry << mbCancel, {"&Cancel", "&Retry"}, "&Retry", "&Cancel"},  // table order
      {TMsgDlgButtons() << mbOK, {"&OK"}, "&OK", "&OK"},
      {TMsgDlgButtons() << mbOK << mbCancel << mbAll << mbHelp, {"&OK", "&Cancel", "CancelAll"}, "&OK", "&Cancel"},
      {TMsgDlgButtons() << mbNoToAll << mbYesToAll, {"NoToAll", "YesToAll"}, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TZipDialogBox> box(TZipDialogBox::CreateNew(Application, ZipDlgContext(0x12, 10000)));
    box->Build("t", "text", c.buttons);
    std::vector<TButton*> buttons = Buttons(box.get());
    ASSERT_EQ(buttons.size(), c.captions.size());
    const char* def = nullptr;
    const char* cancel = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
      TButton* b = buttons[i];
      EXPECT_EQ(b->Name.str(), "zbdlg" + std::to_string(i + 1));
      EXPECT_EQ(AnsiString(b->Caption).str(), c.captions[i]);
      EXPECT_EQ(b->TabOrder.get(), int(i) + 1);
      EXPECT_TRUE(b->TabStop.get());
      EXPECT_EQ(b->Width.get(), buttons[0]->Width.get());  // one width for all
      if (b->Default) def = c.captions[i];
      if (b->Cancel) cancel = c.captions[i];
    }
    EXPECT_STREQ(def, c.defaultCaption);
    EXPECT_STREQ(cancel, c.cancelCaption);
  }
}

TEST_F(ZipDialogTest, ButtonsCarryTheirModalResults) {
  std::unique_ptr<TZipDialogBox> box(TZipDialogBox::CreateNew(Application, 0));
  TMsgDlgButtons all;
  for (int b = mbYes; b <= mbHelp; ++b) all << TMsgDlgBtn(b);
  box->Build("", "text", all);
  std::vector<TButton*> buttons = Buttons(box.get());
  ASSERT_EQ(buttons.size(), 10u);  // mbHelp is never created
  const int results[] = {mrYes, mrNo, mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrAll, mrNoToAll, mrYesToAll};
  for (size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(buttons[i]->ModalResult.get(), results[i]);
    if (i > 0) {
      EXPECT_GT(buttons[i]->Left.get(), buttons[i - 1]->Left.get());
    }
  }
  EXPECT_EQ(AnsiString(box->Caption).str(), AnsiString(Application->Title).str());
}

TEST_F(ZipDialogTest, LongMessagesWrapAtHalfTheScreen) {
  std::string longText;
  for (int i = 0; i < 60; ++i) longText += "word" + std::to_string(i) + " ";
  std::unique_ptr<TZipDialogBox> shortBox(TZipDialogBox::CreateNew(Application, ZipDlgContext(0x11, 1)));
  shortBox->Build("t", "short", TMsgDlgButtons() << mbOK);
  std::unique_ptr<TZipDialogBox> longBox(TZipDialogBox::CreateNew(Application, ZipDlgContext(0x11, 1)));
  longBox->Build("t", longText.c_str(), TMsgDlgButtons() << mbOK);

  TLabel* label = longBox->TxtLabel;
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Name.str(), "zbdText");
  EXPECT_TRUE(label->WordWrap.get());
  EXPECT_LE(label->Width.get(), Screen->Width.get() / 2);
  EXPECT_GT(label->Height.get(), shortBox->TxtLabel->Height.get());
  EXPECT_GT(longBox->ClientHeight.get(), shortBox->ClientHeight.get());
  EXPECT_LT(longBox->ClientHeight.get(), label->Height.get() * 3);  // no more than the text needs
  // Centred on the screen.
  EXPECT_EQ(longBox->Left.get(), Screen->Width.get() / 2 - longBox->Width.get() / 2);
  EXPECT_EQ(longBox->Top.get(), Screen->Height.get() / 2 - longBox->Height.get() / 2);
  // The text stands right of the icon and the buttons below it.
  EXPECT_GT(label->Left.get(), 32);
  for (TButton* b : Buttons(longBox.get())) EXPECT_GE(b->Top.get(), label->Top.get() + label->Height.get());
}

TEST_F(ZipDialogTest, PasswordFieldStandsBetweenTextAndButtons) {
  std::unique_ptr<TZipDialogBox> box(TZipDialogBox::CreateNew(Application, ZipDlgContext(ZIP_DLG_PASSWORD, 10003)));
  box->Build("Password", "Enter Password ", TMsgDlgButtons() << mbOK << mbCancel);
  auto* edit = dynamic_cast<TEdit*>(box->FindComponent("zbdEdit"));
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(AnsiString(edit->Text).IsEmpty());
  EXPECT_EQ(edit->TabOrder.get(), 1);
  EXPECT_TRUE(edit->TabStop.get());
  EXPECT_EQ(box->ActiveControl.get(), edit);
  // At least 80 average characters wide, and the form holds it with its margins.
  const int minWidth = 80 * box->AvDlgCharWidth;
  EXPECT_GE(edit->Width.get(), minWidth);
  EXPECT_GE(box->ClientWidth.get(), edit->Left.get() + edit->Width.get());
  EXPECT_EQ(edit->Left.get(), box->TxtLabel->Left.get());  // the text's left edge
  TLabel* label = box->TxtLabel;
  EXPECT_GT(edit->Top.get(), label->Top.get() + label->Height.get());
  std::vector<TButton*> buttons = Buttons(box.get());
  ASSERT_EQ(buttons.size(), 2u);
  for (size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_GT(buttons[i]->Top.get(), edit->Top.get() + edit->Height.get());  // the row below the field
    EXPECT_LE(buttons[i]->Top.get() + buttons[i]->Height.get(), box->ClientHeight.get());
    EXPECT_EQ(buttons[i]->TabOrder.get(), int(i) + 2);  // the field takes the first place
  }
}

class ZipCoreDialogTest : public ZipDialogTest {
 protected:
  TComponent owner{nullptr};
  TZBCore core{&owner};
};

// Answers the next modal box: optional text into the password field, then a button.
void AnswerWith(const char* caption, const char* typed = nullptr, std::vector<std::string>* seen = nullptr) {
  uitest::SetModalHook([=](TCustomForm* form) {
    if (seen) seen->push_back(AnsiString(form->Caption).str());
    if (typed) {
      auto* edit = dynamic_cast<TEdit*>(form->FindComponent("zbdEdit"));
      ASSERT_NE(edit, nullptr);
      EXPECT_EQ(form->ActiveControl.get(), edit);
      EXPECT_EQ(edit->PasswordChar.get(), '*');
      EXPECT_EQ(edit->MaxLength.get(), 80);
      EXPECT_EQ(edit->TabOrder.get(), 1);
      edit->Text = typed;
    }
    for (TButton* b : Buttons(form))
      if (AnsiString(b->Caption).str() == caption) {
        uitest::Click(b);
        return;
      }
    ADD_FAILURE() << "no button " << caption;
    form->ModalResult = mrCancel;
  });
}

TEST_F(ZipCoreDialogTest, PasswordRequestReturnsTheTypedText) {
  AnsiString message = "Enter Password ";
  AnswerWith("&OK", "s3cret");
  EXPECT_EQ(core.ZipDialog("Password", message, ZipDlgContext(ZIP_DLG_PASSWORD, 10003),
                           TMsgDlgButtons() << mbOK << mbCancel << mbAll),
            mrOk);
  EXPECT_EQ(message.str(), "s3cret");

  message = "Enter Password ";
  AnswerWith("&Cancel", "typed but cancelled");
  EXPECT_EQ(core.ZipDialog("Password", message, ZipDlgContext(ZIP_DLG_PASSWORD, 10003),
                           TMsgDlgButtons() << mbOK << mbCancel),
            mrCancel);
  EXPECT_TRUE(message.IsEmpty());
}

TEST_F(ZipCoreDialogTest, OnZipDialogAnswersOnlyWithOneToTen) {
  struct Case {
    int answer;
    int result;
    bool shown;
    const char* message;
  };
  const Case cases[] = {
      {10, 10, false, "changed"},
      {1, 1, false, "changed"},
      {0, mrOk, true, "original"},
      {11, mrOk, true, "original"},
      {-1, mrOk, true, "original"},
  };
  for (const Case& c : cases) {
    int seenContext = 0;
    core.Events()->OnZipDialog = [&](TObject* sender, const AnsiString&, AnsiString& msg, int& context,
                                     TMsgDlgButtons) {
      EXPECT_EQ(sender, &owner);
      seenContext = context;
      msg = "changed";
      context = c.answer;
    };
    std::vector<std::string> shown;
    AnswerWith("&OK", nullptr, &shown);
    AnsiString message = "original";
    EXPECT_EQ(core.ZipDialog("Title", message, ZipDlgContext(0x12, 10000), TMsgDlgButtons() << mbOK), c.result)
        << c.answer;
    EXPECT_EQ(seenContext, ZipDlgContext(0x12, 10000));
    EXPECT_EQ(shown.size(), c.shown ? 1u : 0u) << c.answer;
    EXPECT_EQ(message.str(), c.message) << c.answer;
  }
}

TEST_F(ZipCoreDialogTest, VerboseTitleIsAnnouncedBeforeTheBox) {
  std::vector<std::string> order;
  core.Verbose = true;
  core.Events()->OnMessage = [&order](TObject*, int code, const AnsiString& msg) {
    order.push_back("message " + std::to_string(code) + " " + msg.str());
  };
  AnswerWith("&OK", nullptr, &order);
  core.ShowZipMessageBox("Something failed", ZipDlgContext(ZIP_DLG_ERROR, 10001));
  const std::string title = AnsiString(Application->Title).str() + "   (10001)";
  EXPECT_EQ(order, (std::vector<std::string>{"message 0 " + title, title}));
}

TEST_F(ZipCoreDialogTest, ErrorBoxOfAnAttendedCore) {
  core.Unattended = false;
  std::vector<std::string> shown;
  AnswerWith("&OK", nullptr, &shown);
  core.ReportError(EZipBuilder::CreateFromId(10102, true));
  EXPECT_EQ(shown, (std::vector<std::string>{AnsiString(Application->Title).str()}));
  EXPECT_EQ(core.ErrCode, 10102);
}

// A damaged archive during a run: the box comes above the run's stay-on-top notice window, as
// the layer's own boxes do, and is answered there.
TEST_F(ZipCoreDialogTest, TheBoxOpensAboveAStayOnTopWindowOfItsProgram) {
  TForm mainWindow(nullptr, 0);
  TForm notice(nullptr, 0);
  notice.BorderStyle = bsNone;
  notice.FormStyle = fsStayOnTop;
  mainWindow.SetBounds(0, 0, 400, 300);
  notice.SetBounds(100, 100, 200, 150);
  mainWindow.Show();
  notice.Show();
  uitest::Pump(50);
  uitest::WindowFacts facts;
  uitest::SetModalHook([&](TCustomForm* form) {
    facts = uitest::DescribeWindow(form->Handle);
    form->ModalResult = mrOk;
  });
  core.Unattended = false;
  core.ShowZipMessageBox("This archive is not a valid Zip archive", ZipDlgContext(ZIP_DLG_ERROR, 10001));
  EXPECT_TRUE(facts.visible);
  EXPECT_TRUE(facts.modal);
  EXPECT_EQ(facts.owner, notice.Handle.get());
  EXPECT_TRUE(facts.keptAboveOwner);
  EXPECT_TRUE(facts.staysOnTop);
}

}  // namespace
