// The download-and-install run through the real main window against the sample site: whole
// runs, the installer start, current files, retry, pause and resume, unpacking cut short,
// closing, and the clean-up when the model or the folder changes after a pause.
#include <regex>

#include "FileListing.h"
#include "RunFixture.h"

namespace runtest {
namespace {

const char* const kAskInstaller = "설치 프로그램을 실행하시겠습니까 ?";
const char* const kAskPause = "현재 다운로드를 중지 하시겠습니까?";
const char* const kAskClose = "현재 Data를 다운받는 중입니다.";
const char* const kProgram = "프로그램";
const char* const kMap = "지도 데이터";
const std::string kPart2 = "/pavoData/s7/map/S7MAP002.ZIP";

using testfiles::Listing;

bool IsPercent(const std::string& text) { return std::regex_match(text, std::regex("[0-9]+ %")); }

// The texts a row showed, with the percentages folded into one "%".
std::vector<std::string> Steps(const std::vector<std::string>& shown) {
  std::vector<std::string> out;
  for (const std::string& s : shown) {
    std::string t = IsPercent(s) ? "%" : s;
    if (!t.empty() && (out.empty() || out.back() != t)) out.push_back(t);
  }
  return out;
}

class DownloadRunTest : public RunFixture {
 protected:
  // The installed file of a model section as the model lists it.
  void ExpectInstalled(TMemIniFile* model, const char* section) {
    AnsiString name = model->ReadString(section, "AG_FILENAME", "");
    AnsiString dest = StringReplace(model->ReadString(section, "DEST_PATH", ""), "\\", "/", rfReplaceAll);
    std::string data = ReadUnix(Data(dest.str()) / name.str());
    EXPECT_EQ(int(data.size()), model->ReadInteger(section, "AG_FILESIZE", -1)) << section;
    EXPECT_EQ(Crc(data), model->ReadInteger(section, "AG_FILECRC", 0)) << section;
    std::string record = ReadUnix(Data(dest.str()) / "__FILEINFO__.ini");
    EXPECT_NE(record.find(std::string("[") + section + "]"), std::string::npos) << record;
    EXPECT_NE(record.find("AG_FILESIZE=" + std::to_string(model->ReadInteger(section, "AG_FILESIZE", -1))),
              std::string::npos)
        << record;
  }
  bool InstallerRan() { return fs::exists(Data("PAVO_S7/Program/installer-ran.txt")); }
};

TEST_F(DownloadRunTest, AWholeRunFetchesJoinsUnpacksRecordsNotifiesAndStartsTheInstaller) {
  TMemIniFile* s7 = Model("PAVO S7");
  ASSERT_NE(s7, nullptr);
  ASSERT_EQ(form_->cbxModel->Text.get().str(), "PAVO S7");  // the first by caption, chosen at the start
  ASSERT_EQ(form_->lvMain->Items->Count, 2);
  ASSERT_TRUE(form_->btnDownStart->Enabled);
  EXPECT_EQ(s7->ReadInteger("FILE_2", "AG_NUMSPAN", 0), 3);

  ClickStart();

  EXPECT_EQ(Steps(shown_[kProgram]), (std::vector<std::string>{"%", "점검중", "완료"}));
  EXPECT_EQ(Steps(shown_[kMap]), (std::vector<std::string>{"%", "점검중", "완료"}));
  ExpectInstalled(s7, "FILE_1");
  ExpectInstalled(s7, "FILE_2");
  // Parts, archive and the joined temporary are gone.
  EXPECT_EQ(Listing(Data("PAVO_S7/Map")), (std::vector<std::string>{"PavoS7Map.dat", "__FILEINFO__.ini"}));
  EXPECT_TRUE(Listing(root_ / "temp").empty() ||
              std::none_of(Listing(root_ / "temp").begin(), Listing(root_ / "temp").end(),
                           [](const std::string& n) { return n.find(".zip") != std::string::npos; }));
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(Requests("/pavoData/s7/map/S7MAP00" + std::to_string(k) + ".ZIP"), 1);
  EXPECT_EQ(Requests("/pavoData/s7/program/PAVOS7_PRG.ZIP"), 1);

  // The notice: the user, the info file's name and M.
  std::vector<std::string> notices = Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], "D1=\"demo\" D4=\"PAVO_S7.ini\" D5=M");
  // The box was ticked: the installer starts without a question.
  EXPECT_TRUE(PumpUntil([&] { return InstallerRan(); })) << "the installer did not run";
  EXPECT_EQ(BoxesWith(kAskInstaller), 0);
  EXPECT_EQ(form_->pbTotal->Position, 100);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "100 %");
  EXPECT_EQ(frmMain->ResumeIndex, 0);
  EXPECT_TRUE(frmMain->Stopped);
  EXPECT_FALSE(frmMain->Busy);
  EXPECT_EQ(form_->lvlModelHint->Caption.get().str(), "현재 다운로드된 버전이 최신입니다.");
  // The notice window of the fresh run is open.
  EXPECT_NE(NoticeWindow(), nullptr);
}

