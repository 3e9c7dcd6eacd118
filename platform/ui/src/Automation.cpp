// Automation of a running program, for the demo and end-to-end tests: where WINPLAT_AUTOMATION
// names a script, the program works through the script's section for it, one command at a
// time from the event loop (also inside modal loops and long handlers that pump messages),
// the way a user would act on its windows. Each command waits, with a bound, until it can be
// done; results go to the script's log ("<script>.log"), one line each, with the process id.
//
// Sections: "[Name.exe]" for every start of that program, "[Name.exe -r]" for a start whose
// first argument is -r (a section for the exact arguments wins). Commands (Form is a form's
// class or name, Comp a component name owned by it):
//   timeout SECONDS            bound of every later wait (default 60)
//   answer ID                  message boxes from now on are logged and answered with ID
//   folders ok|cancel          folder dialogs from now on are logged and closed with the
//                              folder they propose selected (ok) or cancelled
//   wait Form                  until such a form is showing
//   text Form.Comp TEXT        types TEXT into an edit
//   check Form.Comp 0|1        sets a check box
//   select Form.Comp INDEX     picks a combo box entry as a user does (OnChange fires)
//   click Form.Comp            clicks a control (the click runs from the event loop)
//   waittext Form.Comp TEXT    until the control's text contains TEXT
//   waitlist Form.Comp TEXT    until every row of a list view holds TEXT in a column
//   waitrow Form.Comp TEXT     until some row of a list view holds TEXT in a column
//   waitgone Form              until no such form exists
//   waitfile FILE TEXT         until the file (a Unix path) holds TEXT
//   close Form                 asks the form to close
//   shot Form FILE.png         a picture of the form's window, once what other parts of the
//                              layer wait for shows in it (every browser's page painted)
//   log TEXT                   a line in the log
// Further commands can be added by other parts of the layer (the browser's "js" and "waitload").
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "UiPrivate.h"
#include "UiState.h"
#include "UiTest.h"
#include "winplat.h"

