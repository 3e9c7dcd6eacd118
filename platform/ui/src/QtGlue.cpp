// The Qt application and conversions between the class library's values and Qt's.
#include <QFontDatabase>
#include <QMouseEvent>
#include <QEnterEvent>
#include <QKeyEvent>
#include <fstream>
#include <memory>
#include <vector>

#include "Forms.h"
#include "UiPrivate.h"
#include "winplat.h"

namespace ui {

namespace {
// QApplication keeps references to argc and argv for its whole life.
int gArgc = 0;
std::vector<std::string> gArgs;
std::vector<char*> gArgv;
QApplication* gQt = nullptr;

// The application object frees the forms it still owns when the program ends. Their windows
// must go while Qt is whole, but Qt's own static objects go before the application object's
// destructor runs. The objects of a thread go before any static one: the thread that runs
// Qt frees them then.
struct FreeFormsAtExit {
  ~FreeFormsAtExit() { Application->DestroyComponents(); }
};
}  // namespace

QApplication* EnsureQt() {
  if (gQt) return gQt;
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return gQt = existing;
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  std::string arg;
  while (std::getline(f, arg, '\0')) gArgs.push_back(arg);
  if (gArgs.empty()) gArgs.push_back("program");
  // Qt would take the program's own switches (-r) for its own: give it the name only.
  gArgs.resize(1);
  for (auto& a : gArgs) gArgv.push_back(a.data());
  gArgv.push_back(nullptr);
  gArgc = 1;
  // Never destroyed: the forms the application object still owns outlive main().
  gQt = new QApplication(gArgc, gArgv.data());
  QApplication::setQuitOnLastWindowClosed(false);
  static thread_local FreeFormsAtExit freeForms;
  (void)freeForms;
  StartAutomation();
  return gQt;
}

QString Q(const AnsiString& text) { return QString::fromStdString(winplat::Cp949ToUtf8(text.str())); }
QString Q(const char* text) { return Q(AnsiString(text)); }
AnsiString A(const QString& text) { return AnsiString(winplat::Utf8ToCp949(text.toStdString())); }

AnsiString Shown(const AnsiString& text) {
  if (text.Length() <= kShownBytes) return text;
  const std::string& bytes = text.str();
  size_t end = 0;
  while (end < size_t(kShownBytes)) {
    size_t next = end + (IsDBCSLeadByte(static_cast<BYTE>(bytes[end])) ? 2 : 1);
    if (next > size_t(kShownBytes)) break;
    end = next;
  }
  return AnsiString(bytes.substr(0, end));
}

QString QShown(const AnsiString& text) { return Q(Shown(text)); }

QColor ToQColor(TColor color) {
  TColor c = ColorToRGB(color);
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor FromQColor(const QColor& color) {
  return TColor(color.red() | color.green() << 8 | color.blue() << 16);
}

QString FontFamily(const AnsiString& name) {
  QString n = Q(name);
  static const QStringList korean = {QString::fromUtf8("굴림"), QString::fromUtf8("굴림체"),
                                     QString::fromUtf8("돋움"), QString::fromUtf8("돋움체"),
                                     QString::fromUtf8("바탕"), QString::fromUtf8("바탕체"),
                                     QString::fromUtf8("궁서"), QStringLiteral("Gulim"),
                                     QStringLiteral("GulimChe"), QStringLiteral("Dotum"),
                                     QStringLiteral("DotumChe"), QStringLiteral("Batang"),
                                     QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"),
                                     QStringLiteral("Verdana"), QStringLiteral("Arial")};
  static QString installed;
  if (installed.isEmpty()) {
    EnsureQt();
    const QStringList families = QFontDatabase::families();
    for (const char* want : {"NanumGothic", "NanumBarunGothic", "NanumSquare"}) {
      if (families.contains(QString::fromLatin1(want))) {
        installed = QString::fromLatin1(want);
        break;
      }
    }
    if (installed.isEmpty()) installed = QStringLiteral("Sans Serif");
  }
  // Every face of the layouts has Hangul in it on a Korean system: use the installed Korean
  // font unless the face itself is installed (Latin faces keep their glyphs, Hangul falls back).
  if (korean.contains(n, Qt::CaseInsensitive)) {
    if (!n.isEmpty() && n.at(0).unicode() < 0x80 && QFontDatabase::families().contains(n, Qt::CaseInsensitive))
      return n;
    return installed;
  }
  return n.isEmpty() ? installed : n;
}

QFont ToQFont(const TFont* font) {
  QFont f(FontFamily(font->GetName()));
  int h = font->GetHeight();
  // Negative heights are the character height in pixels; positive ones include the leading.
  f.setPixelSize(h < 0 ? -h : (h > 0 ? std::max(1, h * 4 / 5) : 12));
  TFontStyles s = font->GetStyle();
  f.setBold(s.Contains(fsBold));
  f.setItalic(s.Contains(fsItalic));
  f.setUnderline(s.Contains(fsUnderline));
  f.setStrikeOut(s.Contains(fsStrikeOut));
  return f;
}

Qt::CursorShape ToQtCursor(TCursor cursor) {
  switch (cursor) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSize: return Qt::SizeAllCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: case crSQLWait: return Qt::WaitCursor;
    case crAppStart: return Qt::BusyCursor;
    case crNo: case crNoDrop: return Qt::ForbiddenCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    default: return Qt::ArrowCursor;
  }
}

TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  TShiftState s;
  if (mods & Qt::ShiftModifier) s << ssShift;
  if (mods & Qt::AltModifier) s << ssAlt;
  if (mods & Qt::ControlModifier) s << ssCtrl;
  if (buttons & Qt::LeftButton) s << ssLeft;
  if (buttons & Qt::RightButton) s << ssRight;
  if (buttons & Qt::MiddleButton) s << ssMiddle;
  return s;
}

