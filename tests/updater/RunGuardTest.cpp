// The run keeps its guard and tells the truth: a start while a run is going changes nothing of
// it, the controls come back only when the run has ended, the speed is measured per file, totals
// and time left hold past 4 GiB, an archive of unknown size shows 0 % until it has arrived. The
// notice page reaches a run it started, and starts one only when the user clicked on it.
#include <windows.h>

#include <regex>

#include "RunFixture.h"

namespace runtest {
namespace {

const char* const kMapPart2 = "/pavoData/s7/map/S7MAP002.ZIP";
const char* const kProgramZip = "/pavoData/s7/program/PAVOS7_PRG.ZIP";

bool IsPercent(const std::string& text) { return std::regex_match(text, std::regex("[0-9]+ %")); }

class RunGuardTest : public RunFixture {
 protected:
  // Bytes per second of the program's archive; 0 = as fast as it goes.
  long long programRate_ = 0;

  void SetUp() override {
    // The map's second part is slow enough to act in.
    options_.throttle[kMapPart2] = 30000;
    if (programRate_ > 0) options_.throttle[kProgramZip] = programRate_;
    RunFixture::SetUp();
  }

  bool InSecondPart() { return Requests(kMapPart2) > 0 && Rec(1)->DoneBefore > 0 && Rec(1)->CurPos > 0; }
  bool InstallerRan() { return fs::exists(Data("PAVO_S7/Program/installer-ran.txt")); }

  // What the controls a run disables say now: true when all of them are as a run leaves them.
  bool ControlsOfARun() {
    return frmMain->Busy && !form_->cbxModel->Enabled && !form_->btnChangeFolder->Enabled &&
           !frmMain->btnCameraUpdate->Enabled;
  }
  bool ControlsIdle() {
    return !frmMain->Busy && form_->cbxModel->Enabled && form_->btnChangeFolder->Enabled &&
           frmMain->btnCameraUpdate->Enabled;
  }

  // Calls each for every painting of a row's result cell, before the fixture records it.
  void OnPaint(std::function<void(TListItem*)> each) {
    auto draw = form_->lvMain->OnCustomDrawSubItem;
    form_->lvMain->OnCustomDrawSubItem = [draw, each](TCustomListView* Sender, TListItem* Item, int SubItem,
                                                      TCustomDrawState State, bool& DefaultDraw) {
      if (SubItem == 2) each(Item);
      draw(Sender, Item, SubItem, State, DefaultDraw);
    };
  }

