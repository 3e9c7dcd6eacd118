// The main window and the download form outside a run: flags and close question, key sequence,
// help, disk space and folder choice, the list's drawing and tooltip, the total and the speed
// label, and the camera-data download.
#include <regex>
#include <set>

#include "HttpTestServer.h"
#include "RunFixture.h"
#include "ZipWriter.h"

namespace runtest {
namespace {

const char* const kNoSpace = "설치를 위한 디스크의 공간이 부족합니다.";
const char* const kRemovable = "이동형 저장장치는 받기 폴더로 지정할 수 없습니다.";

class MainWindowTest : public RunFixture {};

TEST_F(MainWindowTest, SetStateKindsAndTheCameraButton) {
  EXPECT_TRUE(frmMain->Stopped);
  EXPECT_TRUE(frmMain->AskOnClose);
  EXPECT_TRUE(frmMain->btnCameraUpdate->Enabled);
  frmMain->SetState(1, true);
  EXPECT_TRUE(frmMain->Busy);
  EXPECT_FALSE(frmMain->btnCameraUpdate->Enabled);
  // Only a change of Busy touches the button.
  frmMain->btnCameraUpdate->Enabled = true;
  frmMain->SetState(1, true);
  EXPECT_TRUE(frmMain->btnCameraUpdate->Enabled);
  frmMain->SetState(1, false);
  EXPECT_TRUE(frmMain->btnCameraUpdate->Enabled);
  frmMain->SetState(2, true);
  frmMain->SetState(3, false);
  frmMain->SetState(4, false);
  frmMain->SetState(9, true);
  EXPECT_TRUE(frmMain->Closing);
  EXPECT_FALSE(frmMain->Stopped);
  EXPECT_FALSE(frmMain->AskOnClose);
  // The main window holds the download form in its hidden tab.
  EXPECT_EQ(form_->Parent, frmMain->tsDownload);
  EXPECT_FALSE(frmMain->tsDownload->TabVisible);
  EXPECT_EQ(frmMain->Width, 762 + 10);
}

TEST_F(MainWindowTest, ClosingAsksAndNoKeepsTheProgram) {
  answers_ = {{"자동 설치 프로그램을 종료 하시겠습니까 ?", IDNO}};
  uitest::CloseWindow(frmMain);
  EXPECT_EQ(BoxesWith("자동 설치 프로그램을 종료 하시겠습니까 ?"), 1);
  EXPECT_FALSE(frmMain->Closing);
  EXPECT_FALSE(Application->Terminated);
  // A close that skips the question does so once.
  frmMain->SetState(4, false);
  bool can = false;
  frmMain->FormCloseQuery(frmMain, can);
  EXPECT_TRUE(can);
  EXPECT_TRUE(frmMain->AskOnClose);
  EXPECT_EQ(BoxesWith("자동 설치 프로그램을 종료 하시겠습니까 ?"), 1);
}

TEST_F(MainWindowTest, TheHiddenKeySequenceAndTheHelpButton) {
  const char* keys = "QVRXPAV";
  auto type = [&](const std::string& text) {
    for (char c : text) uitest::KeyPress(frmMain->pnlButtons, WORD(toupper(c)), c);
  };
  type("qvrxpa");
  EXPECT_EQ(frmMain->Tag, 6);
  type("x");  // wrong at the seventh: back to the start
  EXPECT_EQ(frmMain->Tag, 0);
  EXPECT_EQ(BoxesWith("Delmaro"), 0);
  type(keys);
  EXPECT_EQ(BoxesWith("Delmaro"), 1);
  EXPECT_EQ(boxes_.back().substr(0, 3), "64|");
  EXPECT_EQ(frmMain->Tag, 0);

  dm_->HelpUrl = "http://www.quorvex.example/help";
  uitest::Click(frmMain->btnHelp);
  EXPECT_TRUE(PumpUntil([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), (std::vector<std::string>{"http://www.quorvex.example/help"}));
}

TEST_F(MainWindowTest, ModelsSortedFilesListedAndTheUserHint) {
  ASSERT_EQ(form_->cbxModel->Items->Count(), 2);
  EXPECT_EQ(form_->cbxModel->Items->Get(0).str(), "PAVO S7");
  EXPECT_EQ(form_->cbxModel->Items->Get(1).str(), "PAVO X1");
  EXPECT_EQ(form_->cbxModel->Hint.get().str(), "PAVO S7");
  EXPECT_EQ(form_->cbxAutoStartInstaller->Hint.get().str(), "설치 프로그램 : PavoS7Setup.exe");
  EXPECT_EQ(Row(0)->Caption.get().str(), "프로그램");
  EXPECT_EQ(Rec(1)->Section.str(), "FILE_2");
  EXPECT_EQ(form_->FindItem("FILE_2"), Row(1));
  EXPECT_EQ(form_->FindItem("file_2"), nullptr);
  EXPECT_EQ(form_->lvlModelHint->Caption.get().str(), "최신 버전의 다운로드가 존재합니다.");
  EXPECT_EQ(form_->edtDownFolder->Text.get(), dm_->RootPath);
  // The extended hint for the one user, whatever the case of the login.
  dm_->UserID = "prumdexo41";
  Choose("PAVO X1");
  EXPECT_EQ(form_->cbxModel->Hint.get().str(), "PAVO X1\nPAVO_X1.ini");
}

class DiskSpaceTest : public RunFixture {
 protected:
  void SmallDrive(long long free) {
    fs::create_directories(root_ / "small");
    Set("WINPLAT_DRIVES", "C=/,fixed;D=" + (root_ / "small").string() + ",fixed,SMALL," + std::to_string(free) +
                              ";E=" + (root_ / "usb").string() + ",removable,NAVI");
    winplat::ReloadDrives();
  }
};

TEST_F(DiskSpaceTest, NotEnoughSpaceWarnsAndEqualSpacePasses) {
  TMemIniFile* s7 = Model("PAVO S7");
  int64_t totalZip, maxFile, maxZip, totalFile;
  form_->ComputeTotals(s7, totalZip, maxFile, maxZip, totalFile);
  long long need = totalFile + maxZip + maxFile;
  const struct {
    long long free;
    bool enough;
  } cases[] = {{need - 1, false}, {need, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.free);
    SmallDrive(c.free);
    dm_->SetRootPath("D:\\");
    boxes_.clear();
    form_->ShowDiskSpace(s7);
    EXPECT_EQ(BoxesWith(kNoSpace), c.enough ? 0 : 1);
    EXPECT_EQ(form_->btnDownStart->Enabled, c.enough);
    EXPECT_EQ(form_->lblDiskFree->Color == clRed, !c.enough);
    EXPECT_NE(form_->lblDiskFree->Caption.get().str().find("설치 공간 : "), std::string::npos);
  }
}

TEST_F(DiskSpaceTest, ARemovableFolderIsRefusedAsDownloadRoot) {
  fs::create_directories(root_ / "usb");
  SmallDrive(1 << 30);
  AnsiString before = dm_->RootPath;
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select("E:\\");
    d.Ok();
  });
  form_->btnChangeFolderClick(form_->btnChangeFolder);
  EXPECT_EQ(BoxesWith(kRemovable), 1);
  EXPECT_EQ(dm_->RootPath, before);
}

// ------------------------------------------------------------------ drawing

class DrawingTest : public RunFixture {
 protected:
  // The longest run of bar pixels in any line of the progress cell of row 0, and whether the
  // result cell of row 0 shows the changed-file colour.
  struct Drawn {
    int bar = 0;
    bool magenta = false;
  };
  Drawn Draw(int percent, int state) {
    Rec(0)->Percent = percent;
    Rec(0)->State = state;
    form_->RedrawItem(Row(0));
    TBitmap grab;
    uitest::Grab(form_->lvMain, &grab);
    std::set<TColor> bar;
    for (TBitmap* b : {form_->BarLeft.get(), form_->BarBody.get(), form_->BarRight.get()})
      for (int y = 0; y < b->Height; ++y)
        for (int x = 0; x < b->Width; ++x) bar.insert(b->Canvas->Pixels[x][y]);
    Drawn d;
    for (int y = 0; y < grab.Height; ++y) {
      int run = 0;
      int magenta = 0;
      for (int x = 0; x < grab.Width; ++x) {
        TColor c = grab.Canvas->Pixels[x][y];
        run = bar.count(c) ? run + 1 : 0;
        d.bar = std::max(d.bar, run);
        magenta = c == TColor(0xFF80FF) ? magenta + 1 : 0;
        if (magenta >= 40) d.magenta = true;
      }
    }
    return d;
  }
};

TEST_F(DrawingTest, TheProgressBarAndTheChangedFileColour) {
  const struct {
    int percent, state;
    int bar;
    bool magenta;
  } cases[] = {
      {100, 0, 178, false},  // the whole 178-pixel cell
      {1, 1, 2, false},      // trunc(1.78 + 0.5): the left cap only
      {0, 0, 0, false},      // the cell is cleared
      {50, 2, 89, true},     // changed files: magenta result cell
      {100, 3, 178, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.percent << " % state " << c.state);
    Drawn d = Draw(c.percent, c.state);
    EXPECT_EQ(d.bar, c.bar);
    EXPECT_EQ(d.magenta, c.magenta);
  }
}

TEST_F(DrawingTest, TheTooltipOfARow) {
  Rec(0)->FileSize = 1234567;
  Rec(0)->ZipSize = 0;
  Rec(0)->State = 0;
  EXPECT_EQ(form_->lvMain->InfoTipOf(Row(0)).str(), "File Name : 1\nFile Size : 1,234,567 Byte\nZip Size :  Byte");
  Rec(0)->State = 2;
  EXPECT_EQ(form_->lvMain->InfoTipOf(Row(0)).str(),
            "File Name : 1\nFile Size : 1,234,567 Byte\nZip Size :  Byte\n변경되어 다시 받음.");
}

TEST_F(DrawingTest, TheTotal) {
  form_->TotalZipBytes = 1000;
  const struct {
    int done;
    int position;
    const char* text;
  } cases[] = {{0, 0, "0 %"}, {333, 33, "33 %"}, {1000, 100, "100 %"}};
  for (const auto& c : cases) {
    form_->ShowTotal(c.done);
    EXPECT_EQ(form_->pbTotal->Position, c.position);
    EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), c.text);
  }
  // Totals are 64-bit: 1.5 of 3 GB is half, 3 of 6 GB too.
  form_->TotalZipBytes = 3000000000LL;
  form_->ShowTotal(1500000000LL);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "50 %");
  form_->TotalZipBytes = 6000000000LL;
  form_->ShowTotal(3000000000LL);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "50 %");
  form_->TotalZipBytes = 0;
  form_->ShowTotal(5);
  EXPECT_EQ(form_->lblTotalPercent->Caption.get().str(), "0 %");
}

