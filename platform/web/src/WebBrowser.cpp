// TCppWebBrowser over Qt WebEngine: a QWebEngineView as the control's window, the WebBrowser
// events from the page's signals, the document object with its UI handler, and window.external
// as a script injected into every document that forwards calls through a web channel to the
// handler's IDispatch.
#include <QAuthenticator>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QWebChannel>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "FormLayout.h"
#include "SHDocVw.h"
#include "UiPrivate.h"
#include "UiState.h"
#include "WebPrivate.h"
#include "WebTest.h"
#include "inetplat.h"
#include "winplat.h"

namespace {

// Qt WebEngine needs this before the Qt application object exists.
const bool kShareContexts = [] {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  return true;
}();

// Adds a switch to the engine's command line unless one of `given` is there already. The
// variable is split at blanks, so the value is quoted.
void AddChromiumSwitch(const std::string& name, const std::string& value,
                       std::initializer_list<const char*> given) {
  std::string flags;
  if (const char* old = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS")) flags = old;
  for (const char* other : given)
    if (flags.find(other) != std::string::npos) return;
  if (!flags.empty()) flags += " ";
  flags += value.empty() ? name : name + "=\"" + value + "\"";
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

// The vendor hosts reach the local service through the same mapping as the HTTP layer:
// "host:port:address:port" entries become Chromium host resolver rules.
void PassHostMapping() {
  const char* mapping = std::getenv("WINPLAT_CONNECT_TO");
  if (!mapping || !*mapping) return;
  std::string rules;
  std::string text = mapping;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    start = end + 1;
    // host:port:address:port; the address may be empty (keep the host) and is never IPv6 here.
    std::vector<std::string> parts;
    size_t p = 0;
    for (;;) {
      size_t q = entry.find(':', p);
      parts.push_back(entry.substr(p, q == std::string::npos ? std::string::npos : q - p));
      if (q == std::string::npos) break;
      p = q + 1;
    }
    if (parts.size() != 4 || parts[0].empty()) continue;
    std::string address = parts[2].empty() ? parts[0] : parts[2];
    if (!rules.empty()) rules += ",";
    rules += "MAP " + parts[0] + " " + address + (parts[3].empty() ? "" : ":" + parts[3]);
  }
  if (rules.empty()) return;
  AddChromiumSwitch("--host-resolver-rules", rules, {"--host-resolver-rules"});
}

// The browser takes the HTTP layer's proxy setting, not its own reading of the environment or
// the desktop's: the same proxy for every page, the same hosts around it (a no_proxy name
// covers its subdomains; the engine itself keeps loopback addresses off the proxy).
void PassProxySetting() {
  const std::initializer_list<const char*> given = {"--proxy-server", "--no-proxy-server", "--proxy-pac-url",
                                                     "--proxy-auto-detect"};
  winplat::InternetProxySetting proxy = winplat::InternetProxy();
  if (!proxy.Set()) {
    AddChromiumSwitch("--no-proxy-server", "", given);
    return;
  }
  std::string bypass;
  auto add = [&bypass](const std::string& rule) { bypass += (bypass.empty() ? "" : ";") + rule; };
  for (const std::string& host : proxy.bypass) {
    add(host);
    bool address = host == "*" || host.find_first_not_of("0123456789./") == std::string::npos ||
                   host.find(':') != std::string::npos;
    if (!address) add("*." + host);
  }
  if (!bypass.empty()) AddChromiumSwitch("--proxy-bypass-list", bypass, {"--proxy-bypass-list"});
  AddChromiumSwitch("--proxy-server", proxy.Server(), given);
}

// Defines window.external in every document: a proxy that sends any name it is asked for, with
// the call's arguments, to the host. A name that is only read (never called by the time the
// current script task ends) is sent as a call without arguments, as the IE engine runs a
// dispatch member read as a property. Calls made before the channel is up wait for it. A failed
// HRESULT becomes an uncaught error, which the page sees as a script error.
const char* const kExternalScript = R"JS(
(function () {
  var host = null, waiting = [];
  function report(name, hr) {
    if (hr < 0)
      throw new Error('window.external.' + name + ': 0x' + (hr >>> 0).toString(16).toUpperCase());
  }
  function send(name, args) {
    host.invoke(name, args, function (hr) { report(name, hr); });
  }
  function call(name, args) {
    if (host) send(name, args); else waiting.push([name, args]);
  }
  new QWebChannel(qt.webChannelTransport, function (channel) {
    host = channel.objects.movrantExternal;
    var queued = waiting;
    waiting = [];
    queued.forEach(function (c) { send(c[0], c[1]); });
  });
  var external = new Proxy({}, {
    get: function (target, name) {
      if (typeof name !== 'string') return undefined;
      var called = false;
      var member = function () {
        called = true;
        call(name, Array.prototype.slice.call(arguments));
      };
      Promise.resolve().then(function () { if (!called) call(name, []); });
      return member;
    },
    set: function () { return true; }
  });
  try {
    Object.defineProperty(window, 'external', { value: external, configurable: true, writable: true });
  } catch (e) {
    window.external = external;
  }
})();
)JS";

// The engine's threads (the compositor's among them) stop in an orderly way only when the Qt
// application object is destroyed, which the layer never does; left running, they can crash
// while the process's static objects go. So a program that has used the browser ends at once
// after the forms and their browsers are gone (the window layer frees those before any exit
// handler runs), with the status it ends with. The exit handlers registered before this one do
// not run, so the window table's entry goes here.
void EndProcess(int status, void*) {
  ui::WithdrawApplicationWindow();
  std::fflush(nullptr);
  _exit(status);
}

QWebEngineProfile* SharedProfile() {
  static QWebEngineProfile* profile = nullptr;
  if (profile) return profile;
  PassHostMapping();
  PassProxySetting();
  ui::EnsureQt();
  on_exit(EndProcess, nullptr);
  // Off the record, no HTTP cache: every navigation of the program reads from the network.
  profile = new QWebEngineProfile(QCoreApplication::instance());
  profile->setHttpCacheType(QWebEngineProfile::NoCache);
  profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  QString source;
  if (channelJs.open(QIODevice::ReadOnly)) source = QString::fromUtf8(channelJs.readAll());
  QWebEngineScript script;
  script.setName(QStringLiteral("movrant-external"));
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(false);
  script.setSourceCode(QStringLiteral("(function(){\n") + source + QString::fromUtf8(kExternalScript) +
                       QStringLiteral("\n})();"));
  profile->scripts()->insert(script);
  return profile;
}

QUrl ToQUrl(const AnsiString& url) {
  std::string s = url.c_str();
  bool dosPath = (s.size() >= 3 && std::isalpha((unsigned char)s[0]) && s[1] == ':' && s[2] == '\\') ||
                 s.rfind("\\\\", 0) == 0;
  if (dosPath) return QUrl::fromLocalFile(QString::fromStdString(winplat::DosToUnix(s)));
  return QUrl(ui::Q(url));
}

AnsiString FromQUrl(const QUrl& url) {
  if (url.isLocalFile()) return AnsiString(winplat::UnixToDos(url.toLocalFile().toStdString()));
  return ui::A(url.toString());
}

}  // namespace