  // Makes the file of section copy a current file of its own: a copy of FILE_2 (the installed
  // map) under another section name, recorded as installed.
  void AddCurrentCopyOfTheMap(const char* section) {
    TMemIniFile* s7 = Model("PAVO S7");
    TStringList keys;
    s7->ReadSection("FILE_2", &keys);
    for (int i = 0; i < keys.Count(); ++i) s7->WriteString(section, keys.Get(i), s7->ReadString("FILE_2", keys.Get(i), ""));
    fs::path record = Data("PAVO_S7/Map/__FILEINFO__.ini");
    WriteUnix(record, ReadUnix(record) + "\r\n[" + section + "]\r\nAG_FILESIZE=" +
                          std::to_string(s7->ReadInteger("FILE_2", "AG_FILESIZE", 0)) + "\r\nAG_FILECRC=" +
                          std::to_string(s7->ReadInteger("FILE_2", "AG_FILECRC", 0)) + "\r\n");
  }
  void MakeOutdated(const char* section) {
    TMemIniFile* s7 = Model("PAVO S7");
    s7->WriteInteger(section, "AG_FILECRC", s7->ReadInteger(section, "AG_FILECRC", 0) ^ 1);
  }
};

// ------------------------------------------------------------------ one run at a time

TEST_F(RunGuardTest, AStartWhileARunIsGoingChangesNothingOfThatRun) {
  bool controlsAfterStart = false, stoppedAfterStart = true;
  When start([&] { return InSecondPart(); },
             [&] {
               // As the notice page's "업데이트 시작" clicked a second time.
               TfrmProgramUpdate::HandleCommand(form_, "__StartUpdate", false);
               controlsAfterStart = ControlsOfARun();
               stoppedAfterStart = frmMain->Stopped;
             });
  ClickStart();
  ASSERT_TRUE(start.Done());
  EXPECT_TRUE(controlsAfterStart) << "the refused start gave the controls back";
  EXPECT_FALSE(stoppedAfterStart);
  // The run went on to its end, once.
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(Result(1), "완료");
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(Requests("/pavoData/s7/map/S7MAP00" + std::to_string(k) + ".ZIP"), 1);
  EXPECT_EQ(Notices().size(), 1u);
  EXPECT_TRUE(PumpUntil([&] { return InstallerRan(); }));
  EXPECT_TRUE(ControlsIdle());
  EXPECT_TRUE(frmMain->Stopped);
}

TEST_F(RunGuardTest, APauseOnAFilesLastPacketKeepsTheControlsUntilTheRunHasEnded) {
  TMemIniFile* s7 = Model("PAVO S7");
  int32_t mapZip = s7->ReadInteger("FILE_2", "AG_ZIPSIZE", 0);
  // The pause lands when the last part's one packet has arrived, before the transfer's end.
  bool paused = false;
  OnPaint([&](TListItem* item) {
    if (paused || item != Row(1) || Rec(1)->DoneBefore != mapZip) return;
    paused = true;
    TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false);
  });
  // While the unpacking pumps messages, nothing of the run may be chosen anew.
  std::vector<bool> duringUnzip;
  TTotalProgressEvent progress = form_->ZipBuilder1->GetOnTotalProgress();
  form_->ZipBuilder1->OnTotalProgress = [&](TObject* Sender, long long Total, int PerCent) {
    if (paused) duringUnzip.push_back(ControlsOfARun());
    progress(Sender, Total, PerCent);
  };
  ClickStart();
  ASSERT_TRUE(paused);
  ASSERT_FALSE(duringUnzip.empty()) << "the unpacking did not start";
  for (bool busy : duringUnzip) EXPECT_TRUE(busy) << "controls enabled while the run unpacked";
  EXPECT_EQ(Result(1), "중지");
  EXPECT_TRUE(ControlsIdle());
  EXPECT_TRUE(Notices().empty());
  // The paused run goes on from the map when started again.
  form_->ZipBuilder1->OnTotalProgress = progress;
  ClickStart();
  EXPECT_EQ(Result(1), "완료");
  EXPECT_EQ(Notices().size(), 1u);
}

// ------------------------------------------------------------------ speed, totals, percent

class SlowProgramTest : public RunGuardTest {
 protected:
  void SetUp() override {
    programRate_ = 100000;
    RunGuardTest::SetUp();
  }
  // The speed line as the run last showed it while the program's archive came in (the first
  // one measures a single packet).
  std::string SpeedLineDuringTheProgram() {
    std::string line;
    onShown_ = [&](TListItem* item, const std::string& text) {
      if (item == Row(0) && IsPercent(text) && !form_->lblBPS->Caption.get().IsEmpty())
        line = form_->lblBPS->Caption.get().str();
    };
    ClickStart();
    onShown_ = nullptr;
    return line;
  }
};

TEST_F(SlowProgramTest, TheSpeedIsMeasuredFromTheStartOfEachFilesTransfer) {
  const struct {
    const char* name;
    bool pauseFirst;  // pause in the program's archive and resume, instead of a later run
  } cases[] = {{"a later run", false}, {"a resumed run", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(Data("PAVO_S7"), ec);
    Choose("PAVO S7");
    if (c.pauseFirst) {
      When pause([&] { return Rec(0)->CurPos > 0; },
                 [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
      ClickStart();
      ASSERT_TRUE(pause.Done());
      ASSERT_EQ(Result(0), "중지");
    } else {
      ClickStart();
      ASSERT_EQ(Result(1), "완료");
      MakeOutdated("FILE_1");
      Choose("PAVO S7");
    }
    uint32_t before = GetTickCount();
    // At the first report of the program's archive: the bytes and the time are its own.
    bool seen = false;
    uint32_t start = 0, bytes = 0;
    int32_t pos = -1;
    onShown_ = [&](TListItem* item, const std::string& text) {
      if (seen || item != Row(0) || !IsPercent(text)) return;
      seen = true;
      start = form_->SpeedStartTick;
      bytes = form_->SpeedBytes;
      pos = Rec(0)->CurPos;
    };
    ClickStart();
    onShown_ = nullptr;
    ASSERT_TRUE(seen);
    EXPECT_GE(int32_t(start - before), 0) << "the measurement started before this transfer";
    EXPECT_EQ(int64_t(bytes), int64_t(pos));
    EXPECT_EQ(Result(0), "완료");
  }
}

TEST_F(RunGuardTest, APauseShowsAtOnceTheTotalThatIsLeftDone) {
  // The pause takes the map's parts off what is done, as the resumed run fetches them again; the
  // total bar and its percent say so at once, whether the page or the button paused. Both are
  // taken of every archive of the model.
  TMemIniFile* s7 = Model("PAVO S7");
  const int64_t program = s7->ReadInteger("FILE_1", "AG_ZIPSIZE", 0);
  const int64_t total = program + s7->ReadInteger("FILE_2", "AG_ZIPSIZE", 0);
  const int done = int(program * 100 / total);
  for (bool button : {false, true}) {
    SCOPED_TRACE(button ? "the button's pause" : "the page's pause");
    int shownBefore = -1;
    When pause([&] { return InSecondPart(); },
               [&] {
                 shownBefore = form_->pbTotal->Position;
                 if (button)
                   uitest::Click(form_->btnDownStart);
                 else
                   TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false);
               });
    ClickStart();
    ASSERT_TRUE(pause.Done());
    ASSERT_EQ(Result(1), "중지");
    EXPECT_GT(shownBefore, done);
    EXPECT_EQ(form_->DoneBytes, program);
    EXPECT_EQ(form_->pbTotal->Position, done);
    EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), std::to_string(done) + " %");
  }
  ClickStart();
  EXPECT_EQ(Result(1), "완료");
  EXPECT_EQ(form_->pbTotal->Position, 100);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "100 %");
}

