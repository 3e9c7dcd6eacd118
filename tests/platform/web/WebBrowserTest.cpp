// TCppWebBrowser in a real engine: events, documents and their UI handler, window.external calls
// reaching the handler's IDispatch, refused navigations, errors, the context menu.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "CachingProxy.h"
#include "Forms.h"
#include "HttpTestServer.h"
#include "SHDocVw.h"
#include "UiTest.h"
#include "WebTest.h"
#include "wininet.h"

using testsupport::CachingProxy;
using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

const int kWait = 20000;

// One call as the IDispatch saw it.
struct Call {
  std::wstring name;
  DISPID id = 0;
  std::vector<VARIANT> args;  // copies, as rgvarg held them
};

// A scripting object that knows the names it is given (DISPIDs from 100) and records calls.
class RecordingDispatch : public IDispatch {
 public:
  std::vector<std::wstring> known{L"Add", L"Fail"};
  std::vector<Call> calls;
  HRESULT failWith = DISP_E_BADPARAMCOUNT;
  LONG refs = 1;

  ~RecordingDispatch() override {
    for (Call& c : calls)
      for (VARIANT& v : c.args) VariantClear(&v);
  }
  HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return ULONG(++refs); }
  ULONG WINAPI Release() override { return ULONG(--refs); }  // lives on the test's stack
  HRESULT WINAPI GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (size_t k = 0; k < known.size(); ++k)
        if (wcscasecmp(known[k].c_str(), names[i]) == 0) ids[i] = DISPID(100 + k);
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
      lastName = names[i];
    }
    return hr;
  }
  HRESULT WINAPI Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    Call c;
    c.name = lastName;
    c.id = id;
    for (UINT i = 0; i < params->cArgs; ++i) {
      VARIANT v;
      VariantInit(&v);
      VariantCopy(&v, &params->rgvarg[i]);
      c.args.push_back(v);
    }
    calls.push_back(std::move(c));
    return id == 101 ? failWith : S_OK;
  }

 private:
  std::wstring lastName;
};

class RecordingHandler : public IDocHostUIHandler {
 public:
  explicit RecordingHandler(IDispatch* external) : external_(external) {}
  LONG refs = 1;
  HRESULT contextMenuAnswer = S_OK;
  int contextMenus = 0;
  bool externalFails = false;

  HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDocHostUIHandler) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return ULONG(++refs); }
  ULONG WINAPI Release() override { return ULONG(--refs); }
  HRESULT WINAPI ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    ++contextMenus;
    return contextMenuAnswer;
  }
  HRESULT WINAPI GetHostInfo(DOCHOSTUIINFO*) override { return E_NOTIMPL; }
  HRESULT WINAPI ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI HideUI() override { return E_NOTIMPL; }
  HRESULT WINAPI UpdateUI() override { return E_NOTIMPL; }
  HRESULT WINAPI EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
  HRESULT WINAPI GetExternal(IDispatch** out) override {
    if (externalFails) return E_NOTIMPL;
    external_->AddRef();
    *out = external_;
    return S_OK;
  }
  HRESULT WINAPI TranslateUrl(DWORD, OLECHAR*, OLECHAR**) override { return E_NOTIMPL; }
  HRESULT WINAPI FilterDataObject(IDataObject*, IDataObject**) override { return E_NOTIMPL; }

 private:
  IDispatch* external_;
};

// Installs the handler on every document, as a host does on NavigateComplete2.
void InstallOnEveryDocument(TCppWebBrowser* browser, IDocHostUIHandler* handler) {
  browser->OnNavigateComplete2 = [handler](TObject*, LPDISPATCH disp, const AnsiString&) {
    ICustomDoc* doc = nullptr;
    if (disp && disp->QueryInterface(IID_ICustomDoc, reinterpret_cast<void**>(&doc)) == S_OK) {
      doc->SetUIHandler(handler);
      doc->Release();
    }
  };
}

