// The set-up the main window's tests share: the sample site served by the vendor service, a
// download root in a temporary folder, the data module filled as a login leaves it, and the
// real main window with its download form, driven offscreen. Message boxes are answered by
// rules and recorded; what the run shows in a row's result column is recorded as it is painted.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "DataModuleMaster.h"
#include "ExtCtrls.h"
#include "FormMain.h"
#include "FormProgramUpdate.h"
#include "FormWebBrowser.h"
#include "Forms.h"
#include "IniFiles.h"
#include "SysUtils.h"
#include "UiTest.h"
#include "VendorService.h"
#include "WebTest.h"
#include "winplat.h"

namespace runtest {

namespace fs = std::filesystem;
using testsupport::ReadUnix;
using testsupport::WriteUnix;
const int kWait = 60000;



inline int32_t Crc(const std::string& data) {
  return int32_t(uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size()))));
}

// Runs pending events until cond holds; false when the time ran out.
inline bool PumpUntil(const std::function<bool()>& cond, int ms = kWait) {
  for (int waited = 0; waited < ms; waited += 5) {
    if (cond()) return true;
    uitest::Pump(5);
  }
  return cond();
}

// Does action once, the first time cond holds while events are handled (inside a run's
// message pumping too).
class When {
 public:
  When(std::function<bool()> cond, std::function<void()> action)
      : cond_(std::move(cond)), action_(std::move(action)), timer_(nullptr) {
    timer_.Interval = 1;
    timer_.OnTimer = [this](TObject*) {
      if (done_ || !cond_()) return;
      done_ = true;
      timer_.Enabled = false;
      action_();
    };
    timer_.Enabled = true;
  }
  bool Done() const { return done_; }

 private:
  std::function<bool()> cond_;
  std::function<void()> action_;
  TTimer timer_;
  bool done_ = false;
};

// The web pages of the sample site, for every browser of the test program: the browsers take
// their host mapping once, from the first one made.
inline vendor::Service& PageService() {
  static std::unique_ptr<vendor::Service> service = [] {
    vendor::Options o;
    o.site = VENDOR_SITE;
    auto s = std::make_unique<vendor::Service>(o);
    std::string message;
    if (!s->Start(message)) ADD_FAILURE() << message;
    return s;
  }();
  return *service;
}

class RunFixture : public ::testing::Test {
 protected:
  // Options of the data service of one test (failures, throttling) before SetUp.
  vendor::Options options_;
  bool startForms_ = true;

  void SetUp() override {
    char tmpl[] = "/tmp/movrant-run-XXXXXX";
    root_ = mkdtemp(tmpl);
    for (const char* d : {"data", "temp", "run", "bin", "cache"}) fs::create_directories(root_ / d);
    Set("WINPLAT_HKCU", (root_ / "hkcu.reg").string());
    Set("WINPLAT_CACHE_DIR", (root_ / "cache").string());
    Set("WINPLAT_RUNTIME_DIR", (root_ / "run").string());
    Set("TMPDIR", (root_ / "temp").string());
    Set("WINPLAT_CONNECTION", "lan");
    Set("WINPLAT_DRIVES", "C=/,fixed" + drives_);
    winplat::ReloadDrives();
    // The shell's opener records what it is asked to open.
    WriteUnix(root_ / "bin" / "xdg-open", "#!/bin/sh\necho \"$1\" >> '" + (root_ / "opened.log").string() + "'\n",
              true);
    const char* path = getenv("PATH");
    Set("PATH", (root_ / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));

    options_.site = VENDOR_SITE;
    options_.log = (root_ / "notices.log").string();
    service_ = std::make_unique<vendor::Service>(options_);
    std::string message;
    ASSERT_TRUE(service_->Start(message)) << message;
    int pages = PageService().Port();
    std::string map = "trelm.quorvex.example:80:127.0.0.1:" + std::to_string(service_->Port()) +
                      ",www.quorvex.example:80:127.0.0.1:" + std::to_string(pages) + extraHosts_;
    Set("WINPLAT_CONNECT_TO", map);

    oldDir_ = GetCurrentDir();
    uitest::ResetApplication();
    uitest::ClearShownBoxes();
    uitest::SetMessageBoxHook([this](const AnsiString& text, const AnsiString&, int flags) {
      boxes_.push_back(std::to_string(flags) + "|" + text.str());
      for (auto& [part, answer] : answers_)
        if (text.str().find(part) != std::string::npos) return answer;
      return (flags & MB_YESNO) ? IDYES : IDOK;
    });

    dm_ = std::make_unique<TdmMaster>(nullptr, 0);
    dm_->SetRootPath(Dos("data"));
    dm_->UserID = "demo";
    dm_->CameraUrl = "http://trelm.quorvex.example/pavoData/camera/SafeCam.ZIP";
    for (const char* name : {"PAVO_X1.ini", "PAVO_S7.ini"}) {
      TMemIniFile* ini = LoadInfoFile(AnsiString("http://trelm.quorvex.example/pavoTrelm/model/") + name);
      ASSERT_NE(ini, nullptr) << name;
      dm_->AddInfoFile(ini);
    }
    if (startForms_) StartForms();
  }

