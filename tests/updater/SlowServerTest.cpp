// The run against a server of the test's own for the program's archive: an archive past 2 GiB,
// a file the server keeps refusing (the pause between tries, a pause or close during it), and
// servers that drip their headers or a body without a length while the user closes; camera data
// and the completion notice that drip while the user closes.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <mutex>
#include <regex>

#include "FileListing.h"
#include "HttpTestServer.h"
#include "RunFixture.h"

namespace runtest {
namespace {

using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

const char* const kProgramFolder = "/s7/";  // the program's archive or its parts

class SlowServerTest : public RunFixture {
 protected:
  std::string timeScale_;      // WINPLAT_TIME_SCALE of the test, before SetUp
  DWORD receiveTimeoutMs_ = 0;  // the process-wide receive time-out of the test, before SetUp

  void SetUp() override {
    own_ = std::make_unique<HttpTestServer>([this](const HttpRequest& r) {
      std::lock_guard<std::mutex> lock(lock_);
      if (r.path.rfind(kProgramFolder, 0) == 0) ticks_.push_back(GetTickCount());
      return reply_;
    });
    extraHosts_ = "," + own_->ConnectTo("big.quorvex.example");
    if (!timeScale_.empty()) Set("WINPLAT_TIME_SCALE", timeScale_);
    if (receiveTimeoutMs_ > 0) SetReceiveTimeout(receiveTimeoutMs_);
    RunFixture::SetUp();
    // The program's archive comes from the test's server.
    Model("PAVO S7")->WriteString("FILE_1", "FULL_URL", "http://big.quorvex.example/s7");
    Choose("PAVO S7");
  }
  void TearDown() override {
    RunFixture::TearDown();
    own_.reset();
    SetReceiveTimeout(30000);  // the default again, for the tests that follow in this process
  }
  static void SetReceiveTimeout(DWORD ms) {
    InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
  }
  void Serve(HttpReply reply) {
    std::lock_guard<std::mutex> lock(lock_);
    reply_ = std::move(reply);
  }
  // Requests of the program's archive (or its parts) so far, and the tick count when each arrived.
  std::vector<uint32_t> Ticks() {
    std::lock_guard<std::mutex> lock(lock_);
    return ticks_;
  }
  int ProgramRequests() { return int(Ticks().size()); }
  // The camera data come from the test's server; the folder dialog chooses data/cam.
  void CameraFromOwnServer() {
    fs::create_directories(Data("cam"));
    uitest::SetFolderDialogHook([this](uitest::FolderDialog& d) {
      d.Select(Dos("data/cam"));
      d.Ok();
    });
    dm_->CameraUrl = "http://big.quorvex.example/camera/SafeCam.ZIP";
  }
  // The texts the program's row showed, each once in a row, percentages as "%".
  std::vector<std::string> ProgramRow() {
    std::vector<std::string> out;
    for (std::string s : shown_[Row(0)->Caption.get().str()]) {
      if (std::regex_match(s, std::regex("[0-9]+ %"))) s = "%";
      if (!s.empty() && (out.empty() || out.back() != s)) out.push_back(s);
    }
    return out;
  }

