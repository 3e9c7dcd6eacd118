#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"

namespace ui {

UiState& State() {
  static UiState s;
  return s;
}

void Safely(const std::function<void()>& f) {
  try {
    f();
  } catch (...) {
    Application->HandleException(Application);
  }
}

}  // namespace ui

namespace uitest {

void SetMessageBoxHook(MessageBoxHook hook) { ui::State().messageBoxHook = std::move(hook); }
void AnswerMessageBoxes(int id) {
  SetMessageBoxHook([id](const AnsiString&, const AnsiString&, int) { return id; });
}
const std::vector<ShownBox>& ShownBoxes() { return ui::State().shownBoxes; }
void ClearShownBoxes() { ui::State().shownBoxes.clear(); }
void SetModalHook(std::function<void(TCustomForm*)> hook) { ui::State().modalHook = std::move(hook); }
void SetFolderDialogHook(std::function<void(FolderDialog&)> hook) { ui::State().folderHook = std::move(hook); }

namespace {
unsigned long gStamp = 1000;
QWidget* WidgetOf(TControl* c) { return c && c->Host() ? c->Host()->widget.data() : nullptr; }
Qt::MouseButton QtButton(TMouseButton b) {
  return b == mbRight ? Qt::RightButton : b == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
}
}  // namespace

void MouseEnter(TControl* control) {
  QWidget* w = WidgetOf(control);
  if (!w) return control->MouseEnter();
  QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QCoreApplication::sendEvent(w, &e);
}

void MouseLeave(TControl* control) {
  QWidget* w = WidgetOf(control);
  if (!w) return control->MouseLeave();
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(w, &e);
}

static void SendMouse(TControl* control, QEvent::Type type, int x, int y, TMouseButton button) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  Qt::MouseButton b = QtButton(button);
  QPointF p(x, y);
  QMouseEvent e(type, p, w->mapToGlobal(p), b, type == QEvent::MouseButtonRelease ? Qt::NoButton : b,
                Qt::NoModifier);
  e.setTimestamp(++gStamp);
  QCoreApplication::sendEvent(w, &e);
}

void MouseDown(TControl* control, int x, int y, TMouseButton button) {
  SendMouse(control, QEvent::MouseButtonPress, x, y, button);
}

void MouseUp(TControl* control, int x, int y, TMouseButton button) {
  SendMouse(control, QEvent::MouseButtonRelease, x, y, button);
}

void MouseMove(TControl* control, int x, int y, TShiftState held) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  Qt::MouseButtons buttons;
  if (held.Contains(ssLeft)) buttons |= Qt::LeftButton;
  if (held.Contains(ssRight)) buttons |= Qt::RightButton;
  if (held.Contains(ssMiddle)) buttons |= Qt::MiddleButton;
  Qt::KeyboardModifiers mods;
  if (held.Contains(ssShift)) mods |= Qt::ShiftModifier;
  if (held.Contains(ssCtrl)) mods |= Qt::ControlModifier;
  if (held.Contains(ssAlt)) mods |= Qt::AltModifier;
  QPointF p(x, y);
  QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, buttons, mods);
  e.setTimestamp(++gStamp);
  QCoreApplication::sendEvent(w, &e);
}

void Click(TControl* control) {
  int x = control->GetWidth() / 2, y = control->GetHeight() / 2;
  MouseDown(control, x, y);
  MouseUp(control, x, y);
}

void KeyPress(TWinControl* control, WORD virtualKey, char ch) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  QString text = ch ? ui::Q(AnsiString(ch)) : QString();
  QKeyEvent down(QEvent::KeyPress, ui::QtKeyFromVirtualKey(virtualKey), Qt::NoModifier, text);
  down.setTimestamp(++gStamp);
  QCoreApplication::sendEvent(w, &down);
  QKeyEvent up(QEvent::KeyRelease, ui::QtKeyFromVirtualKey(virtualKey), Qt::NoModifier, text);
  up.setTimestamp(++gStamp);
  QCoreApplication::sendEvent(w, &up);
}

void CloseWindow(TCustomForm* form) {
  if (QWidget* w = WidgetOf(form)) w->close();
}

void Grab(TControl* control, TBitmap* bitmap) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  w->resize(control->GetWidth(), control->GetHeight());
  QImage img(std::max(1, control->GetWidth()), std::max(1, control->GetHeight()), QImage::Format_RGB32);
  img.fill(Qt::white);
  w->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  bitmap->Image()->image = img;
}

int ForegroundRequests() { return ui::State().foregroundRequests; }

void ResetApplication() { Application->ResetRunState(); }

void Pump(int ms) {
  ui::EnsureQt();
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  } while (t.elapsed() < ms);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
  ui::EnsureQt();
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() >= ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace uitest