  void StartForms() {
    Application->CreateForm(frmMain);
    frmMain->Show();
    form_ = frmProgramUpdate;
    ASSERT_NE(form_, nullptr);
    // What a row's result column shows, each change as it is painted.
    auto draw = form_->lvMain->OnCustomDrawSubItem;
    form_->lvMain->OnCustomDrawSubItem = [this, draw](TCustomListView* Sender, TListItem* Item, int SubItem,
                                                      TCustomDrawState State, bool& DefaultDraw) {
      if (SubItem == 2) {
        std::vector<std::string>& seen = shown_[Item->Caption.get().str()];
        std::string text = Item->SubItems->Get(1).str();
        if (seen.empty() || seen.back() != text) {
          seen.push_back(text);
          if (onShown_) onShown_(Item, text);
        }
      }
      draw(Sender, Item, SubItem, State, DefaultDraw);
    };
  }

  void TearDown() override {
    if (frmMain) {
      frmMain->SetState(2, true);
      delete frmMain;
      frmMain = nullptr;
    }
    dm_.reset();
    uitest::SetMessageBoxHook(nullptr);
    uitest::SetFolderDialogHook(nullptr);
    uitest::ClearShownBoxes();
    uitest::ResetApplication();
    SetCurrentDir(oldDir_);
    service_.reset();
    env_.Restore();
    winplat::ReloadDrives();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void Set(const std::string& name, const std::string& value) { env_.Set(name, value); }

  AnsiString Dos(const std::string& name) const { return winplat::UnixToDos((root_ / name).string()); }
  fs::path Data(const std::string& rel) const { return root_ / "data" / rel; }
  fs::path Site(const std::string& rel) const { return fs::path(VENDOR_SITE) / rel; }

  TMemIniFile* Model(const char* caption) {
    for (int i = 0; i < dm_->InfoFiles->Count(); ++i)
      if (dm_->InfoFiles->File(i)->ReadString("ENVIRONMENT", "MODEL_CAPTION", "") == caption)
        return dm_->InfoFiles->File(i);
    return nullptr;
  }
  void Choose(const char* caption) {
    int index = form_->cbxModel->Items->IndexOf(caption);
    ASSERT_GE(index, 0) << caption;
    form_->cbxModel->ItemIndex = index;
    form_->cbxModelChange(form_->cbxModel);
  }
  TListItem* Row(int index) { return form_->lvMain->Items->Item(index); }
  TDownloadItem* Rec(int index) { return static_cast<TDownloadItem*>(Row(index)->Data.get()); }
  std::string Result(int index) { return Row(index)->SubItems->Get(1).str(); }

  // Presses the start (or pause) button; returns when the run it started has ended. A run that
  // does not end in time is stopped as a close would stop it, and fails the test.
  void ClickStart() {
    bool timedOut = false;
    TTimer watchdog(nullptr);
    watchdog.Interval = 120000;
    watchdog.OnTimer = [&](TObject*) {
      watchdog.Enabled = false;
      timedOut = true;
      frmMain->SetState(2, true);
    };
    watchdog.Enabled = true;
    uitest::Click(form_->btnDownStart);
    watchdog.Enabled = false;
    EXPECT_FALSE(timedOut) << "the run did not end";
  }

  // The paths (without query) of the data service's requests so far.
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const std::string& r : service_->Requests()) {
      std::string path = r.substr(std::min(r.find('/'), r.size()));
      paths.push_back(path.substr(0, path.find('?')));
    }
    return paths;
  }
  int Requests(const std::string& path) const {
    int n = 0;
    for (const std::string& p : Paths()) n += p == path;
    return n;
  }
  std::vector<std::string> Notices() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadUnix(root_ / "notices.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> Opened() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadUnix(root_ / "opened.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  int BoxesWith(const std::string& part) const {
    int n = 0;
    for (const std::string& b : boxes_) n += b.find(part) != std::string::npos;
    return n;
  }
  // The notice window the run opened, if one is open.
  TfrmWebBrowser* NoticeWindow() const {
    for (int i = 0; i < form_->ComponentCount(); ++i)
      if (auto* w = dynamic_cast<TfrmWebBrowser*>(form_->Components(i))) return w;
    return nullptr;
  }

  fs::path root_;
  std::string drives_;       // further drive table entries (";E=...") before SetUp
  std::string extraHosts_;   // further host mappings (",host:80:...") before SetUp
  AnsiString oldDir_;
  testsupport::SavedEnvironment env_;
  std::unique_ptr<vendor::Service> service_;
  std::unique_ptr<TdmMaster> dm_;
  TfrmProgramUpdate* form_ = nullptr;
  std::vector<std::string> boxes_;
  std::vector<std::pair<std::string, int>> answers_;  // text part -> answer
  std::map<std::string, std::vector<std::string>> shown_;  // row caption -> result texts painted
  std::function<void(TListItem*, const std::string&)> onShown_;  // each new result text painted
};

}  // namespace runtest