namespace web {

// ---------------------------------------------------------------- the document object

Document::Document() = default;
Document::~Document() {
  if (handler_) handler_->Release();
}

HRESULT WINAPI Document::QueryInterface(REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch) {
    *ppvObject = static_cast<IDispatch*>(this);
  } else if (riid == IID_ICustomDoc) {
    *ppvObject = static_cast<ICustomDoc*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG WINAPI Document::AddRef() { return ULONG(InterlockedIncrement(&refs_)); }

ULONG WINAPI Document::Release() {
  LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return ULONG(n);
}

HRESULT WINAPI Document::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo) *pctinfo = 0;
  return S_OK;
}
HRESULT WINAPI Document::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT WINAPI Document::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) {
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  return cNames ? DISP_E_UNKNOWNNAME : S_OK;
}
HRESULT WINAPI Document::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT WINAPI Document::SetUIHandler(IDocHostUIHandler* pUIHandler) {
  if (pUIHandler) pUIHandler->AddRef();
  if (handler_) handler_->Release();
  handler_ = pUIHandler;
  return S_OK;
}

// ---------------------------------------------------------------- the script side

Bridge::Bridge(TCppWebBrowserPrivate* d) : d_(d) {}

int Bridge::invoke(const QString& name, const QVariantList& args) {
  HRESULT hr = DISP_E_EXCEPTION;
  ui::Safely([&] { hr = d_->Invoke(name, args); });
  return int(hr);
}