TEST_F(DrawingTest, SpeedAndTimeLeft) {
  const int kPosition = 100000;  // in about one second
  const struct {
    uint32_t remaining;
    const char* pattern;
  } cases[] = {
      {100000u * (2 * 3600 + 5 * 60), "2시간 [45]분"},
      {100000u * (5 * 60 + 30), "5분"},
      {100000u * 30, "1분 미만"},
  };
  form_->CurrentItem = nullptr;
  frmMain->SetState(3, false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    form_->DoneBytes = 0;
    form_->TotalZipBytes = int32_t(kPosition + c.remaining);
    form_->SpeedBytes = 0;
    form_->LastPos = 0;
    form_->SpeedStartTick = GetTickCount() - 999;
    form_->lblBPS->Tag = 0;
    form_->OnDownloadProgress(nullptr, "", kPosition * 2, kPosition);
    std::string text = form_->lblBPS->Caption.get().str();
    // The size per second, two blanks, the time left.
    EXPECT_TRUE(std::regex_match(text, std::regex(std::string("[0-9.,]+ [KM]?B/S  ") + c.pattern))) << text;
  }
  frmMain->SetState(3, true);
}

TEST_F(DrawingTest, AnArchiveOfUnknownSizeShowsZeroUntilItHasArrived) {
  frmMain->SetState(3, false);
  form_->CurrentItem = Row(0);
  Rec(0)->ZipSize = 0;
  form_->OnDownloadProgress(nullptr, "", 1000, 500);
  EXPECT_EQ(Result(0), "0 %");
  EXPECT_EQ(Rec(0)->Percent, 0);
  // A part has arrived, not yet the whole file: the run shows 100 % once the file is whole.
  form_->OnDownloadProgress(nullptr, "", 1000, 1000);
  EXPECT_EQ(Rec(0)->Percent, 0);
  frmMain->SetState(3, true);
}