TEST_F(DownloadRunTest, TheInstallerStartsByTheBoxTheQuestionOrNotAtAll) {
  const struct {
    const char* name;
    bool ticked;
    bool enabled;
    int answer;
    int questions;
    bool runs;
  } cases[] = {
      {"unticked, yes", false, true, IDYES, 1, true},
      {"unticked, no", false, true, IDNO, 1, false},
      {"disabled by the model", true, false, IDYES, 0, false},
  };
  TMemIniFile* s7 = Model("PAVO S7");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(Data("PAVO_S7"), ec);
    boxes_.clear();
    answers_ = {{kAskInstaller, c.answer}};
    s7->WriteString("ENVIRONMENT", "ENABLE_AUTOSTART_INSTALLER", c.enabled ? "1" : "0");
    Choose("PAVO S7");
    form_->cbxAutoStartInstaller->Checked = c.ticked;
    ClickStart();
    EXPECT_EQ(form_->cbxAutoStartInstaller->Enabled, c.enabled);
    EXPECT_EQ(BoxesWith(kAskInstaller), c.questions);
    if (c.runs) {
      EXPECT_TRUE(PumpUntil([&] { return InstallerRan(); }));
    } else {
      EXPECT_FALSE(InstallerRan());
    }
    EXPECT_EQ(Notices().size(), size_t(&c - cases + 1));
  }
}

TEST_F(DownloadRunTest, ASecondStartFindsEveryFileCurrentAndStillFinishes) {
  ClickStart();
  ASSERT_EQ(Result(0), "완료");
  ASSERT_EQ(Result(1), "완료");
  size_t before = Paths().size();
  shown_.clear();
  ClickStart();
  EXPECT_EQ(Steps(shown_[kProgram]), (std::vector<std::string>{"완료"}));
  EXPECT_EQ(Steps(shown_[kMap]), (std::vector<std::string>{"완료"}));
  // No transfer, only the notice.
  std::vector<std::string> paths = Paths();
  ASSERT_EQ(paths.size(), before + 1);
  EXPECT_EQ(paths.back(), "/pavoTrelm/pavoChkDown.mms");
  EXPECT_EQ(Notices().size(), 2u);
  EXPECT_EQ(Rec(1)->State, 1);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "100 %");
}