// ---------------------------------------------------------------- page and view

Page::Page(TCppWebBrowserPrivate* d, QObject* parent) : QWebEnginePage(SharedProfile(), parent), d_(d) {}

bool Page::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
  bool cancel = false;
  TCppWebBrowser* q = d_->q;
  if (q->OnBeforeNavigate2 && !(q->ComponentState & csDestroying)) {
    LPDISPATCH disp = isMainFrame ? d_->document : nullptr;
    ui::Safely([&] { q->OnBeforeNavigate2(q, disp, FromQUrl(url), cancel); });
  }
  if (cancel) {
    d_->refused.push_back(url.toString().toStdString());
    // A refused load never starts: its flags must not fall to a later one.
    if (isMainFrame) {
      d_->noHistoryAsked = false;
      d_->navigationAsked = false;
    }
  }
  return !cancel;
}

void Page::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                    const QString& sourceID) {
  webtest::ConsoleLine line;
  line.level = int(level);
  line.text = message.toStdString();
  line.line = lineNumber;
  line.source = sourceID.toStdString();
  if (d_->console.size() < 1000) d_->console.push_back(std::move(line));
}

View::View(TCppWebBrowserPrivate* d) : d_(d) {}

void View::contextMenuEvent(QContextMenuEvent* event) {
  if (d_->HostHandlesContextMenu(event->globalPos())) {
    event->accept();
    return;
  }
  ++d_->contextMenus;
  QWebEngineView::contextMenuEvent(event);
}

}  // namespace web

// ---------------------------------------------------------------- the control

HRESULT TCppWebBrowserPrivate::Invoke(const QString& name, const QVariantList& args) {
  IDocHostUIHandler* handler = document ? document->Handler() : nullptr;
  if (!handler) return E_FAIL;
  IDispatch* external = nullptr;
  HRESULT hr = handler->GetExternal(&external);
  if (FAILED(hr)) return hr;
  if (!external) return E_FAIL;
  // Names reach the object as the script spelled them.
  std::wstring wname = name.toStdWString();
  LPOLESTR names[1] = {wname.data()};
  DISPID id = DISPID_UNKNOWN;
  hr = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    // The first script argument is the last one of rgvarg.
    std::vector<VARIANT> argv(size_t(args.size()));
    for (qsizetype i = 0; i < args.size(); ++i) {
      VARIANT& v = argv[size_t(args.size() - 1 - i)];
      VariantInit(&v);
      const QVariant& a = args[i];
      switch (a.typeId()) {
        case QMetaType::Bool:
          v.vt = VT_BOOL;
          v.boolVal = a.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double: {
          double d = a.toDouble();
          // Script numbers that are whole 32-bit values arrive as integers.
          if (d == double(LONG(d)) && d >= -2147483648.0 && d <= 2147483647.0) {
            v.vt = VT_I4;
            v.lVal = LONG(d);
          } else {
            v.vt = VT_R8;
            v.dblVal = d;
          }
          break;
        }
        case QMetaType::QString: {
          std::wstring s = a.toString().toStdWString();
          v.vt = VT_BSTR;
          v.bstrVal = SysAllocStringLen(s.data(), UINT(s.size()));
          break;
        }
        default:
          break;  // null, undefined, objects: empty
      }
    }
    DISPPARAMS params{argv.empty() ? nullptr : argv.data(), nullptr, UINT(argv.size()), 0};
    VARIANT result;
    VariantInit(&result);
    try {
      hr = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    } catch (...) {
      for (VARIANT& v : argv) VariantClear(&v);
      VariantClear(&result);
      external->Release();
      throw;
    }
    for (VARIANT& v : argv) VariantClear(&v);
    VariantClear(&result);
  }
  external->Release();
  return hr;
}