// ------------------------------------------------------------------ camera data

class CameraTest : public RunFixture {
 protected:
  void SetUp() override {
    camera_ = std::make_unique<testsupport::HttpTestServer>([this](const testsupport::HttpRequest& r) {
      auto it = cameraFiles_.find(r.path);
      return it == cameraFiles_.end() ? testsupport::HttpReply::Status(404, "Not Found")
                                      : testsupport::HttpReply::Text(it->second);
    });
    extraHosts_ = "," + camera_->ConnectTo("cam.quorvex.example");
    RunFixture::SetUp();
  }
  void TearDown() override {
    RunFixture::TearDown();
    camera_.reset();
  }
  void Drives(const std::string& extra) {
    Set("WINPLAT_DRIVES", "C=/,fixed" + extra);
    winplat::ReloadDrives();
  }
  std::string camZip() const { return ReadUnix(Site("trelm.quorvex.example/pavoData/camera/SafeCam.ZIP")); }

  std::unique_ptr<testsupport::HttpTestServer> camera_;
  std::map<std::string, std::string> cameraFiles_;
};

TEST_F(CameraTest, TheFirstRemovableDriveWithAMediumIsProposed) {
  fs::create_directories(root_ / "usbF");
  fs::create_directories(root_ / "usbG");
  const struct {
    std::string drives;
    AnsiString proposal;
  } cases[] = {
      {";F=" + (root_ / "usbF").string() + ",removable,NAVI;G=" + (root_ / "usbG").string() + ",removable,MAP",
       "F:\\"},
      // A removable drive without a medium does not count.
      {";F=" + (root_ / "nomedium").string() + ",removable;G=" + (root_ / "usbG").string() + ",removable,MAP",
       "G:\\"},
      {"", Dos("data/Camera")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.proposal.str());
    Drives(c.drives);
    AnsiString proposed;
    uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
      proposed = d.SelectedPath();
      d.Cancel();
    });
    EXPECT_EQ(frmMain->ChooseCameraFolder(frmMain), "");
    EXPECT_EQ(proposed, c.proposal);
  }
}