namespace ui {

namespace {

struct Runner {
  std::vector<std::string> lines;
  size_t next = 0;
  std::string logPath;
  long long started = -1;
  int timeoutMs = 60000;
  bool running = false;
  bool failed = false;
};

std::unique_ptr<Runner> gRunner;

std::map<std::string, AutomationCommand>& Extensions() {
  static std::map<std::string, AutomationCommand> m;
  return m;
}

std::vector<ShotCondition>& ShotConditions() {
  static std::vector<ShotCondition> v;
  return v;
}

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

void Log(const std::string& text) {
  if (!gRunner) return;
  std::string line = std::to_string(getpid()) + " " + text + "\n";
  int fd = open(gRunner->logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, line.data(), line.size());
  (void)written;
  close(fd);
}

std::string ProgramName(std::string& firstArg) {
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  std::string arg0, arg1;
  std::getline(f, arg0, '\0');
  std::getline(f, arg1, '\0');
  firstArg = arg1;
  // The file's own name: a program started through the layer has a DOS path as its argv[0].
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  std::string path = n > 0 ? std::string(exe, size_t(n)) : arg0;
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The lines of this program's section.
std::vector<std::string> SectionFor(const std::string& script) {
  std::ifstream in(script);
  std::string firstArg;
  std::string program = ProgramName(firstArg);
  std::string exact = "[" + program + (firstArg.empty() ? "" : " " + firstArg) + "]";
  std::string plain = "[" + program + "]";
  std::map<std::string, std::vector<std::string>> sections;
  std::string current, line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    line = line.substr(start);
    if (line[0] == '[') {
      current = line;
      sections[current];
      continue;
    }
    if (!current.empty()) sections[current].push_back(line);
  }
  if (sections.count(exact)) return sections[exact];
  if (sections.count(plain)) return sections[plain];
  return {};
}

// "Form.Comp" -> the form and the component.
TCustomForm* FindForm(const std::string& name) {
  for (TCustomForm* f : State().forms) {
    if (!f || (f->ComponentState & csDestroying)) continue;
    if (SameText(AnsiString(name), ClassNameOf(f)) || SameText(AnsiString(name), f->Name)) return f;
  }
  return nullptr;
}

TComponent* FindIn(TComponent* owner, const std::string& name) {
  if (!owner) return nullptr;
  if (TComponent* c = owner->FindComponent(AnsiString(name))) return c;
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (TComponent* c = FindIn(owner->Components(i), name)) return c;
  return nullptr;
}

}  // namespace

TComponent* AutomationTarget(const std::string& path) {
  size_t dot = path.find('.');
  TCustomForm* form = FindForm(path.substr(0, dot));
  if (!form || dot == std::string::npos) return form;
  return FindIn(form, path.substr(dot + 1));
}

void RegisterAutomationCommand(const std::string& name, AutomationCommand command) {
  Extensions()[name] = std::move(command);
}

void RegisterShotCondition(ShotCondition condition) { ShotConditions().push_back(std::move(condition)); }

namespace {

bool Showing(TCustomForm* f) { return f && f->Visible.get() && f->Host() && f->Host()->widget && f->Host()->widget->isVisible(); }

// Runs one command; Done when it is complete, Wait to try again later, or a failure text.
enum class Step { Done, Wait, Fail };

Step Run(const std::string& line, std::string& why) {
  std::istringstream in(line);
  std::string verb, target;
  in >> verb;
  std::string rest;
  std::getline(in, rest);
  size_t s = rest.find_first_not_of(' ');
  rest = s == std::string::npos ? "" : rest.substr(s);
  size_t sp = rest.find(' ');
  target = rest.substr(0, sp);
  std::string arg = sp == std::string::npos ? "" : rest.substr(sp + 1);
  // Texts of the script are UTF-8; the program's are code page 949.
  AnsiString argA(winplat::Utf8ToCp949(arg));

  if (verb == "timeout") {
    gRunner->timeoutMs = std::atoi(target.c_str()) * 1000;
    return Step::Done;
  }
  if (verb == "log") {
    Log("log " + rest);
    return Step::Done;
  }
  if (verb == "answer") {
    int id = std::atoi(target.c_str());
    State().messageBoxHook = [id](const AnsiString& text, const AnsiString& caption, int flags) {
      Log("box " + winplat::Cp949ToUtf8(caption.c_str()) + " | " + std::to_string(flags) + " | " +
          winplat::Cp949ToUtf8(text.c_str()));
      return id;
    };
    return Step::Done;
  }
  if (verb == "folders") {
    bool ok = target == "ok";
    State().folderHook = [ok](uitest::FolderDialog& dialog) {
      Log("folder " + winplat::Cp949ToUtf8(dialog.Title().c_str()) + " | " +
          winplat::Cp949ToUtf8(dialog.SelectedPath().c_str()));
      if (ok && dialog.OkEnabled()) dialog.Ok();
      else dialog.Cancel();
    };
    return Step::Done;
  }
  if (verb == "waitfile") {
    std::ifstream file(target);
    std::stringstream text;
    text << file.rdbuf();
    return text.str().find(arg) != std::string::npos ? Step::Done : Step::Wait;
  }
  if (verb == "wait") return Showing(FindForm(target)) ? Step::Done : Step::Wait;
  if (verb == "waitgone") return FindForm(target) ? Step::Wait : Step::Done;

  auto ext = Extensions().find(verb);
  if (ext != Extensions().end()) {
    int r = ext->second(target, arg, why);
    return r > 0 ? Step::Done : r == 0 ? Step::Wait : Step::Fail;
  }

  TComponent* c = AutomationTarget(target);
  if (!c) return Step::Wait;
  if (verb == "close") {
    auto* f = dynamic_cast<TCustomForm*>(c);
    if (!f) return Step::Fail;
    QTimer::singleShot(0, [p = QPointer<QWidget>(f->Host()->widget), f] {
      if (p) Safely([&] { f->Close(); });
    });
    return Step::Done;
  }
  if (verb == "shot") {
    auto* control = dynamic_cast<TControl*>(c);
    QWidget* w = control && control->Host() ? control->Host()->widget.data() : nullptr;
    if (!w) return Step::Wait;
    QWidget* window = w->window();
    QImage picture;
    bool taken = false;
    auto take = [&]() -> const QImage& {
      if (!taken) picture = window->grab().toImage();
      taken = true;
      return picture;
    };
    for (const ShotCondition& condition : ShotConditions()) {
      int r = condition(window, take, why);
      if (r < 0) return Step::Fail;
      if (r == 0) return Step::Wait;
    }
    if (!take().save(QString::fromStdString(arg), "PNG")) {
      why = "cannot write " + arg;
      return Step::Fail;
    }
    return Step::Done;
  }
  auto* control = dynamic_cast<TControl*>(c);
  if (!control) {
    why = target + " is not a control";
    return Step::Fail;
  }
  if (verb == "text") {
    if (auto* e = dynamic_cast<TEdit*>(control)) {
      e->Text = argA;
      return Step::Done;
    }
  } else if (verb == "check") {
    if (auto* b = dynamic_cast<TCheckBox*>(control)) {
      b->Checked = arg == "1";
      return Step::Done;
    }
  } else if (verb == "select") {
    if (auto* b = dynamic_cast<TComboBox*>(control)) {
      if (!control->Enabled.get()) return Step::Wait;
      int index = std::atoi(arg.c_str());
      if (index >= b->Items.get()->Count()) return Step::Wait;
      QTimer::singleShot(0, [b, index] {
        Safely([&] {
          b->ItemIndex = index;
          if (b->OnChange) b->OnChange(b);
        });
      });
      return Step::Done;
    }
  } else if (verb == "click") {
    if (!control->Enabled.get() || !control->Showing()) return Step::Wait;
    QTimer::singleShot(0, [control] { Safely([&] { uitest::Click(control); }); });
    return Step::Done;
  } else if (verb == "waittext") {
    return control->Caption.get().Pos(argA) > 0 ? Step::Done : Step::Wait;
  } else if (verb == "waitlist" || verb == "waitrow") {
    auto* list = dynamic_cast<TCustomListView*>(control);
    if (!list) return Step::Fail;
    TListItems* items = list->GetItems();
    if (items->Count == 0) return Step::Wait;
    bool every = verb == "waitlist";
    for (int i = 0; i < items->Count; ++i) {
      TListItem* item = items->Item(i);
      bool found = item->Caption.get().Pos(argA) > 0;
      TStrings* sub = item->SubItems;
      for (int k = 0; !found && k < sub->Count(); ++k) found = sub->Strings(k).Pos(argA) > 0;
      if (found != every) return every ? Step::Wait : Step::Done;
    }
    return every ? Step::Done : Step::Wait;
  }
  why = "unknown command or target kind";
  return Step::Fail;
}

void Tick() {
  Runner* r = gRunner.get();
  if (!r || r->running || r->failed || r->next >= r->lines.size()) return;
  r->running = true;
  const std::string& line = r->lines[r->next];
  if (r->started < 0) r->started = NowMs();
  std::string why;
  Step step = Step::Fail;
  try {
    step = Run(line, why);
  } catch (...) {
    why = "exception";
  }
  if (step == Step::Done) {
    Log("ok " + line);
    ++r->next;
    r->started = -1;
    if (r->next == r->lines.size()) Log("end");
  } else if (step == Step::Fail || NowMs() - r->started > r->timeoutMs) {
    Log("fail " + line + (why.empty() ? ": timed out" : ": " + why));
    r->failed = true;
  }
  r->running = false;
}

}  // namespace

void StartAutomation() {
  if (gRunner) return;
  const char* script = std::getenv("WINPLAT_AUTOMATION");
  if (!script || !*script) return;
  gRunner = std::make_unique<Runner>();
  gRunner->logPath = std::string(script) + ".log";
  gRunner->lines = SectionFor(script);
  std::string firstArg;
  // Named first: the argument is read by the same call.
  std::string program = ProgramName(firstArg);
  Log("start " + program + (firstArg.empty() ? "" : " " + firstArg));
  // The timer belongs to the Qt application, which the layer keeps to the end.
  auto* timer = new QTimer(QCoreApplication::instance());
  QObject::connect(timer, &QTimer::timeout, [] { Tick(); });
  timer->start(50);
}

}  // namespace ui
