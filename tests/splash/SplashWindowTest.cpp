// Sorvel's start-up and splash window in this process, against the local vendor service and
// its sample site: the window's own layout, the sample page shaping it, the commands it does
// not know, the missing updater, and closing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataModuleMaster.h"
#include "FormWebBrowser.h"
#include "Registry.h"
#include "SysUtils.h"
#include "UiTest.h"
#include "VendorService.h"
#include "WebTest.h"
#include "windows.h"
#include "winplat.h"
#include "winuser.h"

namespace {

namespace fs = std::filesystem;
const int kWait = 30000;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
  return lines;
}

class SplashWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sorvel-window-XXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("WINPLAT_HKCU", (root_ / "hkcu.reg").c_str(), 1);
    setenv("WINPLAT_CACHE_DIR", (root_ / "cache").c_str(), 1);
    setenv("WINPLAT_CONNECTION", "lan", 1);
    vendor::Options options;
    options.site = VENDOR_SITE;
    options.eventCode = vendor::EventCode(7);
    service_ = std::make_unique<vendor::Service>(options);
    std::string message;
    ASSERT_TRUE(service_->Start(message)) << message;
    std::string map;
    for (const char* host : {"update.quorvex.example", "splash.quorvex.example"})
      map += (map.empty() ? "" : ",") + std::string(host) + ":80:127.0.0.1:" + std::to_string(service_->Port());
    setenv("WINPLAT_CONNECT_TO", map.c_str(), 1);
    oldDir_ = GetCurrentDir();
    uitest::ResetApplication();
    uitest::ClearShownBoxes();
    uitest::AnswerMessageBoxes(IDOK);
  }
  void TearDown() override {
    delete dmMaster;  // not the window: the application frees what it still owns
    dmMaster = nullptr;
    uitest::SetMessageBoxHook(nullptr);
    uitest::ResetApplication();
    SetCurrentDir(oldDir_);
    service_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The start-up as the program entry runs it; the splash window when it made one.
  TfrmWebBrowser* StartUp() {
    Application->CreateForm(dmMaster);
    return dynamic_cast<TfrmWebBrowser*>(Application->MainForm.get());
  }

  fs::path root_;
  AnsiString oldDir_;
  std::unique_ptr<vendor::Service> service_;
};

// The splash window's layout is the shared one with the splash window's position and sizes.
TEST_F(SplashWindowTest, TheSplashLayoutDiffersFromTheSharedOneOnlyInPositionAndSizes) {
  HRSRC r = FindResourceA(nullptr, "TFRMWEBBROWSER", RT_RCDATA);
  ASSERT_NE(r, nullptr);
  std::string splash(static_cast<const char*>(LockResource(LoadResource(nullptr, r))), SizeofResource(nullptr, r));
  std::ifstream in(SHARED_LAYOUT, std::ios::binary);
  std::stringstream shared;
  shared << in.rdbuf();
  std::vector<std::string> a = Lines(shared.str()), b = Lines(vendor::Cp949ToUtf8(splash));
  ASSERT_EQ(a.size(), b.size());
  std::vector<std::string> changed;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) changed.push_back(a[i] + " -> " + b[i]);
  EXPECT_EQ(changed, (std::vector<std::string>{"  ClientHeight = 339 ->   ClientHeight = 341",
                                               "  ClientWidth = 246 ->   ClientWidth = 248",
                                               "  Position = poMainFormCenter ->   Position = poScreenCenter",
                                               "    Width = 246 ->     Width = 248"}));

  TfrmWebBrowser* form = new TfrmWebBrowser(nullptr);
  EXPECT_EQ(form->Position.get(), poScreenCenter);
  EXPECT_EQ(form->tbMain->Width.get(), 248);
  EXPECT_EQ(form->LastUrl, AnsiString(URL_SPLASH_PAGE));
  delete form;
}

TEST_F(SplashWindowTest, TheSamplePageShapesItsWindowAndCannotReachTheUpdateCommands) {
  TfrmWebBrowser* form = StartUp();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(GetCurrentDir(), ExtractFileDir(Application->ExeName));
  form->Show();
  ASSERT_TRUE(webtest::WaitForLoads(form->cwb, 1, kWait));
  ASSERT_TRUE(webtest::WaitFor([&] { return form->ClientWidth.get() == 360 && form->ClientHeight.get() == 220; }, kWait))
      << form->ClientWidth.get() << "x" << form->ClientHeight.get();
  ASSERT_TRUE(webtest::WaitFor([&] { return GetWindowLongA(form->Handle, GWL_EXSTYLE) & 0x80; }, kWait));
  EXPECT_EQ(GetWindowLongA(form->Handle, GWL_STYLE) & 0x00C70000, 0x00C00000);  // caption only
  EXPECT_EQ(form->Caption.get(), AnsiString("PAVO 이벤트"));

  webtest::ClearConsole(form->cwb);
  webtest::RunScript(form->cwb, "window.external.__StartUpdate(); window.external.__ExitUpdater(); 1");
  auto errors = [&] {
    int n = 0;
    for (const auto& line : webtest::Console(form->cwb)) n += line.level == 2 && line.text.find("0x80020006") != std::string::npos;
    return n;
  };
  EXPECT_TRUE(webtest::WaitFor([&] { return errors() == 2; }, kWait));
  EXPECT_EQ(form->ClientWidth.get(), 360);
  EXPECT_TRUE(uitest::ShownBoxes().empty());
  EXPECT_FALSE(Application->Terminated.get());
}

TEST_F(SplashWindowTest, WithoutMovrantTheButtonSaysSoAndTheWindowStaysUntilClosed) {
  fs::path dir = fs::path(winplat::DosToUnix(ExtractFileDir(Application->ExeName).c_str()));
  ASSERT_FALSE(fs::exists(dir / "MovrantPavo.exe"));
  TfrmWebBrowser* form = StartUp();
  ASSERT_NE(form, nullptr);
  form->Show();
  ASSERT_TRUE(webtest::WaitForLoads(form->cwb, 1, kWait));
  // The sample page's first button calls "__CallUpdater".
  webtest::RunScript(form->cwb, "document.querySelector('button').click(); 1");
  ASSERT_TRUE(webtest::WaitFor([] { return !uitest::ShownBoxes().empty(); }, kWait));
  ASSERT_EQ(uitest::ShownBoxes().size(), 1u);
  EXPECT_EQ(uitest::ShownBoxes()[0].text, "Movrant 파일이 존재하지 않습니다.");
  EXPECT_EQ(uitest::ShownBoxes()[0].caption, "Kavlet");
  EXPECT_EQ(uitest::ShownBoxes()[0].flags, MB_ICONSTOP);
  EXPECT_FALSE(Application->Terminated.get());
  EXPECT_EQ(Application->MainForm.get(), form);

  // Closing the main window ends the program (the application frees it at the end).
  uitest::CloseWindow(form);
  EXPECT_TRUE(Application->Terminated.get());
}

TEST_F(SplashWindowTest, NothingNewMakesNoWindow) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Delmaro\\Movrant for Pavo\\SORVEL", true));
    reg.WriteString("EVENTINDEX", "7");
  }
  EXPECT_EQ(StartUp(), nullptr);
  EXPECT_EQ(Application->MainForm.get(), nullptr);
  ASSERT_NE(dmMaster, nullptr);
  EXPECT_EQ(dmMaster->GetEventIndex(), 7);
  EXPECT_FALSE(dmMaster->CheckShowSplash());
  EXPECT_TRUE(dmMaster->IsConnected());
}

}  // namespace
