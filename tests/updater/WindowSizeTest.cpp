// Window sizes a page asks for: the web page window (the notice window, Sorvel's splash) stays
// between its frame and the screens plus a frame, whatever the page sends, and keeps working.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "FormWebBrowser.h"
#include "HttpTestServer.h"
#include "UiTest.h"
#include "WebTest.h"

using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

const int kWait = 20000;

class WindowSizeTest : public ::testing::Test {
 protected:
  // One server for the suite: the browser takes the host mapping once per process.
  static void SetUpTestSuite() {
    server = new HttpTestServer([](const HttpRequest&) {
      return HttpReply::Text("<html><head><title>size</title></head><body>page</body></html>");
    });
    setenv("WINPLAT_CONNECT_TO", server->ConnectTo("www.quorvex.example").c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    uitest::ResetApplication();
    uitest::AnswerMessageBoxes(IDOK);
    form = std::make_unique<TfrmWebBrowser>(nullptr, "http://www.quorvex.example/size.html");
    form->Show();
    ASSERT_TRUE(webtest::WaitForLoads(form->cwb, 1, kWait));
  }
  void TearDown() override {
    form.reset();
    uitest::SetMessageBoxHook(nullptr);
    uitest::ResetApplication();
  }
  // The page's own call, through window.external; "done" once the page goes on after it.
  std::string PageCalls(const std::string& call) {
    return webtest::RunScript(form->cwb, "window.external." + call + "; 'done'", kWait);
  }
  void ExpectWithinTheScreens(const std::string& what) {
    const int maxWidth = GetSystemMetrics(SM_CXMAXTRACK), maxHeight = GetSystemMetrics(SM_CYMAXTRACK);
    EXPECT_GE(form->Width.get(), 0) << what;
    EXPECT_GE(form->Height.get(), 0) << what;
    EXPECT_LE(form->Width.get(), maxWidth) << what;
    EXPECT_LE(form->Height.get(), maxHeight) << what;
    RECT r{};
    ASSERT_TRUE(GetWindowRect(form->Handle, &r));
    EXPECT_LE(r.right - r.left, maxWidth) << what;
    EXPECT_LE(r.bottom - r.top, maxHeight) << what;
    EXPECT_GE(form->cwb->Width.get(), 0) << what;
    EXPECT_LE(form->cwb->Width.get(), maxWidth) << what;
    EXPECT_LE(form->cwb->Height.get(), maxHeight) << what;
  }

  static HttpTestServer* server;
  std::unique_ptr<TfrmWebBrowser> form;
};
HttpTestServer* WindowSizeTest::server = nullptr;

TEST_F(WindowSizeTest, HugeAndNegativeSizesFromThePageAreClampedAndThePageGoesOn) {
  ASSERT_GT(GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CXVIRTUALSCREEN));
  const char* const calls[] = {
      "__WindowSize(100000, 100000)", "__WindowSize(20000, 20000)",       "__WindowSize(2147483647, 2147483647)",
      "__WindowPositionStyle(0)",     "__WindowSize(-100, -5)",            "__WindowSize(-2147483648, -2147483648)",
      "__WindowBorderStyle(2)",       "__WindowSize(2147483647, 100)",     "__WindowPositionStyle(1)",
      // With the tool bar its height is added to the page's.
      "__SetVisible(1, 1)",           "__WindowSize(2147483647, 2147483647)", "__WindowSize(-2147483648, -2147483648)",
      "__SetVisible(1, 0)",
  };
  for (const char* call : calls) {
    EXPECT_EQ(PageCalls(call), "done") << call;
    ExpectWithinTheScreens(call);
    // The browser still draws and answers at that size.
    uitest::Pump(100);
    EXPECT_EQ(webtest::RunScript(form->cwb, "document.title", kWait), "size") << call;
  }
  // A size that fits is taken as asked.
  EXPECT_EQ(PageCalls("__WindowBorderStyle(0)"), "done");
  EXPECT_EQ(PageCalls("__WindowSize(400, 200)"), "done");
  EXPECT_EQ(form->ClientWidth.get(), 400);
  EXPECT_EQ(form->ClientHeight.get(), 200);
}

TEST_F(WindowSizeTest, TheLayersSizesAreClampedForEveryWayIn) {
  const int maxWidth = GetSystemMetrics(SM_CXMAXTRACK), maxHeight = GetSystemMetrics(SM_CYMAXTRACK);
  form->SetBounds(0, 0, 2147483647, 2147483647);
  EXPECT_EQ(form->Width.get(), maxWidth);
  EXPECT_EQ(form->Height.get(), maxHeight);
  EXPECT_TRUE(SetWindowPos(form->Handle, nullptr, 2147483647, -2147483647 - 1, 1000000, -1000000, SWP_NOZORDER));
  EXPECT_EQ(form->Width.get(), maxWidth);
  EXPECT_LE(form->Height.get(), 1);  // the window system keeps a line of client area
  EXPECT_EQ(form->Left.get(), 32767);  // the window system's 16-bit coordinates
  EXPECT_EQ(form->Top.get(), -32768);
  form->ClientWidth = 2147483647;
  form->ClientHeight = -2147483647 - 1;
  ExpectWithinTheScreens("client size");
  RECT r{};
  ASSERT_TRUE(GetWindowRect(form->Handle, &r));
  EXPECT_LT(r.left, r.right + 1);  // no wrap-around of the edges
  uitest::Pump(100);
  EXPECT_EQ(webtest::RunScript(form->cwb, "document.title", kWait), "size");
}

}  // namespace