TEST_F(CameraTest, TheArchiveIsUnpackedThereDeletedNoticedAndTheFolderOpened) {
  fs::create_directories(root_ / "usbF");
  Drives(";F=" + (root_ / "usbF").string() + ",removable,NAVI");
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) { d.Ok(); });
  uitest::Click(frmMain->btnCameraUpdate);
  EXPECT_TRUE(fs::exists(root_ / "usbF/SafeCam.dat"));
  EXPECT_FALSE(fs::exists(root_ / "usbF/SafeCam.ZIP"));
  EXPECT_EQ(Notices(), (std::vector<std::string>{"D1=\"demo\" D4=\"\" D5=C"}));
  EXPECT_TRUE(PumpUntil([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), (std::vector<std::string>{(root_ / "usbF").string()}));
  EXPECT_EQ(GetCurrentDir(), dm_->RootPath);
  EXPECT_EQ(Screen->Cursor, crDefault);
}

TEST_F(CameraTest, AFailingEntryKeepsTheArchiveAndANonZipIsNotUnpacked) {
  std::string broken = camZip();
  broken[broken.size() / 2] ^= 0x5A;  // inside the compressed data
  cameraFiles_["/cam/SafeCam.ZIP"] = broken;
  cameraFiles_["/cam/SafeCam.bin"] = camZip();
  // The archive that does not unpack is not reported installed; the other file is as it came.
  const struct {
    const char* url;
    const char* kept;
    size_t notices;
  } cases[] = {{"http://cam.quorvex.example/cam/SafeCam.ZIP", "SafeCam.ZIP", 0},
               {"http://cam.quorvex.example/cam/SafeCam.bin", "SafeCam.bin", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    fs::create_directories(root_ / "cam");
    dm_->CameraUrl = c.url;
    uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
      d.Select(Dos("cam"));
      d.Ok();
    });
    frmMain->btnCameraUpdateClick(frmMain->btnCameraUpdate);
    EXPECT_TRUE(fs::exists(root_ / "cam" / c.kept));
    EXPECT_EQ(ReadUnix(root_ / "cam" / c.kept), cameraFiles_[std::string("/cam/") + c.kept]);
    EXPECT_EQ(Notices().size(), c.notices);
    EXPECT_EQ(GetCurrentDir(), dm_->RootPath);
    std::error_code ec;
    fs::remove_all(root_ / "cam", ec);
  }
  EXPECT_TRUE(PumpUntil([&] { return Opened().size() == 2; }));
}

