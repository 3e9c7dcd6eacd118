// A window owned by another (the notice window of a run, owned by the download form inside the
// main window) belongs to its owner's window: it goes when the owner is minimised and comes
// back when it is restored, as on Windows, and stays in the stay-on-top band meanwhile.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Forms.h"
#include "UiTest.h"

namespace {

constexpr int kWaitMs = 5000;

// A form without a layout, made by the application as its main form.
class TMainStub : public TForm {
 public:
  explicit TMainStub(TComponent* Owner) : TForm(Owner, 0) {}
};

struct Way {
  const char* name;
  std::function<void(TForm&)> minimise, restore;
};

const Way kWays[] = {
    {"WindowState", [](TForm& f) { f.WindowState = wsMinimized; }, [](TForm& f) { f.WindowState = wsNormal; }},
    {"Application", [](TForm&) { Application->Minimize(); }, [](TForm&) { Application->Restore(); }},
    {"ShowWindow", [](TForm& f) { ShowWindow(f.Handle, SW_MINIMIZE); },
     [](TForm& f) { ShowWindow(f.Handle, SW_RESTORE); }},
};

class OwnedWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::ResetApplication();
    TMainStub* made = nullptr;
    Application->CreateForm(made);
    main = made;
    ASSERT_EQ(Application->MainForm.get(), main);
    main->SetBounds(50, 50, 600, 400);
    // The download form, placed inside the main window.
    page = new TForm(main, 0);
    page->BorderStyle = bsNone;
    page->Parent = main;
    page->Align = alClient;
    page->Show();
  }
  void TearDown() override {
    delete main;
    uitest::SetBoxHook(nullptr);
    uitest::ResetApplication();
  }
  // A stay-on-top notice window owned by owner.
  TForm* Notice(TComponent* owner) {
    auto* notice = new TForm(owner, 0);
    notice->BorderStyle = bsNone;
    notice->FormStyle = fsStayOnTop;
    notice->SetBounds(100, 100, 200, 200);
    return notice;
  }
  static bool Visible(TForm* f) { return uitest::DescribeWindow(f->Handle).visible; }

  TForm* main = nullptr;
  TForm* page = nullptr;
};

TEST_F(OwnedWindowTest, AnOwnedWindowGoesWithItsMinimisedOwnerAndComesBackWithIt) {
  for (const Way& way : kWays) {
    for (bool ownedByPage : {true, false}) {
      std::string what = std::string(way.name) + (ownedByPage ? " page" : " main");
      main->Show();
      TForm* notice = Notice(ownedByPage ? static_cast<TComponent*>(page) : main);
      notice->Show();
      uitest::WindowFacts facts = uitest::DescribeWindow(notice->Handle);
      EXPECT_TRUE(facts.visible) << what;
      EXPECT_EQ(facts.owner, main->Handle.get()) << what;
      EXPECT_TRUE(facts.staysOnTop) << what;

      way.minimise(*main);
      EXPECT_TRUE(uitest::PumpUntil([&] { return !Visible(notice); }, kWaitMs)) << what;
      EXPECT_EQ(main->WindowState.get(), wsMinimized) << what;
      EXPECT_TRUE(notice->Visible.get()) << what;  // hidden by its owner, not by the program

      way.restore(*main);
      EXPECT_TRUE(uitest::PumpUntil([&] { return Visible(notice); }, kWaitMs)) << what;
      facts = uitest::DescribeWindow(notice->Handle);
      EXPECT_EQ(facts.owner, main->Handle.get()) << what;
      EXPECT_TRUE(facts.staysOnTop) << what;
      delete notice;
    }
  }
}

TEST_F(OwnedWindowTest, AWindowTheProgramHidOrThatBelongsToNoFormStaysAsItWas) {
  main->Show();
  TForm* hidden = Notice(page);
  hidden->Show();
  TForm* free = Notice(nullptr);
  free->Show();
  EXPECT_EQ(uitest::DescribeWindow(free->Handle).owner, nullptr);
  main->WindowState = wsMinimized;
  EXPECT_TRUE(uitest::PumpUntil([&] { return !Visible(hidden); }, kWaitMs));
  hidden->Hide();  // closed by its page while the main window is down
  EXPECT_TRUE(Visible(free));
  main->WindowState = wsNormal;
  // The window the program hid stays hidden; the free one was never touched.
  EXPECT_TRUE(uitest::PumpUntil([&] { return main->WindowState.get() == wsNormal; }, kWaitMs));
  EXPECT_FALSE(Visible(hidden));
  EXPECT_FALSE(hidden->Visible.get());
  EXPECT_TRUE(Visible(free));
  delete free;
}

// A box asked from the owned notice window is above it, as before.
TEST_F(OwnedWindowTest, ABoxOfTheOwnedNoticeWindowStaysOnTopOfIt) {
  main->Show();
  TForm* notice = Notice(page);
  notice->Show();
  EXPECT_TRUE(uitest::PumpUntil([&] { return Screen->ActiveForm.get() == notice; }, kWaitMs));
  uitest::WindowFacts facts;
  uitest::SetBoxHook([&](HWND box) {
    facts = uitest::DescribeWindow(box);
    uitest::PressButton(box, facts.buttons.empty() ? AnsiString() : facts.buttons.front());
  });
  Application->MessageBox("text", "Movrant for Pavo", MB_OK);
  EXPECT_TRUE(facts.modal);
  EXPECT_TRUE(facts.staysOnTop);
  EXPECT_EQ(facts.owner, notice->Handle.get());
}

}  // namespace
