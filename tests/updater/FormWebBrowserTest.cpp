// The web page window: its page commands from real pages in the engine, the style words of the
// border styles, navigation rules, refresh, closing, and launching the updater.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FormWebBrowser.h"
#include "HttpTestServer.h"
#include "SysUtils.h"
#include "UiTest.h"
#include "VendorService.h"
#include "WebTest.h"
#include "winplat.h"

using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

namespace fs = std::filesystem;
const int kWait = 20000;

struct Received {
  AnsiString name;
  std::vector<int> args;  // rgvarg order
  HRESULT result;
};

struct ReceiverCall {
  std::string command;
  bool ask;
};
std::vector<ReceiverCall> gReceived;
void RecordCommand(void* data, const char* command, bool ask) {
  EXPECT_EQ(data, &gReceived);
  gReceived.push_back({command, ask});
}

class FormWebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::ResetApplication();
    uitest::ClearShownBoxes();
    uitest::AnswerMessageBoxes(IDOK);
    gReceived.clear();
    server = std::make_unique<HttpTestServer>([this](const HttpRequest& req) { return Serve(req); });
    setenv("WINPLAT_CONNECT_TO", server->ConnectTo("www.quorvex.example").c_str(), 1);
  }
  void TearDown() override {
    delete form;
    form = nullptr;
    server.reset();
    uitest::SetMessageBoxHook(nullptr);
    uitest::ResetApplication();
  }

  static HttpReply Page(const std::string& title, const std::string& script, const std::string& body = "") {
    // Korean text travels as code page 949 (the literals here are), as the vendor's pages do.
    HttpReply r = HttpReply::Text("<html><head><title>" + title + "</title></head><body>" + body + "<script>" +
                                  script + "</script></body></html>");
    r.headers.push_back({"Content-Type", "text/html; charset=euc-kr"});
    return r;
  }
  HttpReply Serve(const HttpRequest& req) {
    if (req.path == "/size.html") return Page("크기", "", "<button id=b onclick='window.external.__windowsize(400, 200)'>");
    if (req.path == "/wrongcount.html") return Page("count", "window.external.__WindowSize(400);");
    if (req.path == "/commands.html")
      return Page("commands",
                  "window.external.__StartUpdate(); window.external.__PauseUpdate(); window.external.__ExitUpdater;");
    if (req.path == "/first.html") return Page("first", "", "<a id=next href='/second.html'>next</a>");
    if (req.path == "/second.html") return Page("second", "window.external.__SetVisible(1, 1);");
    if (req.path == "/refuse.html")
      return Page("refuse", "", "<a id=res href='/target.html?from=res://x'>res</a>");
    if (req.path == "/close.html") return Page("close", "", "<button id=b onclick='window.close()'>");
    if (req.path == "/plain.html") return Page("plain", "", "plain");
    return HttpReply::Status(404, "Not Found");
  }
  std::string Url(const std::string& path) { return "http://www.quorvex.example" + path; }

  // A window with the page loaded and every command recorded on its way to the window.
  void Open(const std::string& path) {
    form = new TfrmWebBrowser(nullptr, Url(path).c_str());
    form->CommandReceiver = RecordCommand;
    form->CommandData = &gReceived;
    form->external->OnInvoke = [this](TWebExternal* s, AnsiString name, DISPPARAMS* p, VARIANT* r) {
      Received rec{name, {}, S_OK};
      for (UINT i = 0; i < p->cArgs; ++i) rec.args.push_back(p->rgvarg[i].lVal);
      rec.result = form->ExternalInvoke(s, name, p, r);
      received.push_back(rec);
      return rec.result;
    };
    form->Show();
    ASSERT_TRUE(webtest::WaitForLoads(form->cwb, 1, kWait));
  }
  HRESULT Command(const char* name, std::vector<int> scriptArgs) {
    std::vector<VARIANT> argv(scriptArgs.size());
    for (size_t i = 0; i < scriptArgs.size(); ++i) {
      VARIANT& v = argv[scriptArgs.size() - 1 - i];
      VariantInit(&v);
      v.vt = VT_I4;
      v.lVal = scriptArgs[i];
    }
    DISPPARAMS params{argv.data(), nullptr, UINT(argv.size()), 0};
    VARIANT result;
    result.vt = VT_I4;
    HRESULT hr = form->ExternalInvoke(form->external, name, &params, &result);
    EXPECT_EQ(result.vt, VT_EMPTY);
    return hr;
  }
  bool ScriptError(const std::string& part) {
    for (const auto& line : webtest::Console(form->cwb))
      if (line.level == 2 && line.text.find(part) != std::string::npos) return true;
    return false;
  }
  int Requests(const std::string& path) {
    int n = 0;
    for (const HttpRequest& r : server->Requests()) n += r.path == path;
    return n;
  }

  std::unique_ptr<HttpTestServer> server;
  TfrmWebBrowser* form = nullptr;
  std::vector<Received> received;
};