bool TCppWebBrowserPrivate::HostHandlesContextMenu(const QPoint& globalPos) {
  // The document's UI handler decides: S_OK means it has handled the menu, so none is shown.
  IDocHostUIHandler* handler = document ? document->Handler() : nullptr;
  if (!handler) return false;
  POINT pt{globalPos.x(), globalPos.y()};
  HRESULT hr = E_NOTIMPL;
  handler->AddRef();
  ui::Safely([&] { hr = handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &pt, nullptr, nullptr); });
  handler->Release();
  return hr == S_OK;
}

void TCppWebBrowserPrivate::NewDocument() {
  if (document) document->Release();
  document = new web::Document();
}

void TCppWebBrowserPrivate::AnswerProxy(const QUrl& url, QAuthenticator* authenticator, const QString& proxyHost) {
  // The credentials of the proxy setting go to that proxy only. Asked again for the same address
  // in one navigation, the proxy has refused them. Left unanswered the engine would ask again
  // with empty credentials without end: the authentication is cancelled and the load fails.
  winplat::InternetProxySetting proxy = winplat::InternetProxy();
  QString host = QString::fromStdString(proxy.host);
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
  bool answer = !proxy.user.empty() && proxyHost.compare(host, Qt::CaseInsensitive) == 0 &&
                proxyAnswered.insert(url.toString().toStdString()).second;
  if (!answer) {
    *authenticator = QAuthenticator();
    return;
  }
  authenticator->setUser(QString::fromStdString(proxy.user));
  authenticator->setPassword(QString::fromStdString(proxy.password));
}

void TCppWebBrowserPrivate::LoadingChanged(const QWebEngineLoadingInfo& info) {
  if (q->ComponentState & csDestroying) return;
  AnsiString url = FromQUrl(info.url());
  // A navigation asked for has started, or it has joined the load of the same page that has
  // ended now.
  navigationAsked = false;
  if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
    proxyAnswered.clear();
    noHistoryStarted = noHistoryAsked;
    noHistoryAsked = false;
  } else if (noHistoryStarted) {
    // The engine has no flag for it: the new page stays as the only entry.
    noHistoryStarted = false;
    if (page) page->history()->clear();
  }
  switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
      busy = true;
      state = READYSTATE_LOADING;
      ++loads;
      lastFailed = false;
      NewDocument();
      if (q->OnNavigateComplete2) ui::Safely([&] { q->OnNavigateComplete2(q, document, url); });
      break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
      busy = false;
      state = READYSTATE_COMPLETE;
      ++completed;
      if (q->OnDocumentComplete) ui::Safely([&] { q->OnDocumentComplete(q, document, url); });
      break;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
      busy = false;
      state = READYSTATE_COMPLETE;
      ++failed;
      lastFailed = true;
      bool cancel = false;
      int code = info.errorCode();
      if (q->OnNavigateError) ui::Safely([&] { q->OnNavigateError(q, document, url, code, cancel); });
      break;
    }
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      busy = false;
      state = READYSTATE_COMPLETE;
      break;
  }
}

