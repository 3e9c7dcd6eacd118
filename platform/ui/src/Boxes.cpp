// Boxes and dialogs: who owns them, their frame and their buttons' words.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"

namespace ui {

namespace {

bool Shown(const QWidget* w) { return w && w->isWindow() && w->isVisible(); }

bool OnTop(const QWidget* w) { return w->windowFlags() & Qt::WindowStaysOnTopHint; }

}  // namespace

QWidget* BoxOwner(const QWidget* box) {
  // As on Windows the box belongs to the active window: the box that is up, else the window
  // last activated; when the program has none (it is in the background, or the activation is
  // not reported yet) the window the user sees on top of it.
  QWidget* modal = QApplication::activeModalWidget();
  if (Shown(modal) && modal != box) return modal;
  QWidget* active = QApplication::activeWindow();
  if (Shown(active) && active != box) return active;
  QWidget* best = nullptr;
  for (TCustomForm* f : State().forms) {
    QWidget* w = f->Host() ? f->Host()->widget.data() : nullptr;
    if (!Shown(w) || w == box) continue;
    if (!best || (OnTop(w) && !OnTop(best))) best = w;
  }
  TCustomForm* main = Application->GetMainForm();
  QWidget* mainWidget = main && main->Host() ? main->Host()->widget.data() : nullptr;
  if (best && !OnTop(best) && Shown(mainWidget) && mainWidget != box) return mainWidget;
  return best;
}

bool ProgramStaysOnTop(const QWidget* box) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != box && Shown(w) && OnTop(w)) return true;
  return false;
}

void SetBoxOwner(QWidget* box, QWidget* owner) {
  box->winId();
  if (QWindow* window = box->windowHandle())
    window->setTransientParent(owner && owner->window()->windowHandle() ? owner->window()->windowHandle() : nullptr);
}

Qt::WindowFlags AsBox(Qt::WindowFlags frame, bool onTop) {
  if ((frame & Qt::WindowType_Mask) == Qt::Window) frame = (frame & ~Qt::WindowFlags(Qt::WindowType_Mask)) | Qt::Dialog;
  if (onTop) frame |= Qt::WindowStaysOnTopHint;
  return frame;
}

Qt::WindowFlags DialogFrame(bool onTop) {
  return AsBox(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint,
               onTop);
}

QString ButtonText(int id) {
  switch (id) {
    case IDOK: return QString::fromUtf8("확인");
    case IDCANCEL: return QString::fromUtf8("취소");
    case IDABORT: return QString::fromUtf8("중단");
    case IDRETRY: return QString::fromUtf8("다시 시도");
    case IDIGNORE: return QString::fromUtf8("무시");
    case IDYES: return QString::fromUtf8("예");
    case IDNO: return QString::fromUtf8("아니요");
    default: return QString();
  }
}

OpenBox::OpenBox(QWidget* box, LONG exStyle) {
  WindowRecord r;
  r.className = "#32770";
  r.widget = box;
  r.style = LONG(WS_POPUP | WS_CAPTION | WS_SYSMENU);
  r.exStyle = exStyle | WS_EX_DLGMODALFRAME;
  r.setText = [box](const AnsiString& t) { box->setWindowTitle(Q(t)); };
  r.getText = [box] { return A(box->windowTitle()); };
  hwnd_ = NewWindow(r);
  if (auto hook = State().boxHook) {
    HWND h = hwnd_;
    QTimer::singleShot(0, box, [h, hook] {
      if (FindWindowRecord(h)) Safely([&] { hook(h); });
    });
  }
}

OpenBox::~OpenBox() { DeleteWindow(hwnd_); }

}  // namespace ui

namespace uitest {

void SetBoxHook(std::function<void(HWND)> hook) { ui::State().boxHook = std::move(hook); }

namespace {

// The visible widgets of type T in the window w itself, in reading order.
template <typename T>
std::vector<T*> InOrder(QWidget* w) {
  std::vector<T*> list;
  for (T* c : w->findChildren<T*>())
    if (c->isVisible() && c->window() == w) list.push_back(c);
  std::stable_sort(list.begin(), list.end(), [](T* a, T* b) {
    QPoint pa = a->mapTo(a->window(), QPoint()), pb = b->mapTo(b->window(), QPoint());
    return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
  });
  return list;
}

std::vector<QAbstractButton*> ButtonsOf(QWidget* w) { return InOrder<QAbstractButton>(w); }

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace

WindowFacts DescribeWindow(HWND window) {
  WindowFacts facts;
  ui::WindowRecord* r = ui::FindWindowRecord(window);
  if (!r || !r->widget) return facts;
  QWidget* w = r->widget;
  facts.exists = true;
  facts.visible = w->isVisible();
  if (QWindow* handle = w->windowHandle())
    if (QWindow* parent = handle->transientParent())
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowHandle() == parent) facts.owner = ui::FindWindowOfWidget(top);
  // The kinds Qt names an owner of to an X11 window manager.
  const Qt::WindowType kind = w->windowType();
  facts.keptAboveOwner = kind == Qt::Dialog || kind == Qt::Sheet || kind == Qt::Tool || kind == Qt::Popup ||
                         kind == Qt::SplashScreen || kind == Qt::ToolTip || kind == Qt::Drawer;
  facts.modal = w->isModal();
  Qt::WindowFlags f = w->windowFlags();
  facts.staysOnTop = f & Qt::WindowStaysOnTopHint;
  // Without the customize hint the window system puts its usual buttons on the frame.
  bool custom = f & Qt::CustomizeWindowHint;
  bool framed = !(f & Qt::FramelessWindowHint);
  facts.minimizeBox = framed && (!custom || (f & Qt::WindowMinimizeButtonHint));
  facts.maximizeBox = framed && (!custom || (f & Qt::WindowMaximizeButtonHint));
  facts.caption = ui::A(w->windowTitle());
  for (QLabel* l : InOrder<QLabel>(w))
    if (!l->text().isEmpty()) facts.texts.push_back(ui::A(l->text()));
  for (QAbstractButton* b : ButtonsOf(w)) {
    facts.buttons.push_back(ui::A(Plain(b->text())));
    if (!b->icon().isNull()) facts.buttonIcons = true;
    if (auto* p = qobject_cast<QPushButton*>(b); p && p->isDefault()) facts.defaultButton = ui::A(Plain(p->text()));
  }
  return facts;
}

bool TypeText(HWND window, const AnsiString& text) {
  ui::WindowRecord* r = ui::FindWindowRecord(window);
  if (!r || !r->widget) return false;
  for (QLineEdit* e : r->widget->findChildren<QLineEdit*>())
    if (e->window() == r->widget && e->isVisible()) {
      e->setText(ui::Q(text));
      return true;
    }
  return false;
}

bool PressKey(HWND window, WORD virtualKey) {
  ui::WindowRecord* r = ui::FindWindowRecord(window);
  if (!r || !r->widget) return false;
  QWidget* target = r->widget->focusWidget() ? r->widget->focusWidget() : r->widget.data();
  QPointer<QWidget> alive = target;
  int key = ui::QtKeyFromVirtualKey(virtualKey);
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &down);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
  if (alive) QCoreApplication::sendEvent(alive, &up);
  return true;
}

bool PressButton(HWND window, const AnsiString& caption) {
  ui::WindowRecord* r = ui::FindWindowRecord(window);
  if (!r || !r->widget) return false;
  for (QAbstractButton* b : ButtonsOf(r->widget))
    if (Plain(b->text()) == Plain(ui::Q(caption))) {
      b->click();
      return true;
    }
  return false;
}

}  // namespace uitest