TEST_F(RunGuardTest, TotalsOfMoreThanFourGiBShowTheirTruePercent) {
  ClickStart();
  ASSERT_EQ(Result(1), "완료");
  // Three current files of 2,000,000,000 bytes each.
  AddCurrentCopyOfTheMap("FILE_3");
  AddCurrentCopyOfTheMap("FILE_4");
  TMemIniFile* s7 = Model("PAVO S7");
  for (const char* section : {"FILE_2", "FILE_3", "FILE_4"}) s7->WriteInteger(section, "AG_ZIPSIZE", 2000000000);
  Choose("PAVO S7");
  ASSERT_EQ(form_->lvMain->Items->Count, 4);
  int64_t program = s7->ReadInteger("FILE_1", "AG_ZIPSIZE", 0);
  EXPECT_EQ(form_->TotalZipBytes, program + 6000000000LL);
  ClickStart();
  EXPECT_EQ(form_->DoneBytes, program + 6000000000LL);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "100 %");
  // What the total shows after each of the three.
  std::vector<std::string> totals;
  for (int64_t k = 1; k <= 3; ++k) {
    form_->ShowTotal(program + k * 2000000000LL);
    totals.push_back(form_->lblTotalPercent->Caption.get().str());
  }
  EXPECT_EQ(totals, (std::vector<std::string>{"33 %", "66 %", "100 %"}));
  EXPECT_EQ(Notices().size(), 2u);
}