namespace {

// Asked of the page in a world of the layer's own, where its scripts cannot reach: frames the
// page has drawn since the first question (counted at a second animation frame, once the first
// one's drawing has been handed on), asking for the next one when none is outstanding; and
// whether the document has anything to show (text, pictures, frames, controls).
const char* const kFramesScript = R"JS(
(function () {
  var s = window.__movrantFrames || (window.__movrantFrames = { drawn: 0, asked: false });
  if (!s.asked) {
    s.asked = true;
    requestAnimationFrame(function () {
      requestAnimationFrame(function () { s.drawn++; s.asked = false; });
    });
  }
  var b = document.body;
  var shows = !!b && (b.innerText.trim() !== '' ||
      !!document.querySelector('img,svg,canvas,video,iframe,frame,object,embed,input,select,textarea,button'));
  return [s.drawn, shows];
})()
)JS";

}  // namespace

TCppWebBrowserPrivate::Paint TCppWebBrowserPrivate::PaintState() {
  if (q->ComponentState & csDestroying || !view || !page) return Paint::Painted;
  if (!navigationAsked && loads == 0) return Paint::Painted;  // never given a page
  if (busy || navigationAsked) return Paint::Waiting;
  if (lastFailed) return Paint::Painted;  // no error pages: nothing is drawn
  if (frames->load != loads) {
    frames = std::make_shared<Frames>();
    frames->load = loads;
    framesLookedAt = 0;
  }
  if (!frames->asking) {
    frames->asking = true;
    page->runJavaScript(QString::fromUtf8(kFramesScript), QWebEngineScript::ApplicationWorld,
                        [f = frames](const QVariant& v) {
                          f->asking = false;
                          QVariantList answer = v.toList();
                          if (answer.size() != 2) return;
                          f->drawn = answer[0].toInt();
                          f->showsSomething = answer[1].toBool();
                        });
  }
  if (frames->drawn <= framesLookedAt) return Paint::Waiting;
  return frames->showsSomething ? Paint::ToLookAt : Paint::Painted;
}

TCppWebBrowser::TCppWebBrowser(TComponent* AOwner) : TWinControl(AOwner), d(std::make_unique<TCppWebBrowserPrivate>()) {
  ui::EnsureQt();
  d->q = this;
  auto* view = new web::View(d.get());
  auto* page = new web::Page(d.get(), view);
  page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
  page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  auto* channel = new QWebChannel(page);
  auto* bridge = new web::Bridge(d.get());
  bridge->setParent(page);
  channel->registerObject(QStringLiteral("movrantExternal"), bridge);
  page->setWebChannel(channel);
  view->setPage(page);
  d->view = view;
  d->page = page;
  QObject::connect(page, &QWebEnginePage::loadingChanged, view,
                   [this](const QWebEngineLoadingInfo& info) { d->LoadingChanged(info); });
  QObject::connect(page, &QWebEnginePage::titleChanged, view, [this](const QString& title) {
    if (OnTitleChange && !(ComponentState & csDestroying)) ui::Safely([&] { OnTitleChange(this, ui::A(title)); });
  });
  QObject::connect(page, &QWebEnginePage::proxyAuthenticationRequired, view,
                   [this](const QUrl& url, QAuthenticator* authenticator, const QString& proxyHost) {
                     d->AnswerProxy(url, authenticator, proxyHost);
                   });
  QObject::connect(page, &QWebEnginePage::windowCloseRequested, view, [this] {
    if (ComponentState & csDestroying) return;
    bool cancel = false;
    if (OnWindowClosing) ui::Safely([&] { OnWindowClosing(this, false, cancel); });
    if (!cancel && OnQuit) ui::Safely([&] { OnQuit(this); });
  });
  AttachHost(new TControlHost(this, view));
  FWidth = 100;
  FHeight = 50;
  FTabStop = true;
}

TCppWebBrowser::~TCppWebBrowser() {
  if (d->page) {
    d->page->disconnect();
    // The page may still deliver a queued call: it must find no browser behind it.
    d->page->setWebChannel(nullptr);
  }
  if (d->document) {
    d->document->Release();
    d->document = nullptr;
  }
}

