// Boxes and dialogs as the user sees them: above every window of the program (a stay-on-top
// window included), owned by the active window, with Korean buttons and a dialog's frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Forms.h"
#include "SampleForm.h"
#include "UiTest.h"
#include "shlobj.h"
#include "winplat.h"

namespace {

AnsiString K(const char* utf8) { return AnsiString(winplat::Utf8ToCp949(utf8)); }

std::vector<AnsiString> K(std::initializer_list<const char*> utf8) {
  std::vector<AnsiString> list;
  for (const char* t : utf8) list.push_back(K(t));
  return list;
}

// Presses the button; a box without it is still closed (by its first button), so that the
// test goes on.
void Answer(HWND box, const AnsiString& button) {
  if (uitest::PressButton(box, button)) return;
  ADD_FAILURE() << "no button " << winplat::Cp949ToUtf8(button.str());
  std::vector<AnsiString> buttons = uitest::DescribeWindow(box).buttons;
  if (!buttons.empty()) uitest::PressButton(box, buttons.front());
}

class BoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::ResetApplication();
    uitest::SetMessageBoxHook(nullptr);
    // The notice window of a run: borderless, staying on top of the main window.
    notice.BorderStyle = bsNone;
    notice.FormStyle = fsStayOnTop;
    notice.SetBounds(100, 100, 300, 300);
  }
  void TearDown() override {
    uitest::SetBoxHook(nullptr);
    uitest::SetModalHook(nullptr);
    uitest::SetFolderDialogHook(nullptr);
    uitest::ResetApplication();
  }
  // Shows the main window and then the notice window, which becomes the active one.
  void ShowBoth() {
    main.Show();
    notice.Show();
    uitest::Pump(50);
  }
  // Shows a real box and answers it with the button "answer"; facts are those of the open box.
  int AskWith(UINT flags, const char* answer, uitest::WindowFacts& facts) {
    uitest::SetBoxHook([&](HWND box) {
      facts = uitest::DescribeWindow(box);
      Answer(box, K(answer));
    });
    return Application->MessageBox("text", "Movrant for Pavo", int(flags));
  }

  TfrmSample main{nullptr};
  TForm notice{nullptr, 0};
};

TEST_F(BoxTest, MessageBoxesHaveKoreanButtonsInWindowsOrderAndADialogFrame) {
  struct Case {
    UINT flags;
    std::vector<AnsiString> buttons;
    const char* press;
    int answer;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONHAND, K({"확인"}), "확인", IDOK},
      {MB_OKCANCEL, K({"확인", "취소"}), "취소", IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, K({"예", "아니요"}), "예", IDYES},
      {MB_YESNO | MB_ICONHAND, K({"예", "아니요"}), "아니요", IDNO},
      {MB_YESNOCANCEL, K({"예", "아니요", "취소"}), "취소", IDCANCEL},
      {MB_RETRYCANCEL, K({"다시 시도", "취소"}), "다시 시도", IDRETRY},
      {MB_ABORTRETRYIGNORE, K({"중단", "다시 시도", "무시"}), "무시", IDIGNORE},
      {MB_ABORTRETRYIGNORE, K({"중단", "다시 시도", "무시"}), "중단", IDABORT},
  };
  for (const Case& c : cases) {
    uitest::WindowFacts facts;
    EXPECT_EQ(AskWith(c.flags, c.press, facts), c.answer) << c.flags << " " << c.press;
    EXPECT_EQ(facts.buttons, c.buttons) << c.flags;
    EXPECT_EQ(facts.caption, AnsiString("Movrant for Pavo"));
    EXPECT_TRUE(facts.modal);
    EXPECT_FALSE(facts.minimizeBox) << c.flags;
    EXPECT_FALSE(facts.maximizeBox) << c.flags;
  }
}

// A box shows the first 4,096 bytes of a text at most (a path from a model's info file can be
// megabytes long, and Qt lays out all of a text it is given).
TEST_F(BoxTest, AMessageBoxShowsNoMoreOfATextThanItCan) {
  const std::string start = K("설치 프로그램이 해당 Folder에 없습니다.\nPath : C:\\").str();
  const std::string text = start + std::string(100000, 'a');
  uitest::WindowFacts facts;
  uitest::SetBoxHook([&](HWND box) {
    facts = uitest::DescribeWindow(box);
    Answer(box, K("확인"));
  });
  EXPECT_EQ(Application->MessageBox(text.c_str(), "Movrant for Pavo", MB_OK | MB_ICONHAND), IDOK);
  bool shown = false;
  for (const AnsiString& t : facts.texts)
    if (t.str().rfind(start, 0) == 0) {
      shown = true;
      EXPECT_EQ(t.Length(), 4096);
      EXPECT_TRUE(text.compare(0, size_t(t.Length()), t.str()) == 0) << "not the text's start";
    }
  EXPECT_TRUE(shown) << "the box's text";
}

