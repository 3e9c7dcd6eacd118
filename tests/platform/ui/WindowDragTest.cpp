// Moving a borderless form with the mouse from a picture's mouse-down handler, where no window
// manager moves it.
#include <gtest/gtest.h>

#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "UiTest.h"

namespace {

const int kLeft = 100, kTop = 80;

class WindowDragTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.BorderStyle = bsNone;
    form_.SetBounds(kLeft, kTop, 300, 200);
    picture_ = new TImage(&form_);
    picture_->Parent = &form_;
    picture_->SetBounds(0, 0, 300, 150);
    // The handler of the login dialog's frame picture.
    picture_->OnMouseDown = [this](TObject*, TMouseButton button, TShiftState, int, int) {
      if (button != mbLeft) return;
      ReleaseCapture();
      SendMessageA(form_.Handle, WM_SYSCOMMAND, 0xF012, 0);
    };
    picture_->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { ++ups_; };
    plain_ = new TPanel(&form_);
    plain_->Parent = &form_;
    plain_->SetBounds(0, 150, 300, 50);
    form_.Show();
    uitest::Pump(10);
  }
  void TearDown() override { form_.Hide(); }

  // Presses on the picture at (x, y) and keeps where that is on the screen.
  void Press(int x, int y) {
    pressed_ = picture_->ClientToScreen(TPoint(x, y));
    uitest::MouseDown(picture_, x, y);
  }
  // Moves the mouse by (dx, dy) on the screen from the press, over the picture.
  void MoveBy(int dx, int dy, TShiftState held = TShiftState() << ssLeft) {
    TPoint p = picture_->ScreenToClient(TPoint(pressed_.x + dx, pressed_.y + dy));
    uitest::MouseMove(picture_, p.x, p.y, held);
  }
  void ReleaseAt(int dx, int dy) {
    TPoint p = picture_->ScreenToClient(TPoint(pressed_.x + dx, pressed_.y + dy));
    uitest::MouseUp(picture_, p.x, p.y);
  }
  void ExpectAt(int left, int top, const char* where) {
    EXPECT_EQ(form_.Left.get(), left) << where;
    EXPECT_EQ(form_.Top.get(), top) << where;
  }

  TForm form_{nullptr, 0};
  TImage* picture_ = nullptr;
  TPanel* plain_ = nullptr;
  TPoint pressed_;
  int ups_ = 0;
};

TEST_F(WindowDragTest, TheFormFollowsTheMouseUntilTheButtonGoesUp) {
  Press(20, 30);
  struct Step {
    int dx, dy;
  };
  // Each step is measured from the press: the form moves by the whole way the mouse went.
  const Step steps[] = {{1, 0}, {5, 3}, {40, -20}, {-30, 25}, {-100, -60}, {12, 7}};
  for (const Step& s : steps) {
    MoveBy(s.dx, s.dy);
    ExpectAt(kLeft + s.dx, kTop + s.dy, "while dragging");
    // The pointer stays over the point that was pressed.
    TPoint under = picture_->ClientToScreen(TPoint(20, 30));
    EXPECT_EQ(under.x, pressed_.x + s.dx);
    EXPECT_EQ(under.y, pressed_.y + s.dy);
  }
  ReleaseAt(12, 7);
  ExpectAt(kLeft + 12, kTop + 7, "at the release");
  // As after the system's own move, the picture does not see the button go up.
  EXPECT_EQ(ups_, 0);

  // Moves after the release leave the form where it is, even with the button down again on a
  // control that does not move the window.
  MoveBy(60, 60, TShiftState());
  ExpectAt(kLeft + 12, kTop + 7, "hovering after the release");
  MoveBy(-60, 30);
  ExpectAt(kLeft + 12, kTop + 7, "a move reporting the button after the release");
  uitest::MouseDown(plain_, 5, 5);
  uitest::MouseMove(plain_, 50, 40, TShiftState() << ssLeft);
  uitest::MouseUp(plain_, 50, 40);
  ExpectAt(kLeft + 12, kTop + 7, "dragging over another control");

  // Released, the picture's own mouse-up comes back.
  uitest::MouseDown(picture_, 5, 5, mbRight);
  uitest::MouseUp(picture_, 5, 5, mbRight);
  EXPECT_EQ(ups_, 1);

  // A second drag starts from where the first one left the form.
  Press(50, 50);
  MoveBy(-8, 9);
  ReleaseAt(-8, 9);
  ExpectAt(kLeft + 12 - 8, kTop + 7 + 9, "second drag");
}

TEST_F(WindowDragTest, EscapePutsTheFormBack) {
  Press(20, 30);
  MoveBy(50, 40);
  ExpectAt(kLeft + 50, kTop + 40, "before Escape");
  uitest::KeyPress(&form_, VK_ESCAPE);
  ExpectAt(kLeft, kTop, "after Escape");
  MoveBy(70, 70);
  ExpectAt(kLeft, kTop, "moving after Escape");
}

TEST_F(WindowDragTest, AButtonReleasedUnseenEndsTheDrag) {
  Press(20, 30);
  MoveBy(10, 10);
  // The button went up outside the program: the next move comes without it.
  MoveBy(20, 20, TShiftState());
  ExpectAt(kLeft + 10, kTop + 10, "move without the button");
  MoveBy(30, 30);
  ExpectAt(kLeft + 10, kTop + 10, "move with a button held again");
}

TEST_F(WindowDragTest, OnlyTheLeftButtonMovesTheForm) {
  uitest::MouseDown(picture_, 20, 30, mbRight);
  uitest::MouseMove(picture_, 60, 60, TShiftState() << ssRight);
  uitest::MouseUp(picture_, 60, 60, mbRight);
  ExpectAt(kLeft, kTop, "right button");
  EXPECT_EQ(ups_, 1);
}

}  // namespace