// Camera data that arrive but do not unpack (cut short, damaged) leave the old data as they
// were and are not reported installed: the user is told, as after a failed download, and the
// service gets no notice. A whole archive is installed and noticed.
TEST_F(CameraTest, AnArchiveThatDoesNotUnpackIsToldAndNotNoticed) {
  const std::string whole = camZip();
  std::string damaged = whole;
  damaged[damaged.size() / 2] ^= 0x5A;
  const struct {
    const char* label;
    std::string archive;
    bool installed;
  } cases[] = {
      {"cut short", whole.substr(0, whole.size() - 40), false},
      {"half of it", whole.substr(0, whole.size() / 2), false},
      {"damaged", damaged, false},
      {"whole", whole, true},
  };
  // On a fixed drive: on a removable one the zip component takes an archive without its end for
  // one part of a set on several disks and first asks for the last disk. The component's own
  // report of an archive it cannot list (shown before the data module asks it to stay silent) is
  // closed as the user would close it.
  uitest::SetModalHook([](TCustomForm* f) { f->ModalResult = mrOk; });
  fs::create_directories(root_ / "cam");
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select(Dos("cam"));
    d.Ok();
  });
  dm_->CameraUrl = "http://cam.quorvex.example/cam/SafeCam.ZIP";
  const std::string old = "the camera data the user already has";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::error_code ec;
    fs::remove(root_ / "cam/SafeCam.ZIP", ec);
    WriteUnix(root_ / "cam/SafeCam.dat", old);
    cameraFiles_["/cam/SafeCam.ZIP"] = c.archive;
    boxes_.clear();
    size_t notices = Notices().size();
    frmMain->btnCameraUpdateClick(frmMain->btnCameraUpdate);
    EXPECT_EQ(BoxesWith("Camera 파일을 받지 못했습니다."), 0);
    EXPECT_EQ(Notices().size(), notices + (c.installed ? 1 : 0));
    if (c.installed) {
      EXPECT_TRUE(boxes_.empty());
      EXPECT_NE(ReadUnix(root_ / "cam/SafeCam.dat"), old);
      EXPECT_FALSE(fs::exists(root_ / "cam/SafeCam.ZIP"));
      continue;
    }
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "20|Camera 파일을 풀지 못했습니다.\n잠시 후 다시 시도해 보세요.");
    EXPECT_EQ(ReadUnix(root_ / "cam/SafeCam.dat"), old);
    EXPECT_EQ(ReadUnix(root_ / "cam/SafeCam.ZIP"), c.archive);
    EXPECT_EQ(GetCurrentDir(), dm_->RootPath);
  }
  uitest::SetModalHook(nullptr);
}

// Camera data never land on the program's own files, even when the user chooses the program's
// folder: a camera file named like one is not fetched, and an archive that would write one stays
// packed with nothing of it unpacked; other camera data still arrive there.
TEST_F(CameraTest, CameraDataInTheProgramFolderLeaveTheProgramsFilesAlone) {
  const fs::path program = fs::canonical("/proc/self/exe").parent_path();
  auto zipOf = [](const std::vector<std::string>& names) {
    ztest::ZipWriter zip;
    for (const std::string& name : names) zip.AddFile(name, "camera bytes of " + name);
    return zip.Build();
  };
  cameraFiles_["/cam/Movrant.ini"] = "[UPDATE]\nURL=http://elsewhere.example\n";
  cameraFiles_["/cam/CamProgramFolder1.ZIP"] = zipOf({"CamProgramFolder1.dat", "CamProgramFolder.dll"});
  cameraFiles_["/cam/CamProgramFolder2.ZIP"] = zipOf({"CamProgramFolder2.dat", "HTML/CamProgramFolder.html"});
  cameraFiles_["/cam/CamProgramFolder3.ZIP"] = zipOf({"CamProgramFolder3.dat"});
  const std::vector<std::string> made = {"Movrant.ini",           "CamProgramFolder1.ZIP", "CamProgramFolder1.dat",
                                         "CamProgramFolder.dll",  "CamProgramFolder2.ZIP", "CamProgramFolder2.dat",
                                         "HTML/CamProgramFolder.html", "CamProgramFolder3.ZIP",
                                         "CamProgramFolder3.dat"};
  auto clean = [&] {
    std::error_code ec;
    for (const std::string& name : made) fs::remove(program / name, ec);
  };
  clean();
  ASSERT_FALSE(fs::exists(program / "Movrant.ini"));
  const struct {
    const char* name;
    bool fetched;
    std::vector<std::string> present, absent;
  } cases[] = {
      {"Movrant.ini", false, {}, {"Movrant.ini"}},
      {"CamProgramFolder1.ZIP", true, {"CamProgramFolder1.ZIP"}, {"CamProgramFolder1.dat", "CamProgramFolder.dll"}},
      {"CamProgramFolder2.ZIP", true, {"CamProgramFolder2.ZIP"}, {"CamProgramFolder2.dat", "HTML/CamProgramFolder.html"}},
      {"CamProgramFolder3.ZIP", true, {"CamProgramFolder3.dat"}, {"CamProgramFolder3.ZIP"}},
  };
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select(AnsiString(winplat::UnixToDos(program.string())));
    d.Ok();
  });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    dm_->CameraUrl = AnsiString("http://cam.quorvex.example/cam/") + c.name;
    frmMain->btnCameraUpdateClick(frmMain->btnCameraUpdate);
    EXPECT_EQ(BoxesWith("Camera 파일을 받지 못했습니다."), c.fetched ? 0 : 1);
    for (const std::string& name : c.present) EXPECT_TRUE(fs::exists(program / name)) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(program / name)) << name;
    EXPECT_EQ(GetCurrentDir(), dm_->RootPath);
  }
  clean();
}