void TCppWebBrowser::Navigate(const AnsiString& URL, int Flags) {
  if (!d->page) return;
  d->noHistoryAsked = Flags & navNoHistory;
  d->noHistoryStarted = false;
  QUrl url = ToQUrl(URL);
  d->navigationAsked = url.isValid() && !url.isEmpty();
  d->page->load(url);
}

bool TCppWebBrowser::GetBusy() const { return d->busy; }
tagREADYSTATE TCppWebBrowser::GetReadyState() const { return d->state; }

LPDISPATCH TCppWebBrowser::GetDocument() const {
  if (!d->document) return nullptr;
  d->document->AddRef();
  return d->document;
}

AnsiString TCppWebBrowser::GetLocationURL() const { return d->page ? FromQUrl(d->page->url()) : AnsiString(); }

void TCppWebBrowser::QueryUserActivation(std::function<void(bool)> answer) {
  if (!d->page || !answer) return;
  // Asked in a world of its own: the page's scripts cannot reach the objects read there.
  d->page->runJavaScript(QStringLiteral("(function () { var a = navigator.userActivation; return !!(a && a.isActive); })()"),
                         QWebEngineScript::ApplicationWorld, [answer = std::move(answer)](const QVariant& v) {
                           bool active = v.toBool();
                           ui::Safely([&] { answer(active); });
                         });
}

namespace {
const bool kRegistered = [] {
  TRegisterClass<TCppWebBrowser>("TCppWebBrowser", "TWinControl")
      .Ignore("ControlData")
      .Ignore("TabOrder")
      .Event("OnBeforeNavigate2", &TCppWebBrowser::OnBeforeNavigate2)
      .Event("OnNavigateComplete2", &TCppWebBrowser::OnNavigateComplete2)
      .Event("OnDocumentComplete", &TCppWebBrowser::OnDocumentComplete)
      .Event("OnNavigateError", &TCppWebBrowser::OnNavigateError)
      .Event("OnTitleChange", &TCppWebBrowser::OnTitleChange)
      .Event("OnWindowClosing", &TCppWebBrowser::OnWindowClosing)
      .Event("OnQuit", &TCppWebBrowser::OnQuit);
  return true;
}();
}  // namespace

// ---------------------------------------------------------------- test support

namespace webtest {

namespace {
TCppWebBrowserPrivate* D(TCppWebBrowser* b) { return b->Private(); }
}  // namespace

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

int CompletedLoads(TCppWebBrowser* browser) { return D(browser)->completed; }
int FailedLoads(TCppWebBrowser* browser) { return D(browser)->failed; }

bool WaitForLoads(TCppWebBrowser* browser, int count, int timeoutMs) {
  return WaitFor([&] { return D(browser)->completed + D(browser)->failed >= count; }, timeoutMs);
}

std::string RunScript(TCppWebBrowser* browser, const std::string& script, int timeoutMs) {
  std::string result;
  bool done = false;
  QPointer<web::Page> page = D(browser)->page;
  if (!page) return result;
  page->runJavaScript(QString::fromStdString(script), QWebEngineScript::MainWorld, [&](const QVariant& v) {
    result = v.toString().toStdString();
    done = true;
  });
  if (!WaitFor([&] { return done; }, timeoutMs)) return "<timeout>";
  return result;
}

const std::vector<ConsoleLine>& Console(TCppWebBrowser* browser) { return D(browser)->console; }
void ClearConsole(TCppWebBrowser* browser) { D(browser)->console.clear(); }
const std::vector<std::string>& RefusedUrls(TCppWebBrowser* browser) { return D(browser)->refused; }

void ClickAt(TCppWebBrowser* browser, int x, int y) {
  web::View* view = D(browser)->view;
  if (!view) return;
  // The engine takes input through the view's focus proxy, the widget it renders into.
  QWidget* target = view->focusProxy() ? view->focusProxy() : view;
  QPointF p(x, y);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, p, target->mapToGlobal(p), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
  }
}