// Installed files past 2 GiB (sparse here) are compared by their true sizes: one as listed and
// recorded is current, one that is 4 GiB longer than listed is not.
TEST_F(DownloadRunTest, FilesPastTwoGiBAreComparedByTheirTrueSizes) {
  TMemIniFile* s7 = Model("PAVO S7");
  const AnsiString crc = s7->ReadString("FILE_1", "AG_FILECRC", "");
  const struct {
    long long listed;
    long long real;
    int state;
  } cases[] = {{2500000000LL, 2500000000LL, 1}, {4000000000LL, 4000000000LL, 1}, {60000, (4LL << 30) + 60000, 3},
               {2500000000LL, 2500000001LL, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.real);
    s7->WriteString("FILE_1", "AG_FILESIZE", IntToStr(c.listed));
    fs::create_directories(Data("PAVO_S7/Program"));
    const fs::path file = Data("PAVO_S7/Program") / s7->ReadString("FILE_1", "AG_FILENAME", "").str();
    WriteUnix(file, "");
    fs::resize_file(file, uintmax_t(c.real));
    WriteUnix(Data("PAVO_S7/Program/__FILEINFO__.ini"),
              "[FILE_1]\nAG_FILESIZE=" + std::to_string(c.listed) + "\nAG_FILECRC=" + crc.str() + "\n");
    EXPECT_EQ(form_->CheckFileState(s7, "FILE_1"), c.state);
    int64_t totalZip, maxFile, maxZip, totalFile;
    form_->ComputeTotals(s7, totalZip, maxFile, maxZip, totalFile);
    // What a file still to fetch needs on the drive counts its true size.
    if (c.state != 1) {
      EXPECT_GE(totalFile, c.listed);
    }
  }
  fs::remove_all(Data("PAVO_S7/Program"));
}

// Sizes no archive the zip reader can hold counts as none, as a value past the 32-bit range
// always did, so the sums of a hostile file's sizes cannot overflow.
TEST_F(DownloadRunTest, ListedSizesPastFourGiBCountAsNone) {
  TMemIniFile* s7 = Model("PAVO S7");
  for (const char* section : {"FILE_1", "FILE_2"}) {
    s7->WriteString(section, "AG_ZIPSIZE", "9223372036854775807");
    s7->WriteString(section, "AG_FILESIZE", "4294967296");
  }
  int64_t totalZip, maxFile, maxZip, totalFile;
  form_->ComputeTotals(s7, totalZip, maxFile, maxZip, totalFile);
  EXPECT_EQ(totalZip, 0);
  EXPECT_EQ(totalFile, 0);
  EXPECT_EQ(form_->SumZipSizes(s7), 0);
  s7->WriteString("FILE_1", "AG_ZIPSIZE", "4294967295");
  EXPECT_EQ(form_->SumZipSizes(s7), 4294967295LL);
}

TEST_F(DownloadRunTest, AnArchiveThatCannotBeCreatedEndsTheRunWithError) {
  // A folder where the program's archive would go.
  fs::create_directories(Data("PAVO_S7/Program/PAVOS7_PRG.ZIP"));
  ClickStart();
  EXPECT_EQ(Result(0), "Error");
  EXPECT_EQ(Result(1), "");
  EXPECT_FALSE(frmMain->Busy);
  EXPECT_TRUE(frmMain->Stopped);
  EXPECT_TRUE(form_->cbxModel->Enabled);
  EXPECT_EQ(Requests("/pavoData/s7/program/PAVOS7_PRG.ZIP"), 0);
  EXPECT_TRUE(Notices().empty());
  // The next start tries that file again.
  fs::remove(Data("PAVO_S7/Program/PAVOS7_PRG.ZIP"));
  ClickStart();
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(Result(1), "완료");
}

TEST_F(DownloadRunTest, AFetchedArchiveThatIsGoneIsAFileError) {
  // The archive disappears once it has arrived, before it is unpacked (while it is received it
  // is not yet under its name).
  onShown_ = [&](TListItem* item, const std::string& text) {
    if (item == Row(0) && text == "점검중") fs::remove(Data("PAVO_S7/Program/PAVOS7_PRG.ZIP"));
  };
  ClickStart();
  EXPECT_EQ(Result(0), "파일오류");
  EXPECT_EQ(Result(1), "");
  EXPECT_FALSE(fs::exists(Data("PAVO_S7/Program/PavoS7.bin")));
  EXPECT_TRUE(Notices().empty());
  EXPECT_GT(frmMain->ResumeIndex, 0);
}