TEST_F(CameraTest, ADownloadThatFailsSaysSo) {
  dm_->CameraUrl = "http://cam.quorvex.example/cam/missing.ZIP";
  fs::create_directories(root_ / "cam");
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select(Dos("cam"));
    d.Ok();
  });
  frmMain->btnCameraUpdateClick(frmMain->btnCameraUpdate);
  EXPECT_EQ(BoxesWith("Camera 파일을 받지 못했습니다."), 1);
  EXPECT_EQ(boxes_.back().substr(0, 3), "20|");
  EXPECT_TRUE(Notices().empty());
}

// The user's camera file on the drive is replaced only by a whole new one: while the transfer
// runs, and after one that fails however it fails, the old file keeps its bytes and no
// temporary file is left beside it.
TEST_F(CameraTest, TheOldCameraFileStaysWholeUntilANewOneHasArrived) {
  const std::string old = "the camera data the user already has";
  const struct {
    const char* label;
    std::function<testsupport::HttpReply()> reply;
    bool arrives;
  } cases[] = {
      {"not found", [] { return testsupport::HttpReply::Status(404, "Not Found"); }, false},
      {"server error", [] { return testsupport::HttpReply::Status(500, "Internal Server Error"); }, false},
      {"cut short",
       [] {
         auto r = testsupport::HttpReply::Generated(50000);
         r.cutAfter = 20000;
         return r;
       },
       false},
      {"reset",
       [] {
         auto r = testsupport::HttpReply::Generated(50000);
         r.cutAfter = 1000;
         r.reset = true;
         return r;
       },
       false},
      {"arrives", [] { return testsupport::HttpReply::Generated(50000); }, true},
  };
  fs::create_directories(root_ / "usbF");
  Drives(";F=" + (root_ / "usbF").string() + ",removable,NAVI");
  dm_->CameraUrl = "http://cam.quorvex.example/cam/CamDB.dat";
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) { d.Ok(); });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::ofstream(root_ / "usbF/CamDB.dat", std::ios::binary | std::ios::trunc) << old;
    std::string seen;  // the drive's file while the server answers
    camera_->SetHandler([&](const testsupport::HttpRequest&) {
      seen = ReadUnix(root_ / "usbF/CamDB.dat");
      return c.reply();
    });
    boxes_.clear();
    frmMain->btnCameraUpdateClick(frmMain->btnCameraUpdate);
    EXPECT_EQ(seen, old);
    EXPECT_EQ(ReadUnix(root_ / "usbF/CamDB.dat"),
              c.arrives ? testsupport::HttpTestServer::PatternBody(0, 50000) : old);
    EXPECT_EQ(BoxesWith("Camera 파일을 받지 못했습니다."), c.arrives ? 0 : 1);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_ / "usbF")) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"CamDB.dat"});
  }
}

}  // namespace
}  // namespace runtest