  std::unique_ptr<HttpTestServer> own_;
  std::mutex lock_;
  HttpReply reply_ = HttpReply::Status(404, "Not Found");
  std::vector<uint32_t> ticks_;
};

// ------------------------------------------------------------------ big archives

// Past 2 GiB with its length, as one archive or as parts that add up past it: each asked for
// once, counted to the byte, the row's percent taken of the listed size. The archive files are
// /dev/null, so nothing is kept (and nothing can be unpacked).
TEST_F(SlowServerTest, AnArchivePastTwoGiBIsFetchedOnceAndCountedToTheByte) {
  const struct {
    int parts;
    long long partSize;
  } cases[] = {{1, 2200000000LL}, {2, 1200000000LL}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parts);
    const long long size = c.parts * c.partSize;
    HttpReply reply = HttpReply::Generated(c.partSize);
    reply.chunkSize = 256 * 1024;
    Serve(reply);
    {
      std::lock_guard<std::mutex> lock(lock_);
      ticks_.clear();
    }
    shown_.clear();
    Model("PAVO S7")->WriteString("FILE_1", "AG_ZIPSIZE", IntToStr(size));
    Model("PAVO S7")->WriteString("FILE_1", "AG_NUMSPAN", IntToStr(c.parts));
    Choose("PAVO S7");
    EXPECT_EQ(Rec(0)->ZipSize, size);
    fs::remove_all(Data("PAVO_S7/Program"));
    fs::create_directories(Data("PAVO_S7/Program"));
    std::vector<std::string> names;
    if (c.parts == 1)
      names.push_back("PAVOS7_PRG.ZIP");
    else
      for (int k = 1; k <= c.parts; ++k) names.push_back("PAVOS7_PRG00" + std::to_string(k) + ".ZIP");
    for (const std::string& name : names) fs::create_symlink("/dev/null", Data("PAVO_S7/Program/" + name));
    // A run that asks again ends with a pause.
    When again([&] { return ProgramRequests() > c.parts; },
               [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
    form_->ZipBuilder1->Unattended = true;  // no box for what cannot be read
    ClickStart();
    EXPECT_EQ(ProgramRequests(), c.parts);
    const std::vector<std::string>& raw = shown_[Row(0)->Caption.get().str()];
    EXPECT_NE(std::find(raw.begin(), raw.end(), "50 %"), raw.end()) << ::testing::PrintToString(raw);
    std::vector<std::string> shown = ProgramRow();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "재시도"), 0) << ::testing::PrintToString(shown);
    // Counted in 64 bits to the end of the file (the progress calls carry 32-bit values).
    EXPECT_EQ(Rec(0)->DoneBefore, size);
    EXPECT_EQ(form_->DoneBytes, size);
    // Fetched whole, so it goes on to its unpacking, which finds no archive in /dev/null.
    EXPECT_EQ(Result(0), "파일오류");
  }
}

// ------------------------------------------------------------------ retries

class RetryWaitTest : public SlowServerTest {
 protected:
  void SetUp() override {
    timeScale_ = "100";  // a second of the run's clock is 10 ms here
    SlowServerTest::SetUp();
  }
};

// The pauses are sampled by a timer while the run waits: each must last long enough (here
// 100 ms and more) for a loaded machine's timer to see it.
class RetryWaitSeenTest : public SlowServerTest {
 protected:
  void SetUp() override {
    timeScale_ = "10";
    SlowServerTest::SetUp();
  }
};

// Records the pause the run takes after each failed try, while it waits.
class WaitRecorder {
 public:
  WaitRecorder(TfrmProgramUpdate* form, std::function<int()> tries) : timer_(nullptr) {
    timer_.Interval = 1;
    timer_.OnTimer = [this, form, tries](TObject*) {
      if (form->RetryWait == 0 || tries() == recordedAt_) return;
      recordedAt_ = tries();
      waits.push_back(form->RetryWait);
    };
    timer_.Enabled = true;
  }
  std::vector<uint32_t> waits;