TEST_F(FormWebBrowserTest, WindowSizeFromThePageKeepsTheCentreWithAndWithoutTheToolBar) {
  ASSERT_NO_FATAL_FAILURE(Open("/size.html"));
  EXPECT_EQ(form->Caption.get(), AnsiString("크기"));
  EXPECT_EQ(form->cwb->Align.get(), alClient);
  EXPECT_EQ(form->ClientWidth.get(), 300);
  EXPECT_EQ(form->ClientHeight.get(), 300);
  form->Left = 100;
  form->Top = 100;
  webtest::RunScript(form->cwb, "document.getElementById('b').click(); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return received.size() == 1; }, kWait));
  EXPECT_EQ(received[0].name, "__WindowSize");
  EXPECT_EQ(received[0].args, (std::vector<int>{200, 400}));
  EXPECT_EQ(received[0].result, S_OK);
  EXPECT_EQ(form->Left.get(), 50);
  EXPECT_EQ(form->Top.get(), 150);
  EXPECT_EQ(form->ClientWidth.get(), 400);
  EXPECT_EQ(form->ClientHeight.get(), 200);

  // With the tool bar shown the page's height excludes it.
  form->ClientWidth = 300;
  form->ClientHeight = 300;
  form->Left = 100;
  form->Top = 100;
  EXPECT_EQ(Command("__SetVisible", {1, 1}), S_OK);
  ASSERT_TRUE(form->tbMain->Visible.get());
  ASSERT_EQ(form->tbMain->Height.get(), 24);
  EXPECT_EQ(Command("__WindowSize", {400, 200}), S_OK);
  EXPECT_EQ(form->Left.get(), 50);
  EXPECT_EQ(form->Top.get(), 138);
  EXPECT_EQ(form->ClientWidth.get(), 400);
  EXPECT_EQ(form->ClientHeight.get(), 224);
}

TEST_F(FormWebBrowserTest, WrongArgumentCountsAndUnknownNamesChangeNothing) {
  ASSERT_NO_FATAL_FAILURE(Open("/wrongcount.html"));
  ASSERT_TRUE(webtest::WaitFor([&] { return ScriptError("0x8002000E"); }, kWait));
  EXPECT_EQ(form->ClientWidth.get(), 300);
  EXPECT_EQ(form->ClientHeight.get(), 300);

  struct Case {
    const char* name;
    std::vector<int> args;
    HRESULT result;
  };
  const Case cases[] = {
      {"__WindowSize", {400}, DISP_E_BADPARAMCOUNT},
      {"__WindowBorderStyle", {}, DISP_E_BADPARAMCOUNT},
      {"__SetVisible", {1}, DISP_E_BADPARAMCOUNT},
      {"__WindowPositionStyle", {1, 2}, DISP_E_BADPARAMCOUNT},
      {"__Test", {}, S_OK},
  };
  for (const Case& c : cases) EXPECT_EQ(Command(c.name, c.args), c.result) << c.name;
  EXPECT_EQ(form->ClientWidth.get(), 300);
  EXPECT_FALSE(form->tbMain->Visible.get());
  EXPECT_TRUE(uitest::ShownBoxes().empty());

  EXPECT_EQ(Command("__Nothing", {}), DISP_E_MEMBERNOTFOUND);
  ASSERT_EQ(uitest::ShownBoxes().size(), 1u);
  EXPECT_EQ(uitest::ShownBoxes()[0].text, "Kavlet Method : 알 수 없는 명령[__Nothing]");
  EXPECT_EQ(uitest::ShownBoxes()[0].caption, "Kavlet");
  EXPECT_EQ(uitest::ShownBoxes()[0].flags, 16);

  // A name the window never registered does not get that far: the lookup fails.
  webtest::ClearConsole(form->cwb);
  webtest::RunScript(form->cwb, "window.external.__Nothing(); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return ScriptError("0x80020006"); }, kWait));
  EXPECT_EQ(uitest::ShownBoxes().size(), 1u);
}

TEST_F(FormWebBrowserTest, BorderStylesRewriteTheWindowsStyleWords) {
  ASSERT_NO_FATAL_FAILURE(Open("/plain.html"));
  struct Case {
    int style;
    LONG expectStyle;
    LONG expectEx;
  };
  const LONG base = 0x10000000;  // visible; no frame bits
  const Case cases[] = {
      {0, base, 0},
      {1, base | 0x00C30000, 0},
      {2, base | 0x00C70000, 0},
      {3, base | 0x00C00000, 0},
      {4, base | 0x00C00000, 0x80},
      {5, base | 0x00C40000, 0x80},
      {9, base | 0x00050000, 0x80},  // unchanged
  };
  for (const Case& c : cases) {
    // Start from a thick frame and a minimize box, tool window set.
    SetWindowLongA(form->Handle, GWL_STYLE, base | 0x00050000);
    SetWindowLongA(form->Handle, GWL_EXSTYLE, 0x80);
    EXPECT_EQ(Command("__WindowBorderStyle", {c.style}), S_OK);
    EXPECT_EQ(GetWindowLongA(form->Handle, GWL_STYLE) & 0x00CF0000, c.expectStyle & 0x00CF0000) << c.style;
    EXPECT_EQ(GetWindowLongA(form->Handle, GWL_EXSTYLE) & 0x80, c.expectEx) << c.style;
    EXPECT_EQ(form->BorderStyle.get(), bsNone);  // the property keeps its design value
  }
}

TEST_F(FormWebBrowserTest, ToolBarVisibilityAndPositionStyles) {
  ASSERT_NO_FATAL_FAILURE(Open("/plain.html"));
  EXPECT_EQ(Command("__SetVisible", {1, 1}), S_OK);
  EXPECT_TRUE(form->tbMain->Visible.get());
  EXPECT_EQ(Command("__SetVisible", {2, 0}), S_OK);
  EXPECT_TRUE(form->tbMain->Visible.get());
  EXPECT_EQ(Command("__SetVisible", {1, 7}), S_OK);
  EXPECT_FALSE(form->tbMain->Visible.get());

  form->Position = poDesigned;
  EXPECT_EQ(Command("__WindowPositionStyle", {7}), S_OK);
  EXPECT_EQ(form->Position.get(), poDesigned);
  EXPECT_EQ(form->cwb->Align.get(), alClient);
  EXPECT_EQ(form->cwb->Left.get(), 0);
  const TPosition positions[] = {poScreenCenter, poDesktopCenter, poDefault};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Command("__WindowPositionStyle", {i}), S_OK);
    EXPECT_EQ(form->Position.get(), positions[i]);
  }
}