TMouseButton ButtonFromQt(Qt::MouseButton b) {
  if (b == Qt::RightButton) return mbRight;
  if (b == Qt::MiddleButton) return mbMiddle;
  return mbLeft;
}

namespace {
struct KeyPair {
  int qt;
  WORD vk;
};
const KeyPair kKeys[] = {
    {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB},         {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},   {Qt::Key_Shift, VK_SHIFT},     {Qt::Key_Control, VK_CONTROL},
    {Qt::Key_Alt, VK_MENU},       {Qt::Key_Escape, VK_ESCAPE},   {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},   {Qt::Key_PageDown, VK_NEXT},   {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},      {Qt::Key_Left, VK_LEFT},       {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},    {Qt::Key_Down, VK_DOWN},       {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},
};
}  // namespace

WORD VirtualKeyFromQt(int key) {
  for (const KeyPair& k : kKeys)
    if (k.qt == key) return k.vk;
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return WORD('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return WORD('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return WORD(VK_F1 + (key - Qt::Key_F1));
  return 0;
}

int QtKeyFromVirtualKey(WORD vk) {
  for (const KeyPair& k : kKeys)
    if (k.vk == vk) return k.qt;
  if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
  if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
  if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + (vk - VK_F1);
  return 0;
}

TControl* ControlOf(const QObject* widget) {
  for (const QObject* o = widget; o; o = o->parent()) {
    QVariant v = o->property("vclControl");
    if (v.isValid()) return reinterpret_cast<TControl*>(v.value<quintptr>());
    if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow()) break;
  }
  return nullptr;
}

namespace {

TCustomForm* FormOf(TControl* c) {
  for (TControl* p = c; p; p = p->GetParent())
    if (auto* f = dynamic_cast<TCustomForm*>(p)) return f;
  return nullptr;
}

// Mouse, keys, hover and focus of every control's widget go to the control's entry points.
class EventGlue : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* e) override {
    QVariant v = watched->property("vclControl");
    if (!v.isValid()) return false;
    auto* control = reinterpret_cast<TControl*>(v.value<quintptr>());
    if (!control || (control->ComponentState & csDestroying)) return false;
    switch (e->type()) {
      case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        QPoint p = m->position().toPoint();
        MousePressScope press(m);
        control->MouseDown(ButtonFromQt(m->button()), ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y());
        return false;
      }
      case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        QPoint p = m->position().toPoint();
        control->MouseUp(ButtonFromQt(m->button()), ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y());
        return false;
      }
      case QEvent::MouseButtonDblClick:
        control->DblClick();
        return false;
      case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        QPoint p = m->position().toPoint();
        control->MouseMove(ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y());
        return false;
      }
      case QEvent::Enter:
        control->MouseEnter();
        return false;
      case QEvent::Leave:
        control->MouseLeave();
        return false;
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* w = dynamic_cast<TWinControl*>(control);
        if (!w) return false;
        // A key that a child ignored travels on to its parents: it was handled once already.
        static const QEvent* lastKey = nullptr;
        static unsigned long long lastStamp = 0;
        auto* k = static_cast<QKeyEvent*>(e);
        if (e == lastKey && k->timestamp() == lastStamp) return false;
        lastKey = e;
        lastStamp = k->timestamp();
        WORD key = VirtualKeyFromQt(k->key());
        TShiftState shift = ShiftFromQt(k->modifiers(), Qt::NoButton);
        bool press = e->type() == QEvent::KeyPress;
        TCustomForm* form = FormOf(control);
        if (press) {
          if (key) {
            if (form && form != w && form->GetKeyPreview() && !form->KeyDown(key, shift)) return true;
            if (key && !w->KeyDown(key, shift)) return true;
            if (!key) return true;
          }
          QByteArray text = k->text().isEmpty() ? QByteArray() : QByteArray(A(k->text()).c_str());
          if (text.size() == 1) {
            char ch = text[0];
            if (form && form != w && form->GetKeyPreview() && !form->KeyPress(ch)) return true;
            if (!w->KeyPress(ch)) return true;
          }
        } else if (key) {
          if (form && form != w && form->GetKeyPreview() && !form->KeyUp(key, shift)) return true;
          if (!w->KeyUp(key, shift)) return true;
        }
        return false;
      }
      case QEvent::FocusIn:
        if (auto* w = dynamic_cast<TWinControl*>(control)) {
          if (TCustomForm* f = FormOf(w); f && f != w) f->SetActiveControl(w);
          if (w->OnEnter) w->OnEnter(w);
        }
        return false;
      case QEvent::FocusOut:
        if (auto* w = dynamic_cast<TWinControl*>(control))
          if (w->OnExit) w->OnExit(w);
        return false;
      default:
        return false;
    }
  }
};

}  // namespace

void InstallEventGlue(QWidget* widget, TControl* control) {
  static EventGlue* glue = new EventGlue(EnsureQt());
  widget->setProperty("vclControl", QVariant::fromValue(quintptr(control)));
  widget->installEventFilter(glue);
}

}  // namespace ui