TEST_F(SlowProgramTest, TimeLeftCountsEveryByteLeftAndIsNotShownWithoutSizes) {
  const struct {
    const char* name;
    bool sizes;  // false: no archive size listed at all
  } cases[] = {{"six billion bytes left", true}, {"no size listed", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(Data("PAVO_S7"), ec);
    Choose("PAVO S7");
    ClickStart();
    ASSERT_EQ(Result(1), "완료");
    AddCurrentCopyOfTheMap("FILE_3");
    AddCurrentCopyOfTheMap("FILE_4");
    TMemIniFile* s7 = Model("PAVO S7");
    for (const char* section : {"FILE_2", "FILE_3", "FILE_4"})
      s7->WriteInteger(section, "AG_ZIPSIZE", c.sizes ? 2000000000 : 0);
    if (!c.sizes) s7->WriteInteger("FILE_1", "AG_ZIPSIZE", 0);
    MakeOutdated("FILE_1");
    Choose("PAVO S7");
    std::string line = SpeedLineDuringTheProgram();
    std::smatch m;
    if (c.sizes) {
      // About 6,000,000,000 bytes at about 100,000 B/s: 16 h 40 min.
      ASSERT_TRUE(std::regex_search(line, m, std::regex("/S  ([0-9]+)시간 ([0-9]+)분$"))) << line;
      int hours = std::stoi(m[1]);
      EXPECT_GE(hours, 12) << line;
      EXPECT_LE(hours, 24) << line;
    } else {
      EXPECT_TRUE(std::regex_match(line, std::regex("[0-9.,]+ [KM]?B/S"))) << line;
    }
    // The next case starts from nothing installed.
    for (const char* section : {"FILE_3", "FILE_4"}) s7->EraseSection(section);
  }
}

TEST_F(RunGuardTest, AnArchiveOfUnknownSizeInPartsShowsNothingUntilItHasArrived) {
  Model("PAVO S7")->WriteInteger("FILE_2", "AG_ZIPSIZE", 0);
  Choose("PAVO S7");
  // The bar and the text of the map's row at every painting while it downloads, and the bar
  // when it has arrived whole.
  std::vector<std::string> texts;
  std::vector<int32_t> bars;
  int32_t barWhenWhole = -1;
  OnPaint([&](TListItem* item) {
    if (item != Row(1)) return;
    std::string text = Result(1);
    if (text == "점검중") {
      if (barWhenWhole < 0) barWhenWhole = Rec(1)->Percent;
    } else if (barWhenWhole < 0 && !text.empty()) {
      texts.push_back(text);
      bars.push_back(Rec(1)->Percent);
    }
  });
  ClickStart();
  ASSERT_FALSE(texts.empty());
  for (const std::string& t : texts) EXPECT_EQ(t, "0 %");
  for (int32_t b : bars) EXPECT_EQ(b, 0);
  EXPECT_EQ(barWhenWhole, 100);
  EXPECT_EQ(Result(1), "완료");
}

// ------------------------------------------------------------------ the notice page

const int kStartButton = 0;
const int kPauseButton = 1;

class NoticePageTest : public RunGuardTest {
 protected:
  TCppWebBrowser* Page() { return NoticeWindow() ? NoticeWindow()->cwb : nullptr; }
  bool PageLoaded() { return Page() && webtest::CompletedLoads(Page()) > 0 && !Page()->Busy.get(); }
  int NoticeWindows() {
    int n = 0;
    for (int i = 0; i < form_->ComponentCount(); ++i) n += dynamic_cast<TfrmWebBrowser*>(form_->Components(i)) != nullptr;
    return n;
  }
  // Clicks the page's button (counted from 0 in the page) as the user's mouse does. The sample
  // notice page has "업데이트 시작", "일시 정지", "종료", "닫기".
  void ClickButton(int index) {
    std::string at = webtest::RunScript(
        Page(), "(function () { var b = document.querySelectorAll('button')[" + std::to_string(index) +
                    "]; if (!b) return ''; var r = b.getBoundingClientRect(); "
                    "return Math.round(r.left + r.width / 2) + ',' + Math.round(r.top + r.height / 2); })()");
    size_t comma = at.find(',');
    ASSERT_NE(comma, std::string::npos) << "no button " << index << ": " << at;
    webtest::ClickAt(Page(), std::stoi(at.substr(0, comma)), std::stoi(at.substr(comma + 1)));
  }
  // A notice page of the test's own in the download root, as the model's NOTIFY_URL.
  void UseNoticePage(const std::string& body) {
    WriteUnix(root_ / "notice.html", "<html><head><title>notice</title></head><body>" + body + "</body></html>");
    Model("PAVO S7")->WriteString("ENVIRONMENT", "NOTIFY_URL", Dos("notice.html"));
  }
};

TEST_F(NoticePageTest, ARunStartedByThePageIsPausedByThePage) {
  // A run by the button, paused in the map; its notice window stays.
  When pause([&] { return InSecondPart(); },
             [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
  ClickStart();
  ASSERT_TRUE(pause.Done());
  ASSERT_EQ(Result(1), "중지");
  ASSERT_TRUE(PumpUntil([&] { return PageLoaded(); }));

  // The page's "업데이트 시작" resumes the run; its "일시 정지" a moment later must reach it.
  bool speedShown = false, pausedByPage = false;
  When again([&] { return Requests(kMapPart2) == 2 && Rec(1)->CurPos > 0; },
             [&] {
               speedShown = form_->lblBPS->Visible;
               ClickButton(kPauseButton);
               pausedByPage = PumpUntil([&] { return frmMain->Stopped; }, 10000);
             });
  ClickButton(kStartButton);
  EXPECT_TRUE(PumpUntil([&] { return again.Done() && !frmMain->Busy; }, 120000));
  EXPECT_TRUE(pausedByPage) << "the page's pause did not reach the run it started";
  EXPECT_TRUE(speedShown) << "no speed line after the page's start";
  EXPECT_EQ(Result(1), "중지");
  EXPECT_TRUE(Notices().empty());
  EXPECT_FALSE(InstallerRan());
  EXPECT_EQ(NoticeWindows(), 1);
}

TEST_F(NoticePageTest, APageThatStartsRunsByItselfStartsNoneAndTheWindowIsReused) {
  // The page asks for a start as it loads and every 100 ms after, counting its calls.
  UseNoticePage("<button>업데이트 시작</button><script>var n = 0; function start() { "
                "window.external.__StartUpdate(); document.title = 'calls ' + (++n); } "
                "start(); setInterval(start, 100);</script>");
  ClickStart();
  ASSERT_EQ(Result(1), "완료");
  ASSERT_TRUE(PumpUntil([&] { return PageLoaded(); }));
  // Twenty calls after the run, answered, start nothing.
  auto calls = [&] {
    std::string title = webtest::RunScript(Page(), "document.title");
    return title.rfind("calls ", 0) == 0 ? std::stoi(title.substr(6)) : 0;
  };
  int before = calls();
  EXPECT_TRUE(PumpUntil([&] { return calls() >= before + 20; }));
  webtest::RunScript(Page(), "1");
  uitest::Pump(50);
  EXPECT_EQ(Notices().size(), 1u);
  EXPECT_FALSE(frmMain->Busy);
  // A second run by the button keeps the one notice window.
  ClickStart();
  EXPECT_EQ(Notices().size(), 2u);
  EXPECT_EQ(NoticeWindows(), 1);
}

TEST_F(NoticePageTest, TheUsersClickOnThePagesStartButtonStartsARun) {
  ClickStart();
  ASSERT_EQ(Notices().size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return PageLoaded(); }));
  // A script's start without the user is not the user's.
  webtest::RunScript(Page(), "window.external.__StartUpdate(); 1");
  webtest::RunScript(Page(), "1");
  uitest::Pump(50);
  EXPECT_EQ(Notices().size(), 1u);
  ClickButton(kStartButton);
  EXPECT_TRUE(PumpUntil([&] { return Notices().size() == 2 && !frmMain->Busy; }));
  EXPECT_EQ(Result(1), "완료");
}

}  // namespace
}  // namespace runtest