TEST_F(FormWebBrowserTest, UpdateCommandsReachTheReceiverWithoutAsking) {
  ASSERT_NO_FATAL_FAILURE(Open("/commands.html"));
  ASSERT_TRUE(webtest::WaitFor([&] { return gReceived.size() == 3; }, kWait));
  EXPECT_EQ(gReceived[0].command, "__StartUpdate");
  EXPECT_EQ(gReceived[1].command, "__PauseUpdate");
  EXPECT_EQ(gReceived[2].command, "__ExitUpdater");  // read as a property: runs all the same
  for (const ReceiverCall& c : gReceived) EXPECT_FALSE(c.ask);
}

TEST_F(FormWebBrowserTest, NavigationRulesRefreshAndLinkedPages) {
  ASSERT_NO_FATAL_FAILURE(Open("/refuse.html"));
  EXPECT_EQ(form->LastUrl, AnsiString(Url("/refuse.html").c_str()));

  // "res://" anywhere, also in a query, is never requested.
  webtest::RunScript(form->cwb, "document.getElementById('res').click(); 1");
  form->Navigate(Url("/plain.html?res://y").c_str());
  ASSERT_TRUE(webtest::WaitFor([&] { return webtest::RefusedUrls(form->cwb).size() == 2; }, kWait));
  for (const HttpRequest& r : server->Requests()) EXPECT_EQ(r.target.find("res://"), std::string::npos);

  // about:blank leaves LastUrl; Refresh loads the page before it again.
  form->Navigate("about:blank");
  EXPECT_EQ(form->LastUrl, AnsiString(Url("/plain.html?res://y").c_str()));
  form->Navigate(Url("/first.html").c_str());
  ASSERT_TRUE(webtest::WaitFor([&] { return Requests("/first.html") == 1; }, kWait));
  int loads = webtest::CompletedLoads(form->cwb);
  ASSERT_TRUE(webtest::WaitForLoads(form->cwb, loads, kWait));
  form->Navigate("about:blank");
  uitest::Click(form->ToolButton1);
  ASSERT_TRUE(webtest::WaitFor([&] { return Requests("/first.html") == 2; }, kWait));
  ASSERT_TRUE(webtest::WaitFor([&] { return form->cwb->LocationURL.get() == AnsiString(Url("/first.html").c_str()); }, kWait));

  // A page reached by a link gets window.external too.
  ASSERT_TRUE(webtest::WaitFor([&] { return webtest::RunScript(form->cwb, "document.getElementById('next') ? 1 : 0") == "1"; }, kWait));
  webtest::RunScript(form->cwb, "document.getElementById('next').click(); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return form->tbMain->Visible.get(); }, kWait));

  // A navigation error keeps what the window showed; the page never gets a context menu.
  int failed = webtest::FailedLoads(form->cwb);
  form->Navigate("http://127.0.0.1:1/nothing.html");
  ASSERT_TRUE(webtest::WaitFor([&] { return webtest::FailedLoads(form->cwb) > failed; }, kWait));
  EXPECT_EQ(webtest::RunScript(form->cwb, "document.title"), "second");
  webtest::ContextMenuAt(form->cwb, 20, 20);
  EXPECT_EQ(webtest::ContextMenusShown(form->cwb), 0);
}

TEST_F(FormWebBrowserTest, WindowCloseFromThePageClosesAndFreesTheWindow) {
  ASSERT_NO_FATAL_FAILURE(Open("/close.html"));
  bool destroyed = false;
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  webtest::RunScript(form->cwb, "document.getElementById('b').click(); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return destroyed; }, kWait));
  form = nullptr;  // freed by its own close
}

TEST_F(FormWebBrowserTest, CallUpdaterStartsMovrantBesideTheProgramOrSaysItIsMissing) {
  ASSERT_NO_FATAL_FAILURE(Open("/plain.html"));
  fs::path dir = fs::path(winplat::DosToUnix(ExtractFileDir(Application->ExeName).c_str()));
  fs::path program = dir / "MovrantPavo.exe";
  fs::path marker = fs::temp_directory_path() / ("movrant-started-" + std::to_string(getpid()));
  fs::remove(program);
  fs::remove(marker);

  EXPECT_EQ(Command("__CallUpdater", {}), S_OK);
  ASSERT_EQ(uitest::ShownBoxes().size(), 1u);
  EXPECT_EQ(uitest::ShownBoxes()[0].text, "Movrant 파일이 존재하지 않습니다.");
  EXPECT_EQ(uitest::ShownBoxes()[0].caption, "Kavlet");
  EXPECT_FALSE(Application->Terminated.get());
  EXPECT_EQ(GetCurrentDir(), ExtractFileDir(Application->ExeName));

  // A stand-in that records its start and its arguments.
  {
    std::ofstream f(program);
    f << "#!/bin/sh\necho \"started $#\" > '" << marker.string() << "'\n";
  }
  fs::permissions(program, fs::perms::owner_all);
  EXPECT_EQ(Command("__CallUpdater", {}), S_OK);
  EXPECT_TRUE(Application->Terminated.get());
  EXPECT_EQ(uitest::ShownBoxes().size(), 1u);
  ASSERT_TRUE(webtest::WaitFor([&] { return fs::exists(marker) && fs::file_size(marker) > 0; }, kWait));
  std::ifstream in(marker);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "started 0");  // no "-r": the updater checks for its own update
  fs::remove(program);
  fs::remove(marker);
}

// The sample site's notice page, as the vendor service serves it, sizes and styles its window
// and sends the update commands from its buttons.
TEST_F(FormWebBrowserTest, TheSampleNoticePageShapesItsWindowAndSendsTheUpdateCommands) {
  vendor::Options options;
  options.site = VENDOR_SITE;
  vendor::Service service(options);
  std::string message;
  ASSERT_TRUE(service.Start(message)) << message;
  std::string mapping = "www.quorvex.example:80:127.0.0.1:" + std::to_string(service.Port());
  setenv("WINPLAT_CONNECT_TO", mapping.c_str(), 1);
  form = new TfrmWebBrowser(nullptr, "http://www.quorvex.example/pavo/model/notify.html");
  form->CommandReceiver = RecordCommand;
  form->CommandData = &gReceived;
  form->Show();
  ASSERT_TRUE(webtest::WaitForLoads(form->cwb, 1, kWait));
  // The page sizes its borderless window, then gives it a tool window's caption: the outer size
  // stays, as a frame change without a size change does.
  ASSERT_TRUE(webtest::WaitFor([&] { return (GetWindowLongA(form->Handle, GWL_EXSTYLE) & 0x80) != 0; }, kWait));
  EXPECT_EQ(GetWindowLongA(form->Handle, GWL_STYLE) & 0x00C70000, 0x00C00000);
  EXPECT_EQ(form->Width.get(), 320);
  EXPECT_EQ(form->Height.get(), 240);
  EXPECT_LT(form->ClientHeight.get(), 240);
  EXPECT_EQ(form->Caption.get(), AnsiString("공지 사항"));

  webtest::RunScript(form->cwb, "Array.prototype.slice.call(document.querySelectorAll('button'), 0, 3)"
                                ".forEach(function (b) { b.click(); }); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return gReceived.size() == 3; }, kWait));
  EXPECT_EQ(gReceived[0].command, "__StartUpdate");
  EXPECT_EQ(gReceived[1].command, "__PauseUpdate");
  EXPECT_EQ(gReceived[2].command, "__ExitUpdater");
  delete form;
  form = nullptr;
  service.Stop();
}

// Arguments are converted as the script engine converts them: text that is a number counts as
// that number, other text fails the call as a script error.
TEST_F(FormWebBrowserTest, TextArgumentsAreConvertedOrFailTheCall) {
  server->SetHandler([](const HttpRequest&) { return Page("typed", ""); });
  ASSERT_NO_FATAL_FAILURE(Open("/typed.html"));
  form->Left = 100;
  form->Top = 100;
  webtest::RunScript(form->cwb, "window.external.__WindowSize('400', '200'); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return received.size() == 1; }, kWait));
  EXPECT_EQ(received[0].result, S_OK);
  EXPECT_EQ(form->Left.get(), 50);
  EXPECT_EQ(form->Top.get(), 150);
  EXPECT_EQ(form->ClientWidth.get(), 400);
  EXPECT_EQ(form->ClientHeight.get(), 200);

  webtest::ClearConsole(form->cwb);
  webtest::RunScript(form->cwb, "window.external.__WindowSize('a', 'b'); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return ScriptError("0x80020005"); }, kWait));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].result, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(form->Left.get(), 50);
  EXPECT_EQ(form->ClientWidth.get(), 400);
  EXPECT_EQ(form->ClientHeight.get(), 200);

  webtest::RunScript(form->cwb, "window.external.__SetVisible(1, 'no'); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return received.size() == 3; }, kWait));
  webtest::RunScript(form->cwb, "window.external.__SetVisible('1', 1.0); 1");
  ASSERT_TRUE(webtest::WaitFor([&] { return received.size() == 4; }, kWait));
  EXPECT_EQ(received[2].result, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(received[3].result, S_OK);
  EXPECT_TRUE(form->tbMain->Visible.get());
}

}  // namespace
