// Private side of platform/web: the Qt objects behind TCppWebBrowser.
#pragma once
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SHDocVw.h"
#include "WebTest.h"

class QAuthenticator;
class TCppWebBrowserPrivate;

namespace web {

// The document of one navigation: what the browser's Document property answers. It keeps the
// UI handler a host installs with ICustomDoc::SetUIHandler.
class Document : public IDispatch, public ICustomDoc {
 public:
  Document();
  HRESULT WINAPI QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT WINAPI GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT WINAPI GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT WINAPI Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
  HRESULT WINAPI SetUIHandler(IDocHostUIHandler* pUIHandler) override;
  IDocHostUIHandler* Handler() const { return handler_; }

 private:
  ~Document() override;
  LONG refs_ = 1;
  IDocHostUIHandler* handler_ = nullptr;
};

// The host object that the page's window.external reaches through the web channel.
class Bridge : public QObject {
  Q_OBJECT
 public:
  explicit Bridge(TCppWebBrowserPrivate* d);
  // Returns the HRESULT of the call.
  Q_INVOKABLE int invoke(const QString& name, const QVariantList& args);

 private:
  TCppWebBrowserPrivate* d_;
};

class Page : public QWebEnginePage {
 public:
  Page(TCppWebBrowserPrivate* d, QObject* parent);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                const QString& sourceID) override;

 private:
  TCppWebBrowserPrivate* d_;
};

class View : public QWebEngineView {
 public:
  explicit View(TCppWebBrowserPrivate* d);
  TCppWebBrowserPrivate* Browser() const { return d_; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  TCppWebBrowserPrivate* d_;
};

}  // namespace web

class TCppWebBrowserPrivate {
 public:
  TCppWebBrowser* q = nullptr;
  QPointer<web::View> view;
  QPointer<web::Page> page;
  web::Document* document = nullptr;  // one reference
  bool busy = false;
  tagREADYSTATE state = READYSTATE_UNINITIALIZED;
  int completed = 0;
  int failed = 0;
  int contextMenus = 0;
  // A navigation asked for with navNoHistory: once it has started, and then when it ends, the
  // entries before it go.
  bool noHistoryAsked = false;
  bool noHistoryStarted = false;
  std::vector<webtest::ConsoleLine> console;
  std::vector<std::string> refused;
  std::set<std::string> proxyAnswered;  // addresses whose proxy has had the credentials this navigation
  // For a picture of the page: loads started, a navigation asked for that has not started yet,
  // whether the last load failed, and the frames the page has drawn since its load ended.
  int loads = 0;
  bool navigationAsked = false;
  bool lastFailed = false;
  struct Frames {
    int load = -1;       // the load the count belongs to
    bool asking = false;  // an answer of the page is outstanding
    int drawn = 0;
    bool showsSomething = false;
  };
  // Shared with the page's answers, which may come after the browser has gone.
  std::shared_ptr<Frames> frames = std::make_shared<Frames>();
  int framesLookedAt = 0;  // drawn when a picture last showed the page as one colour
  enum class Paint { Waiting, Painted, ToLookAt };
  // Where the page stands for a picture of its window: loading or not drawn since (Waiting),
  // nothing to wait for (Painted), or drawn, to be seen in the picture (ToLookAt).
  Paint PaintState();

  HRESULT Invoke(const QString& name, const QVariantList& args);
  void NewDocument();
  // Asks the document's UI handler; true when it has handled the context menu.
  bool HostHandlesContextMenu(const QPoint& globalPos);
  void AnswerProxy(const QUrl& url, QAuthenticator* authenticator, const QString& proxyHost);
  void LoadingChanged(const QWebEngineLoadingInfo& info);
};