TEST_F(BoxTest, AMessageBoxOpensAboveTheStayOnTopNoticeWindow) {
  ShowBoth();
  // Asked while the notice window is active: the box belongs to it.
  uitest::WindowFacts facts;
  EXPECT_EQ(AskWith(MB_YESNO | MB_ICONQUESTION, "예", facts), IDYES);
  EXPECT_TRUE(facts.visible);
  EXPECT_TRUE(facts.modal);
  EXPECT_EQ(facts.owner, notice.Handle.get());
  EXPECT_TRUE(facts.keptAboveOwner);
  EXPECT_TRUE(facts.staysOnTop);  // in the notice window's band, above it as its own window

  // Asked from the main window (its PAUSE button) while the notice window stays over it: the
  // box belongs to the main window and still stays on top, so the notice cannot cover it.
  main.BringToFront();
  uitest::Pump(50);
  EXPECT_EQ(AskWith(MB_YESNO | MB_ICONQUESTION, "아니요", facts), IDNO);
  EXPECT_TRUE(facts.modal);
  EXPECT_EQ(facts.owner, main.Handle.get());
  EXPECT_TRUE(facts.staysOnTop);

  // Without a stay-on-top window the box is an ordinary window of its owner.
  notice.Hide();
  main.BringToFront();
  uitest::Pump(50);
  AskWith(MB_OK, "확인", facts);
  EXPECT_EQ(facts.owner, main.Handle.get());
  EXPECT_FALSE(facts.staysOnTop);
}

// The zip component's dialog box is a form shown modally.
TEST_F(BoxTest, AModalFormOpensAboveTheNoticeWindowAndGoesBackToNormalAfter) {
  ShowBoth();
  TForm box(nullptr, 0);
  box.BorderStyle = bsDialog;
  box.SetBounds(0, 0, 200, 100);
  uitest::WindowFacts facts;
  uitest::SetModalHook([&](TCustomForm* f) {
    facts = uitest::DescribeWindow(f->Handle);
    f->ModalResult = mrOk;
  });
  EXPECT_EQ(box.ShowModal(), mrOk);
  EXPECT_TRUE(facts.visible);
  EXPECT_TRUE(facts.modal);
  EXPECT_EQ(facts.owner, notice.Handle.get());
  EXPECT_TRUE(facts.keptAboveOwner);  // as the window system sees it, like the layer's boxes
  EXPECT_TRUE(facts.staysOnTop);
  EXPECT_FALSE(facts.minimizeBox);
  EXPECT_FALSE(facts.maximizeBox);
  uitest::WindowFacts after = uitest::DescribeWindow(box.Handle);
  EXPECT_FALSE(after.visible);
  EXPECT_FALSE(after.keptAboveOwner);
  EXPECT_FALSE(after.staysOnTop);
  EXPECT_EQ(after.owner, nullptr);
}

TEST_F(BoxTest, TheFolderDialogAndItsNewFolderBoxOpenAboveTheNoticeWindow) {
  ShowBoth();
  uitest::WindowFacts dialogFacts, newFolderFacts;
  HWND dialogHandle = nullptr;
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& dialog) {
    dialogHandle = dialog.Handle();
    dialogFacts = uitest::DescribeWindow(dialog.Handle());
    uitest::SetBoxHook([&](HWND box) {
      newFolderFacts = uitest::DescribeWindow(box);
      Answer(box, K("취소"));
    });
    EXPECT_TRUE(uitest::PressButton(dialog.Handle(), K("새 폴더 만들기")));
    dialog.Cancel();
  });
  char name[MAX_PATH] = {0};
  BROWSEINFOA bi{};
  bi.hwndOwner = main.Handle;
  bi.pszDisplayName = name;
  bi.lpszTitle = "folder";
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  EXPECT_EQ(SHBrowseForFolderA(&bi), nullptr);

  EXPECT_TRUE(dialogFacts.modal);
  EXPECT_EQ(dialogFacts.owner, notice.Handle.get());
  EXPECT_TRUE(dialogFacts.staysOnTop);
  EXPECT_EQ(dialogFacts.buttons, K({"새 폴더 만들기", "확인", "취소"}));
  EXPECT_FALSE(dialogFacts.minimizeBox);
  EXPECT_FALSE(dialogFacts.maximizeBox);

  ASSERT_TRUE(newFolderFacts.exists);
  EXPECT_TRUE(newFolderFacts.modal);
  EXPECT_EQ(newFolderFacts.owner, dialogHandle);
  EXPECT_TRUE(newFolderFacts.staysOnTop);
  EXPECT_EQ(newFolderFacts.buttons, K({"확인", "취소"}));
  EXPECT_FALSE(newFolderFacts.minimizeBox);
  EXPECT_FALSE(newFolderFacts.maximizeBox);
}

}  // namespace