bool HasError(TCppWebBrowser* browser, const std::string& part) {
  for (const auto& line : webtest::Console(browser))
    if (line.level == 2 && line.text.find(part) != std::string::npos) return true;
  return false;
}

class WebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::ResetApplication();
    server = std::make_unique<HttpTestServer>([this](const HttpRequest& req) { return Serve(req); });
    // The browser reaches the vendor host through the layer's host mapping.
    setenv("WINPLAT_CONNECT_TO", server->ConnectTo("splash.quorvex.example").c_str(), 1);
    form = std::make_unique<TForm>(nullptr, 0);
    form->SetBounds(0, 0, 400, 300);
    browser = new TCppWebBrowser(form.get());
    browser->Parent = form.get();
    browser->Align = alClient;
    form->Show();
  }
  void TearDown() override {
    form.reset();
    server.reset();
    uitest::ResetApplication();
  }

  HttpReply Serve(const HttpRequest& req) {
    auto page = [](const std::string& body) {
      HttpReply r = HttpReply::Text(body);
      r.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
      return r;
    };
    if (req.path == "/calls.html")
      return page(
          "<html><head><title>Calls</title></head><body><a id=next href='/second.html'>next</a><script>"
          "window.external.add(400, 200);"
          "window.external.ADD('text', 2.5, true, -7);"
          "window.external.Add;"
          "</script></body></html>");
    if (req.path == "/second.html")
      return page("<html><body><script>window.external.Add(2);</script></body></html>");
    if (req.path == "/errors.html")
      return page("<html><body><script>window.external.Fail(1); window.external.Missing();</script></body></html>");
    if (req.path == "/close.html")
      return page("<html><body><script>window.close();</script></body></html>");
    if (req.path == "/plain.html") return page("<html><head><title>Plain page</title></head><body>plain</body></html>");
    if (req.path == "/page.html") return page("<html><head><title>" + req.query + "</title></head></html>");
    if (req.path == "/missing.html") return HttpReply::Status(404, "Not Found");
    return HttpReply::Status(404, "Not Found");
  }

  std::string Url(const std::string& path) { return "http://splash.quorvex.example" + path; }

  // The scripting objects outlive the browser, which releases them when it goes.
  RecordingDispatch external;
  RecordingHandler handler{&external};
  std::unique_ptr<HttpTestServer> server;
  std::unique_ptr<TForm> form;
  TCppWebBrowser* browser = nullptr;
};

TEST_F(WebBrowserTest, PageCallsReachTheHandlersDispatchWithArgumentsInReverseOrder) {
  InstallOnEveryDocument(browser, &handler);
  std::vector<AnsiString> titles;
  browser->OnTitleChange = [&](TObject*, const AnsiString& t) { titles.push_back(t); };

  browser->Navigate(Url("/calls.html").c_str(), navNoHistory | navNoReadFromCache | navNoWriteToCache);
  ASSERT_TRUE(webtest::WaitFor([&] { return external.calls.size() >= 3; }, kWait));
  ASSERT_TRUE(webtest::WaitForLoads(browser, 1, kWait));
  EXPECT_EQ(browser->ReadyState.get(), READYSTATE_COMPLETE);
  EXPECT_FALSE(browser->Busy.get());

  // Names as the page spelled them; the object decides how to match them.
  ASSERT_EQ(external.calls.size(), 3u);
  EXPECT_EQ(external.calls[0].name, L"add");
  EXPECT_EQ(external.calls[1].name, L"ADD");
  EXPECT_EQ(external.calls[2].name, L"Add");

  const Call& two = external.calls[0];
  ASSERT_EQ(two.args.size(), 2u);
  EXPECT_EQ(two.args[0].vt, VT_I4);
  EXPECT_EQ(two.args[0].lVal, 200);
  EXPECT_EQ(two.args[1].lVal, 400);

  const Call& four = external.calls[1];
  ASSERT_EQ(four.args.size(), 4u);
  EXPECT_EQ(four.args[3].vt, VT_BSTR);
  EXPECT_EQ(std::wstring(four.args[3].bstrVal), L"text");
  EXPECT_EQ(four.args[2].vt, VT_R8);
  EXPECT_DOUBLE_EQ(four.args[2].dblVal, 2.5);
  EXPECT_EQ(four.args[1].vt, VT_BOOL);
  EXPECT_EQ(four.args[1].boolVal, VARIANT_TRUE);
  EXPECT_EQ(four.args[0].vt, VT_I4);
  EXPECT_EQ(four.args[0].lVal, -7);

  // A bare read runs the member without arguments.
  EXPECT_TRUE(external.calls[2].args.empty());
  ASSERT_FALSE(titles.empty());
  EXPECT_EQ(titles.back(), "Calls");

  // A document reached by a link gets the handler too, so window.external works there.
  webtest::RunScript(browser, "document.getElementById('next').click()");
  ASSERT_TRUE(webtest::WaitFor([&] { return external.calls.size() >= 4; }, kWait));
  EXPECT_EQ(external.calls[3].args.size(), 1u);
  EXPECT_EQ(AnsiString(browser->LocationURL.get()), AnsiString(Url("/second.html").c_str()));
}