void ContextMenuAt(TCppWebBrowser* browser, int x, int y) {
  // What the view does when the engine asks for a menu, without the engine's request.
  web::View* view = D(browser)->view;
  if (!view) return;
  if (!D(browser)->HostHandlesContextMenu(view->mapToGlobal(QPoint(x, y)))) ++D(browser)->contextMenus;
}

int ContextMenusShown(TCppWebBrowser* browser) { return D(browser)->contextMenus; }

}  // namespace webtest

// ---------------------------------------------------------------- automation commands

namespace {

// "Form.Name" of a browser, for the script's log.
std::string NameOf(TCppWebBrowser* b) {
  TComponent* owner = b->Owner();
  std::string form = owner ? owner->Name.c_str() : "";
  return form + "." + b->Name.c_str();
}

bool OneColour(const QImage& image, const QRect& area) {
  QRect r = area & image.rect();
  if (r.isEmpty()) return true;
  QRgb first = image.pixel(r.topLeft());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (image.pixel(x, y) != first) return false;
  return true;
}

TCppWebBrowser* AutomationBrowser(const std::string& target, std::string& why) {
  auto* b = dynamic_cast<TCppWebBrowser*>(ui::AutomationTarget(target));
  if (!b) why = target + " is not a browser";
  return b;
}

const bool kAutomation = [] {
  // js Form.Browser SCRIPT: runs a script in the page, as a user's click in it would.
  ui::RegisterAutomationCommand("js", [](const std::string& target, const std::string& arg, std::string&) {
    auto* b = dynamic_cast<TCppWebBrowser*>(ui::AutomationTarget(target));
    if (!b || !b->Private()->page || b->Busy.get() || b->Private()->completed == 0) return 0;
    b->Private()->page->runJavaScript(QString::fromStdString(arg), QWebEngineScript::MainWorld);
    return 1;
  });
  // waitload Form.Browser: until a page has loaded and the browser is idle.
  ui::RegisterAutomationCommand("waitload", [](const std::string& target, const std::string&, std::string& why) {
    if (!ui::AutomationTarget(target)) return 0;
    TCppWebBrowser* b = AutomationBrowser(target, why);
    if (!b) return -1;
    return b->Private()->completed > 0 && !b->Busy.get() ? 1 : 0;
  });
  // A picture of a window waits until every browser showing in it has painted its page (those
  // of the windows it owns are not in the picture).
  ui::RegisterShotCondition([](QWidget* window, const std::function<const QImage&()>& picture, std::string& why) {
    std::vector<web::View*> toLookAt;
    for (web::View* view : window->findChildren<web::View*>()) {
      if (view->window() != window || !view->isVisible() || view->width() <= 0 || view->height() <= 0) continue;
      TCppWebBrowserPrivate* d = view->Browser();
      switch (d->PaintState()) {
        case TCppWebBrowserPrivate::Paint::Waiting:
          why = NameOf(d->q) + " has not painted its page";
          return 0;
        case TCppWebBrowserPrivate::Paint::ToLookAt:
          toLookAt.push_back(view);
          break;
        case TCppWebBrowserPrivate::Paint::Painted:
          break;
      }
    }
    for (web::View* view : toLookAt) {
      const QImage& image = picture();
      qreal ratio = image.devicePixelRatio();
      QRect area(view->mapTo(window, QPoint(0, 0)) * ratio, view->size() * ratio);
      if (!OneColour(image, area)) continue;
      // The page's drawing has not reached the screen yet: look again after its next frame.
      TCppWebBrowserPrivate* d = view->Browser();
      d->framesLookedAt = d->frames->drawn;
      why = NameOf(d->q) + " shows its page as one colour";
      return 0;
    }
    return 1;
  });
  return true;
}();

}  // namespace