TEST_F(DownloadRunTest, ACurrentFileWithoutArchiveSizeCountsAsFinished) {
  ClickStart();
  ASSERT_EQ(Notices().size(), 1u);
  Model("PAVO S7")->WriteInteger("FILE_1", "AG_ZIPSIZE", 0);
  Choose("PAVO S7");
  ClickStart();
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(Result(1), "완료");
  EXPECT_EQ(Notices().size(), 2u);
  EXPECT_EQ(frmMain->ResumeIndex, 0);
}

TEST_F(DownloadRunTest, AFileRestartedAfterAFailedUnpackingIsCountedOnce) {
  TMemIniFile* s7 = Model("PAVO S7");
  // The first unpacking of the map fails: a part is damaged once all have arrived.
  bool failed = false;
  onShown_ = [&](TListItem* item, const std::string& text) {
    if (failed || item != Row(1) || text != "점검중") return;
    failed = true;
    fs::path part = Data("PAVO_S7/Map/S7MAP002.ZIP");
    std::string data = ReadUnix(part);
    for (size_t i = data.size() / 2; i < data.size() / 2 + 64; ++i) data[i] = char(~data[i]);
    WriteUnix(part, data);
  };
  ClickStart();
  ASSERT_TRUE(failed);
  EXPECT_EQ(Result(1), "파일오류");
  EXPECT_TRUE(Notices().empty());
  ClickStart();
  EXPECT_EQ(Result(1), "완료");
  EXPECT_EQ(form_->DoneBytes,
            s7->ReadInteger("FILE_1", "AG_ZIPSIZE", 0) + s7->ReadInteger("FILE_2", "AG_ZIPSIZE", 0));
  EXPECT_EQ(Notices().size(), 1u);
  ExpectInstalled(s7, "FILE_2");
}

class RetryTest : public DownloadRunTest {
 protected:
  void SetUp() override {
    options_.failFirst[kPart2] = 2;
    Set("WINPLAT_TIME_SCALE", "100");  // the pauses between tries take 10 ms a second
    DownloadRunTest::SetUp();
  }
};

TEST_F(RetryTest, APartThatFailsTwiceIsFetchedAgainFromZero) {
  ClickStart();
  std::vector<std::string> steps = Steps(shown_[kMap]);
  // Percentages, then two failed attempts, then percentages again.
  auto retry = std::find(steps.begin(), steps.end(), "재시도");
  ASSERT_NE(retry, steps.end()) << ::testing::PrintToString(steps);
  EXPECT_EQ(*(retry + 1), "%");
  EXPECT_EQ(steps.back(), "완료");
  EXPECT_EQ(Requests(kPart2), 3);
  ExpectInstalled(Model("PAVO S7"), "FILE_2");
  // The total counts the successful attempt only.
  EXPECT_EQ(form_->DoneBytes, Model("PAVO S7")->ReadInteger("FILE_1", "AG_ZIPSIZE", 0) +
                                  Model("PAVO S7")->ReadInteger("FILE_2", "AG_ZIPSIZE", 0));
}

class PauseTest : public DownloadRunTest {
 protected:
  void SetUp() override {
    // The second part of the map is slow enough to be paused in.
    options_.throttle[kPart2] = 30000;
    DownloadRunTest::SetUp();
  }
  bool NoticePageLoaded() { return NoticeWindow() && webtest::CompletedLoads(NoticeWindow()->cwb) > 0; }
  // The map's second part is running.
  bool InSecondPart() { return Requests(kPart2) > 0 && Rec(1)->DoneBefore > 0 && Rec(1)->CurPos > 0; }
};

