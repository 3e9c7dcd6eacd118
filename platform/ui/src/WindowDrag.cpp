// Moving a window by hand with the mouse, for window systems that cannot move it themselves.
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"

namespace ui {

namespace {

// The press whose handlers run now.
const QMouseEvent* gPress = nullptr;

// Follows the mouse through an application-wide filter: the press's widget keeps getting the
// moves (Qt's implicit grab) even as the window slides away under the pointer, and the screen
// position in each event is all that counts.
class WindowDrag : public QObject {
 public:
  using QObject::QObject;

  void Start(QWidget* window, const QPoint& anchor, quint64 pressStamp) {
    End();
    window_ = window;
    anchor_ = anchor;
    pressStamp_ = pressStamp;
    start_ = Position();
    QCoreApplication::instance()->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    // Only the delivery to widgets: the window level is where Qt keeps track of the press.
    if (!watched->isWidgetType()) return false;
    if (Gone()) {
      End();
      return false;
    }
    switch (e->type()) {
      case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (!(m->buttons() & Qt::LeftButton)) {
          // The button went up where this program did not see it.
          End();
          return false;
        }
        MoveTo(start_ + m->globalPosition().toPoint() - anchor_);
        return true;
      }
      case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->buttons() & Qt::LeftButton) return false;
        // As after the system's own move, the control does not see the button go up.
        End();
        return true;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        // The press that began the drag goes on to the parents of a control that ignores it.
        auto* m = static_cast<QMouseEvent*>(e);
        if (pressStamp_ && m->timestamp() == pressStamp_ && m->globalPosition().toPoint() == anchor_) return false;
        // A new press: the release of the drag was missed.
        End();
        return false;
      }
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() != Qt::Key_Escape) return false;
        MoveTo(start_);
        End();
        return true;
      default:
        return false;
    }
  }

 private:
  bool Gone() const {
    if (!window_) return true;
    TControl* c = ControlOf(window_);
    return c && (c->ComponentState & csDestroying);
  }
  // The form of the window; null for other windows (dialogs).
  TCustomForm* Form() const { return dynamic_cast<TCustomForm*>(ControlOf(window_)); }
  QPoint Position() const {
    if (TCustomForm* f = Form()) return QPoint(f->GetLeft(), f->GetTop());
    return window_->pos();
  }
  void MoveTo(const QPoint& p) {
    if (TCustomForm* f = Form())
      Safely([&] { f->SetBounds(p.x(), p.y(), f->GetWidth(), f->GetHeight()); });
    else
      window_->move(p);
  }
  void End() {
    window_.clear();
    QCoreApplication::instance()->removeEventFilter(this);
  }

  QPointer<QWidget> window_;
  QPoint anchor_;  // the mouse on the screen when the drag began
  QPoint start_;   // the window then
  quint64 pressStamp_ = 0;
};

}  // namespace

MousePressScope::MousePressScope(const QMouseEvent* press) : outer_(gPress) { gPress = press; }

MousePressScope::~MousePressScope() { gPress = outer_; }

void FollowMouse(QWidget* window) {
  if (!window) return;
  // Outside a press handler only a button that is down now starts a drag.
  if (!gPress && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) return;
  static WindowDrag* drag = new WindowDrag(EnsureQt());
  if (gPress)
    drag->Start(window->window(), gPress->globalPosition().toPoint(), gPress->timestamp());
  else
    drag->Start(window->window(), QCursor::pos(), 0);
}

}  // namespace ui