 private:
  TTimer timer_;
  int recordedAt_ = 0;
};

// A file the server refuses is asked for again without end, but after a pause of a second that
// doubles up to half a minute; the row shows "재시도" meanwhile.
TEST_F(RetryWaitSeenTest, ARefusedArchiveIsAskedForAgainAfterAPauseThatDoublesToHalfAMinute) {
  WaitRecorder recorder(form_, [this] { return ProgramRequests(); });
  When enough([&] { return ProgramRequests() >= 8; },
              [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
  ClickStart();
  ASSERT_TRUE(enough.Done());
  // The pause is asked once the eighth request is in; a refusal is quick, so the eighth try may
  // already have ended and its pause begun when the pause comes (it then ends that pause).
  std::vector<uint32_t> waits = recorder.waits;
  if (waits.size() == 8 && waits.back() == 30000) waits.pop_back();
  EXPECT_EQ(waits, (std::vector<uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000}))
      << ::testing::PrintToString(recorder.waits);
  std::vector<uint32_t> ticks = Ticks();
  ASSERT_EQ(ticks.size(), 8u);  // the pause came during the try or the pause after it: no further try
  for (size_t k = 0; k + 1 < ticks.size(); ++k)
    EXPECT_GE(ticks[k + 1] - ticks[k], std::min<uint32_t>(1000u << k, 30000)) << "before try " << k + 2;
  EXPECT_EQ(ProgramRow(), std::vector<std::string>{"재시도"});
  EXPECT_EQ(Result(0), "중지");
}

// A length past 2 GiB is a length: the body is read (and the row shows its percent) and a body
// cut short is asked for again after the pause, not at once as a refused length was.
TEST_F(RetryWaitTest, ACutBodyPastTwoGiBIsReadAndAskedForAgainAfterThePause) {
  HttpReply reply = HttpReply::Generated(2200000000LL);
  reply.cutAfter = 1 << 20;
  Serve(reply);
  Model("PAVO S7")->WriteString("FILE_1", "AG_ZIPSIZE", "2200000000");
  Choose("PAVO S7");
  When again([&] { return ProgramRequests() >= 2; },
             [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
  ClickStart();
  ASSERT_TRUE(again.Done());
  std::vector<uint32_t> ticks = Ticks();
  ASSERT_EQ(ticks.size(), 2u);
  EXPECT_GE(ticks[1] - ticks[0], 1000u);
  // The first try reads the body up to its cut; the pause, asked once the second request is in,
  // may end the second try before all its megabyte has left the server.
  EXPECT_GE(own_->BodyBytesSent(), 1LL << 20);
  EXPECT_LE(own_->BodyBytesSent(), 2LL << 20);
  EXPECT_EQ(ProgramRow(), (std::vector<std::string>{"%", "재시도", "%"}));
  EXPECT_EQ(Result(0), "중지");
}

// A pause or a close asked while the run waits to try again ends the file at once.
TEST_F(RetryWaitTest, APauseOrACloseDuringThePauseEndsTheFileWithoutAnotherTry) {
  const struct {
    const char* name;
    std::function<void()> ask;
    bool paused;
  } cases[] = {
      {"pause", [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); }, true},
      {"close", [&] { uitest::CloseWindow(frmMain); }, false},  // the close comes last
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int before = ProgramRequests();
    When ask([&] { return Result(0) == "재시도"; }, c.ask);
    ClickStart();
    ASSERT_TRUE(ask.Done());
    EXPECT_EQ(ProgramRequests() - before, 1);
    if (c.paused) {
      EXPECT_EQ(Result(0), "중지");
    }
  }
  EXPECT_TRUE(frmMain->Closing);
  EXPECT_TRUE(Application->Terminated);
}

// ------------------------------------------------------------------ closing

class DripTest : public SlowServerTest {
 protected:
  void SetUp() override {
    receiveTimeoutMs_ = 1000;
    SlowServerTest::SetUp();
  }
};

// Header lines every 100 ms for 10 s: each opening ends at the receive time-out, and a close
// asked meanwhile is honoured before a further try.
TEST_F(DripTest, ACloseDuringADripOfHeadersEndsTheRunAfterThatTry) {
  HttpReply reply = HttpReply::Generated(10);
  for (int i = 0; i < 100; ++i) reply.headers.push_back({"X-Line", std::to_string(i)});
  reply.headerLineDelayMs = 100;
  reply.hang = true;
  Serve(reply);
  When close([&] { return ProgramRequests() > 0; }, [&] { uitest::CloseWindow(frmMain); });
  ClickStart();
  ASSERT_TRUE(close.Done());
  EXPECT_EQ(ProgramRequests(), 2);  // the one try opens twice
  EXPECT_TRUE(Application->Terminated);
  EXPECT_FALSE(frmMain->Busy);
}

// A body without a length at 2.4 KB a second (50 s in all, fast enough for the receive
// time-out): the close is seen at the next packet, not when the body has ended.
TEST_F(DripTest, ACloseDuringABodyWithoutLengthIsSeenAtTheNextPacket) {
  const long long size = 120000;
  HttpReply reply = HttpReply::Generated(size);
  reply.contentLength = false;
  reply.chunkSize = 240;
  reply.chunkDelayMs = 100;
  Serve(reply);
  When close([&] { return own_->BodyBytesSent() > 0; }, [&] { uitest::CloseWindow(frmMain); });
  ClickStart();
  ASSERT_TRUE(close.Done());
  EXPECT_TRUE(Application->Terminated);
  EXPECT_EQ(ProgramRequests(), 1);
  EXPECT_LT(own_->BodyBytesSent(), size / 10);
  EXPECT_FALSE(fs::exists(Data("PAVO_S7/Program/PAVOS7_PRG.ZIP")));
}

// ------------------------------------------------------------------ closing what drips

const char* const kAskClose = "현재 Data를 다운받는 중입니다.";

// Camera data that drip at 80 B/s (above the low-speed bound; 20 s in all): the window handles
// its messages meanwhile as during a run, a close asked then ends the transfer at its next
// packet, and nothing follows: no message, no unpacking, no notice, no folder opened.
TEST_F(SlowServerTest, ACloseDuringDrippingCameraDataEndsThemAndNothingFollows) {
  const long long size = 1600;
  HttpReply reply = HttpReply::Generated(size);
  reply.chunkSize = 8;
  reply.chunkDelayMs = 100;
  Serve(reply);
  CameraFromOwnServer();
  When close([&] { return own_->BodyBytesSent() > 0; }, [&] { uitest::CloseWindow(frmMain); });
  uitest::Click(frmMain->btnCameraUpdate);
  ASSERT_TRUE(close.Done());
  EXPECT_EQ(BoxesWith(kAskClose), 1);
  EXPECT_TRUE(Application->Terminated);
  EXPECT_LT(own_->BodyBytesSent(), size / 4);
  EXPECT_EQ(BoxesWith("Camera 파일을 받지 못했습니다."), 0);
  EXPECT_TRUE(Notices().empty());
  EXPECT_TRUE(Opened().empty());
  EXPECT_EQ(testfiles::Listing(Data("cam")), std::vector<std::string>{});
  EXPECT_FALSE(frmMain->Busy);
}

class NoticeDripTest : public SlowServerTest {
 protected:
  void SetUp() override {
    options_.throttle["/pavoTrelm/pavoChkDown.mms"] = 1;  // the reply's 7 bytes take 7 s
    SlowServerTest::SetUp();
  }
};

// The completion notice after a whole run drips: a close asked meanwhile ends it, and neither
// the installer's question nor the installer comes.
TEST_F(NoticeDripTest, ACloseDuringTheNoticeEndsItAndNoInstallerFollows) {
  Serve(HttpReply::Text(ReadUnix(Site("trelm.quorvex.example/pavoData/s7/program/PAVOS7_PRG.ZIP"))));
  form_->cbxAutoStartInstaller->Checked = false;  // the question would come first
  When close([&] { return !Notices().empty(); }, [&] { uitest::CloseWindow(frmMain); });
  ClickStart();
  ASSERT_TRUE(close.Done());
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(BoxesWith(kAskClose), 1);
  EXPECT_TRUE(Application->Terminated);
  EXPECT_EQ(BoxesWith("설치 프로그램을 실행하시겠습니까"), 0);
  EXPECT_EQ(BoxesWith("설치 프로그램이 해당 Folder에 없습니다"), 0);
  EXPECT_FALSE(fs::exists(Data("PAVO_S7/Program/installer-ran.txt")));
}

// The same after camera data that arrived and were unpacked: the close asked during their
// notice leaves the chosen folder unopened.
TEST_F(NoticeDripTest, ACloseDuringTheCameraNoticeOpensNoFolder) {
  Serve(HttpReply::Text(ReadUnix(Site("trelm.quorvex.example/pavoData/camera/SafeCam.ZIP"))));
  CameraFromOwnServer();
  When close([&] { return !Notices().empty(); }, [&] { uitest::CloseWindow(frmMain); });
  uitest::Click(frmMain->btnCameraUpdate);
  ASSERT_TRUE(close.Done());
  EXPECT_TRUE(Application->Terminated);
  EXPECT_EQ(testfiles::Listing(Data("cam")), std::vector<std::string>{"SafeCam.dat"});
  EXPECT_TRUE(Opened().empty());
}

}  // namespace
}  // namespace runtest