TEST_F(PauseTest, PauseInAPartThenStartGoesOnFromThatFilesFirstPart) {
  TMemIniFile* s7 = Model("PAVO S7");
  int32_t programZip = s7->ReadInteger("FILE_1", "AG_ZIPSIZE", 0);
  // The button's pause asks; No leaves the run as it is, Yes pauses it.
  answers_ = {{kAskPause, IDNO}};
  When no([&] { return InSecondPart(); }, [&] { uitest::Click(form_->btnDownStart); });
  When yes([&] { return no.Done() && Rec(1)->CurPos > 20000; },
           [&] {
             answers_ = {{kAskPause, IDYES}};
             uitest::Click(form_->btnDownStart);
           });
  ClickStart();
  EXPECT_TRUE(no.Done());
  EXPECT_TRUE(yes.Done());
  EXPECT_EQ(BoxesWith(kAskPause), 2);
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(Result(1), "중지");
  EXPECT_TRUE(frmMain->Stopped);
  EXPECT_FALSE(frmMain->Busy);
  EXPECT_GT(frmMain->ResumeIndex, 0);
  EXPECT_EQ(form_->DoneBytes, programZip);
  EXPECT_EQ(Rec(1)->DoneBefore, 0);
  EXPECT_TRUE(fs::exists(Data("PAVO_S7/Map/S7MAP001.ZIP")));
  EXPECT_FALSE(fs::exists(Data("PAVO_S7/Map/S7MAP002.ZIP")));
  EXPECT_TRUE(Notices().empty());
  // The row the run made (a start builds the list anew; a resumed one must keep it).
  TListItem* mapRow = Row(1);

  // Start again: the list stays, the part left is deleted before part 1 is fetched again, and
  // the total goes on from the first file's bytes.
  int32_t doneAtRestart = -1;
  When restart([&] { return Requests("/pavoData/s7/map/S7MAP001.ZIP") == 2; },
               [&] { doneAtRestart = form_->DoneBytes; });
  ClickStart();
  EXPECT_TRUE(restart.Done());
  EXPECT_EQ(doneAtRestart, programZip);
  EXPECT_EQ(Row(1), mapRow);
  EXPECT_EQ(Requests("/pavoData/s7/program/PAVOS7_PRG.ZIP"), 1);
  EXPECT_EQ(Requests("/pavoData/s7/map/S7MAP001.ZIP"), 2);
  EXPECT_EQ(Result(1), "완료");
  ExpectInstalled(s7, "FILE_2");
  EXPECT_EQ(form_->DoneBytes, programZip + s7->ReadInteger("FILE_2", "AG_ZIPSIZE", 0));
  EXPECT_EQ(Notices().size(), 1u);
}

TEST_F(PauseTest, ThePagesPauseDoesNotAsk) {
  When pause([&] { return frmMain->Busy && NoticeWindow(); },
             [&] {
               ASSERT_TRUE(PumpUntil([&] { return NoticePageLoaded(); }));
               webtest::RunScript(NoticeWindow()->cwb, "window.external.__PauseUpdate(); 1");
               EXPECT_TRUE(PumpUntil([&] { return frmMain->Stopped; }));
             });
  ClickStart();
  EXPECT_TRUE(pause.Done());
  EXPECT_EQ(BoxesWith(kAskPause), 0);
  EXPECT_EQ(Result(0), "중지");
  EXPECT_TRUE(frmMain->Stopped);
}

TEST_F(PauseTest, ClosingWhileBusyAsksAndEndsTheRunWithoutNoticeOrInstaller) {
  When close([&] { return InSecondPart(); }, [&] { uitest::CloseWindow(frmMain); });
  ClickStart();
  EXPECT_TRUE(close.Done());
  EXPECT_EQ(BoxesWith(kAskClose), 1);
  EXPECT_TRUE(frmMain->Closing);
  EXPECT_TRUE(Application->Terminated);
  EXPECT_TRUE(Notices().empty());
  EXPECT_FALSE(InstallerRan());
  EXPECT_FALSE(frmMain->Busy);
}

TEST_F(PauseTest, TheNoticePagesExitClosesWithoutTheQuestion) {
  When exitPage([&] { return frmMain->Busy && NoticeWindow(); },
                [&] {
                  ASSERT_TRUE(PumpUntil([&] { return NoticePageLoaded(); }));
                  webtest::RunScript(NoticeWindow()->cwb, "window.external.__ExitUpdater(); 1");
                  EXPECT_TRUE(PumpUntil([&] { return frmMain->Closing; }));
                });
  ClickStart();
  EXPECT_TRUE(exitPage.Done());
  EXPECT_EQ(BoxesWith(kAskClose), 0);
  EXPECT_TRUE(frmMain->Closing);
  EXPECT_TRUE(Application->Terminated);
  EXPECT_TRUE(frmMain->AskOnClose);
  EXPECT_TRUE(Notices().empty());
}