TEST_F(WebBrowserTest, AFailedCallIsAScriptErrorAndADocumentWithoutHandlerHasNoExternal) {
  InstallOnEveryDocument(browser, &handler);
  browser->Navigate(Url("/errors.html").c_str());
  ASSERT_TRUE(webtest::WaitFor([&] { return HasError(browser, "0x80020006"); }, kWait));
  EXPECT_TRUE(HasError(browser, "0x8002000E"));
  ASSERT_EQ(external.calls.size(), 1u);  // the unknown name is never invoked

  // A handler whose GetExternal fails: the call goes nowhere and the page sees an error.
  handler.externalFails = true;
  webtest::ClearConsole(browser);
  webtest::RunScript(browser, "window.external.Add(1); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return HasError(browser, "window.external.Add"); }, kWait));
  EXPECT_EQ(external.calls.size(), 1u);

  // No handler at all.
  browser->OnNavigateComplete2 = nullptr;
  int loads = webtest::CompletedLoads(browser);
  browser->Navigate(Url("/plain.html").c_str());
  ASSERT_TRUE(webtest::WaitForLoads(browser, loads + 1, kWait));
  webtest::ClearConsole(browser);
  webtest::RunScript(browser, "window.external.Add(1); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return HasError(browser, "window.external.Add"); }, kWait));
  EXPECT_EQ(external.calls.size(), 1u);
}

TEST_F(WebBrowserTest, ARefusedNavigationIsNeverRequestedAndErrorsKeepThePage) {
  std::vector<AnsiString> before;
  browser->OnBeforeNavigate2 = [&](TObject*, LPDISPATCH, const AnsiString& url, bool& cancel) {
    before.push_back(url);
    if (url.Pos("refuse") > 0) cancel = true;
  };
  std::vector<int> errors;
  browser->OnNavigateError = [&](TObject*, LPDISPATCH, const AnsiString&, int status, bool& cancel) {
    errors.push_back(status);
    cancel = true;
  };
  browser->Navigate(Url("/plain.html").c_str());
  ASSERT_TRUE(webtest::WaitForLoads(browser, 1, kWait));
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before[0], AnsiString(Url("/plain.html").c_str()));

  browser->Navigate(Url("/plain.html?x=refuse").c_str());
  ASSERT_TRUE(webtest::WaitFor([&] { return webtest::RefusedUrls(browser).size() == 1; }, kWait));
  for (const HttpRequest& r : server->Requests()) EXPECT_EQ(r.target.find("refuse"), std::string::npos);
  EXPECT_FALSE(browser->Busy.get());

  // A host that cannot be reached: the error is reported, the page shown before stays.
  int failed = webtest::FailedLoads(browser);
  browser->Navigate("http://127.0.0.1:1/nothing.html");
  ASSERT_TRUE(webtest::WaitFor([&] { return webtest::FailedLoads(browser) > failed; }, kWait));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(webtest::RunScript(browser, "document.body ? document.body.innerText : ''"), "plain");
}

TEST_F(WebBrowserTest, WindowCloseAsksTheHostAndTheContextMenuFollowsTheHandler) {
  InstallOnEveryDocument(browser, &handler);
  int closing = 0;
  browser->OnWindowClosing = [&](TObject*, bool child, bool& cancel) {
    EXPECT_FALSE(child);
    ++closing;
    cancel = true;
  };
  browser->Navigate(Url("/close.html").c_str());
  ASSERT_TRUE(webtest::WaitFor([&] { return closing == 1; }, kWait));

  webtest::ContextMenuAt(browser, 10, 10);
  EXPECT_EQ(handler.contextMenus, 1);
  EXPECT_EQ(webtest::ContextMenusShown(browser), 0);
  handler.contextMenuAnswer = S_FALSE;
  webtest::ContextMenuAt(browser, 10, 10);
  EXPECT_EQ(webtest::ContextMenusShown(browser), 1);
}

// The program loads every page with flags 14 (no history, no cache read or write): a page
// loaded so replaces the one before it, which history.back() cannot reach again.
TEST_F(WebBrowserTest, ANavigationWithoutHistoryLeavesNoWayBack) {
  const int noHistory = navNoHistory | navNoReadFromCache | navNoWriteToCache;
  auto title = [&] { return webtest::RunScript(browser, "document.title"); };
  auto historyLength = [&] { return webtest::RunScript(browser, "String(history.length)"); };
  browser->Navigate(Url("/page.html?first").c_str(), noHistory);
  ASSERT_TRUE(webtest::WaitForLoads(browser, 1, kWait));
  browser->Navigate(Url("/page.html?second").c_str(), noHistory);
  ASSERT_TRUE(webtest::WaitForLoads(browser, 2, kWait));
  EXPECT_EQ(title(), "second");
  EXPECT_TRUE(webtest::WaitFor([&] { return historyLength() == "1"; }, kWait)) << historyLength();
  webtest::RunScript(browser, "history.back(); 1");
  // A way back would load the first page again: none comes within a bound.
  EXPECT_FALSE(webtest::WaitFor([&] { return webtest::CompletedLoads(browser) > 2; }, 1500));
  EXPECT_EQ(title(), "second");

  // Without the flag the page before stays reachable, as in any browser.
  browser->Navigate(Url("/page.html?third").c_str(), 0);
  ASSERT_TRUE(webtest::WaitForLoads(browser, 3, kWait));
  EXPECT_EQ(historyLength(), "2");
  webtest::RunScript(browser, "history.back(); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return title() == "second"; }, kWait)) << title();
}

// ------------------------------------------------------------------ behind a proxy

// The browser and the HTTP transfers take one proxy setting the same way. The engine reads it
// once per process, so every case is a test of its own (CTest runs each in its own process).
struct ProxyCase {
  const char* name;
  const char* variable;  // the spelling that names the proxy
  bool credentials;      // the proxy demands them; the address carries them
  bool refused;          // the address carries a wrong password
  const char* noProxy;   // NO_PROXY, or null
};

class WebProxyTest : public ::testing::TestWithParam<ProxyCase> {
 protected:
  void SetUp() override { uitest::ResetApplication(); }
  void TearDown() override {
    form.reset();
    uitest::ResetApplication();
    for (const char* name : {"http_proxy", "HTTP_PROXY", "NO_PROXY", "WINPLAT_CONNECT_TO"}) unsetenv(name);
  }
  static HttpReply Page(const std::string& title) {
    HttpReply r = HttpReply::Text("<html><head><title>" + title + "</title></head><body>" + title + "</body></html>");
    r.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
    return r;
  }
  // The body a transfer gets for url, or "<status N>" for another status than 200.
  static std::string Transfer(const std::string& url) {
    HINTERNET session = InternetOpenA("WebProxyTest", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET h =
        InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    std::string body = "<open failed>";
    if (h) {
      char status[16] = "";
      DWORD len = sizeof status;
      HttpQueryInfoA(h, HTTP_QUERY_STATUS_CODE, status, &len, nullptr);
      body.clear();
      char buf[4096];
      DWORD read = 0;
      while (InternetReadFile(h, buf, sizeof buf, &read) && read > 0) body.append(buf, read);
      if (std::string(status) != "200") body = "<status " + std::string(status) + ">";
      InternetCloseHandle(h);
    }
    InternetCloseHandle(session);
    return body;
  }
  std::unique_ptr<TForm> form;
};

TEST_P(WebProxyTest, TheBrowserAndTheTransfersTakeTheSameProxy) {
  const ProxyCase& c = GetParam();
  HttpTestServer origin([](const HttpRequest&) { return Page("direct"); });
  CachingProxy proxy([](const HttpRequest&) { return Page("via proxy"); });
  if (c.credentials) proxy.RequireCredentials("navi user", "se:cret");
  std::string address = c.credentials ? proxy.Url("navi%20user", c.refused ? "wrong" : "se%3Acret") : proxy.Url();
  setenv(c.variable, address.c_str(), 1);
  if (c.noProxy) setenv("NO_PROXY", c.noProxy, 1);
  // Round the proxy, the vendor host reaches the origin through the host mapping.
  setenv("WINPLAT_CONNECT_TO", origin.ConnectTo("www.quorvex.example").c_str(), 1);
  const std::string url = "http://www.quorvex.example/pavo/model.html";

  std::string transferred = Transfer(url);
  form = std::make_unique<TForm>(nullptr, 0);
  form->SetBounds(0, 0, 400, 300);
  auto* browser = new TCppWebBrowser(form.get());
  browser->Parent = form.get();
  browser->Align = alClient;
  form->Show();
  browser->Navigate(url.c_str());
  ASSERT_TRUE(webtest::WaitFor(
      [&] { return webtest::CompletedLoads(browser) + webtest::FailedLoads(browser) >= 1; }, kWait));
  std::string title = webtest::RunScript(browser, "document.title");

  if (c.refused) {
    // Refused credentials are not offered again and again: the page and the transfer fail.
    EXPECT_EQ(transferred, "<status 407>");
    EXPECT_NE(title, "via proxy");
    EXPECT_LE(proxy.Refused(), 6);  // asked without and with them, for the page and maybe its icon
    EXPECT_TRUE(proxy.Forwarded().empty());
    return;
  }
  const std::string expected = c.noProxy ? "direct" : "via proxy";
  EXPECT_NE(transferred.find("<title>" + expected + "</title>"), std::string::npos) << transferred;
  EXPECT_EQ(title, expected);
  if (c.noProxy) {
    EXPECT_EQ(proxy.Requests().size(), 0u);
  } else {
    // The proxy is asked for the whole address by both (and may answer the browser from the
    // copy the transfer left, as the browser does not reload).
    int asked = 0;
    for (const HttpRequest& r : proxy.Requests()) asked += r.target == url;
    EXPECT_GE(asked, 2);
    EXPECT_EQ(origin.RequestCount(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, WebProxyTest,
    ::testing::Values(ProxyCase{"LowerCase", "http_proxy", false, false, nullptr},
                      ProxyCase{"Capitals", "HTTP_PROXY", false, false, nullptr},
                      ProxyCase{"LowerCaseWithCredentials", "http_proxy", true, false, nullptr},
                      ProxyCase{"CapitalsWithCredentials", "HTTP_PROXY", true, false, nullptr},
                      ProxyCase{"RefusedCredentials", "http_proxy", true, true, nullptr},
                      ProxyCase{"Bypassed", "HTTP_PROXY", false, false, "quorvex.example"},
                      ProxyCase{"BypassedByAPattern", "http_proxy", false, false, "*.quorvex.example"}),
    [](const ::testing::TestParamInfo<ProxyCase>& info) { return std::string(info.param.name); });

}  // namespace