TEST_F(PauseTest, AModelChangeAfterAPauseDeletesThePausedFilesParts) {
  When pause([&] { return InSecondPart(); },
             [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
  ClickStart();
  ASSERT_TRUE(fs::exists(Data("PAVO_S7/Map/S7MAP001.ZIP")));
  Choose("PAVO X1");
  EXPECT_FALSE(fs::exists(Data("PAVO_S7/Map/S7MAP001.ZIP")));
  EXPECT_EQ(frmMain->ResumeIndex, 0);
  EXPECT_EQ(form_->FilesDone, 0);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "0 %");
  // Back to S7: a fresh run from the first file, its counters reset.
  Choose("PAVO S7");
  ClickStart();
  EXPECT_EQ(Result(1), "완료");
  EXPECT_EQ(Requests("/pavoData/s7/program/PAVOS7_PRG.ZIP"), 1);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "100 %");
}

TEST_F(PauseTest, AFolderChangeAfterAPauseStartsOverInTheNewFolder) {
  When pause([&] { return InSecondPart(); },
             [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
  ClickStart();
  fs::create_directories(root_ / "other");
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select(Dos("other"));
    d.Ok();
  });
  form_->btnChangeFolderClick(form_->btnChangeFolder);
  EXPECT_EQ(dm_->RootPath, Dos("other"));
  EXPECT_EQ(GetCurrentDir(), Dos("other"));
  EXPECT_EQ(frmMain->ResumeIndex, 0);
  EXPECT_EQ(form_->DoneBytes, 0);
  // The new folder has nothing installed: both files are outdated again.
  EXPECT_EQ(form_->lvlModelHint->Caption.get().str(), "최신 버전의 다운로드가 존재합니다.");
  ClickStart();
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(Result(1), "완료");
  EXPECT_TRUE(fs::exists(root_ / "other/PAVO_S7/Map/PavoS7Map.dat"));
}

TEST_F(DownloadRunTest, PauseWhileUnpackingCancelsItAndTheResumedRunDeletesTheArchive) {
  TMemIniFile* s7 = Model("PAVO S7");
  ClickStart();
  ASSERT_EQ(Result(1), "완료");
  std::string installed = ReadUnix(Data("PAVO_S7/Map/PavoS7Map.dat"));
  // The model now lists another check value: the map is fetched and unpacked again.
  s7->WriteInteger("FILE_2", "AG_FILECRC", s7->ReadInteger("FILE_2", "AG_FILECRC", 0) ^ 1);
  Choose("PAVO S7");
  TTotalProgressEvent progress = form_->ZipBuilder1->GetOnTotalProgress();
  bool paused = false;
  form_->ZipBuilder1->OnTotalProgress = [&](TObject* Sender, long long Total, int PerCent) {
    if (!paused && Result(1) == "점검중") {
      paused = true;
      TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false);
    }
    progress(Sender, Total, PerCent);
  };
  ClickStart();
  ASSERT_TRUE(paused);
  EXPECT_EQ(Result(1), "중지");
  EXPECT_TRUE(fs::exists(Data("PAVO_S7/Map/S7MAP003.ZIP")));
  EXPECT_EQ(ReadUnix(Data("PAVO_S7/Map/PavoS7Map.dat")), installed);
  EXPECT_EQ(Notices().size(), 1u);

  form_->ZipBuilder1->OnTotalProgress = progress;
  ClickStart();
  EXPECT_EQ(Result(1), "완료");
  EXPECT_EQ(Listing(Data("PAVO_S7/Map")), (std::vector<std::string>{"PavoS7Map.dat", "__FILEINFO__.ini"}));
  EXPECT_EQ(ReadUnix(Data("PAVO_S7/Map/PavoS7Map.dat")), installed);
  EXPECT_EQ(Notices().size(), 2u);
}

}  // namespace
}  // namespace runtest
