// Both programs as a user meets them, against the local vendor service: Sorvel's splash page
// starts Movrant, the demo user logs in, the first model's run installs everything and starts the
// installer, camera data goes to the USB drive; a second run finds everything current; a self-update
// list replaces the program, which restarts with "-r".
#include "E2eFixture.h"

namespace e2e {
namespace {

const char* const kSorvelSection =
    "[Sorvel.exe]\n"
    "timeout 60\n"
    "wait TfrmWebBrowser\n"
    "waitload TfrmWebBrowser.cwb\n"
    "js TfrmWebBrowser.cwb window.external.__CallUpdater()\n";

// The completion notice of a run of PAVO S7 by the demo user, as the service logs it.
const char* const kModelNotice = "D1=\"demo\" D4=\"PAVO_S7.ini\" D5=M";

class EndToEndTest : public E2eFixture {
 protected:
  fs::path Installed(const std::string& rel) const { return Prog(rel); }
  fs::path InstallerRan() const { return Prog("PAVO_S7/Program/installer-ran.txt"); }
};

TEST_F(EndToEndTest, SplashLoginRunInstallerCameraThenASecondRunFindsEverythingCurrent) {
  StartService(VENDOR_SITE);
  std::vector<ModelFile> s7 = ModelFiles(VENDOR_SITE, "PAVO_S7.ini");
  ASSERT_EQ(s7.size(), 2u);
  std::map<std::string, std::string> camera =
      ArchiveFiles({fs::path(VENDOR_SITE) / "trelm.quorvex.example/pavoData/camera/SafeCam.ZIP"});
  ASSERT_FALSE(camera.empty());

  WriteUnix(Script(), std::string(kSorvelSection) +
                          "\n[MovrantPavo.exe]\n"
                          "timeout 60\n" +
                          LoginAndRun() +
                          "waitlist TfrmProgramUpdate.lvMain 완료\n"
                          "waitfile " + InstallerRan().string() + " PavoS7Setup.exe\n"
                          "click TfrmMain.btnCameraUpdate\n"
                          "waitfile " + Notices().string() + " D5=C\n"
                          "close TfrmMain\n");
  long long start = NowMs();
  pid_t sorvel = Spawn(Prog("Sorvel.exe"), {"/FORCE"});
  EXPECT_EQ(RunsThrough(sorvel), 0);
  pid_t movrant = WaitStarted("MovrantPavo.exe");
  ASSERT_NE(movrant, 0) << Log();
  EXPECT_EQ(RunsThrough(movrant), 0);
  std::cout << "first run: " << NowMs() - start << " ms" << std::endl;

  // Every installed byte is the archives' byte, every record the model's values.
  int checked = ExpectInstalled(Prog(), s7);
  EXPECT_EQ(checked, 3);
  EXPECT_EQ(ReadUnix(root_ / "USB/SafeCam.dat"), camera["SafeCam.dat"]);
  // No archive, part or zip temporary is left.
  EXPECT_EQ(Listing(Prog("PAVO_S7")),
            (std::vector<std::string>{"Map/PavoS7Map.dat", "Map/__FILEINFO__.ini", "Program/PavoS7.bin",
                                      "Program/PavoS7Setup.exe", "Program/__FILEINFO__.ini",
                                      "Program/installer-ran.txt"}));
  EXPECT_EQ(Listing(root_ / "USB"), (std::vector<std::string>{"SafeCam.dat"}));
  for (const ModelFile& f : s7)
    for (const fs::path& a : f.archives)
      EXPECT_EQ(Requests(a.string().substr(a.string().find("/pavoData/"))), 1) << a;

  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "demo");
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "1");
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "5");
  EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), Dos(Prog()));
  EXPECT_EQ(NoticeLines(), (std::vector<std::string>{kModelNotice, "D1=\"demo\" D4=\"\" D5=C"}));

  // A second run: the saved ID fills the dialog, every row is current, nothing is fetched, and
  // the run still finishes: notice and installer.
  fs::remove(InstallerRan());
  size_t before = service_->Requests().size();
  WriteUnix(Script(), "[MovrantPavo.exe]\n"
                      "timeout 60\n"
                      "answer 6\n"
                      "wait TfrmLogin\n"
                      "waittext TfrmLogin.edtID demo\n"
                      "text TfrmLogin.edtPassword demo1234\n"
                      "click TfrmLogin.btnLogin\n"
                      "wait TfrmMain\n"
                      "select TfrmProgramUpdate.cbxModel 0\n"
                      "waittext TfrmProgramUpdate.lvlModelHint 현재 다운로드된 버전이 최신입니다.\n"
                      "click TfrmProgramUpdate.btnDownStart\n"
                      "waitlist TfrmProgramUpdate.lvMain 완료\n"
                      "waitfile " + InstallerRan().string() + " PavoS7Setup.exe\n"
                      "close TfrmMain\n");
  fs::remove(Script().string() + ".log");
  start = NowMs();
  pid_t second = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(RunsThrough(second), 0);
  std::cout << "second run: " << NowMs() - start << " ms" << std::endl;
  std::vector<std::string> asked = service_->Requests();
  asked.erase(asked.begin(), asked.begin() + long(before));
  for (const std::string& r : asked) EXPECT_EQ(r.find("/pavoData/"), std::string::npos) << r;
  EXPECT_EQ(Requests("/pavoTrelm/pavoChkDown.mms"), 3);
  EXPECT_EQ(NoticeLines().back(), kModelNotice);
  EXPECT_EQ(ExpectInstalled(Prog(), s7), 3);
}

TEST_F(EndToEndTest, TheProgramUpdateListReplacesTheProgramWhichRestartsWithR) {
  StartService(VENDOR_SITE);
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\r\nURL=http://update.quorvex.example/pavo/_Movrant_program\r\n");
  std::string next = ReadUnix(MOVRANT_NEXT_EXE);
  ASSERT_NE(next, ReadUnix(Prog("MovrantPavo.exe")));
  // The first start updates and ends; the restarted one logs in and runs.
  WriteUnix(Script(), "[MovrantPavo.exe]\n"
                      "timeout 60\n"
                      "answer 6\n"
                      "wait TfrmLogin\n"
                      "\n[MovrantPavo.exe -r]\n"
                      "timeout 60\n" +
                          LoginAndRun(false) +
                          "waitlist TfrmProgramUpdate.lvMain 완료\n"
                          "close TfrmMain\n");
  pid_t first = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(WaitEnd(first), 0);
  pid_t restarted = WaitStarted("MovrantPavo.exe -r");
  ASSERT_NE(restarted, 0) << Log();
  EXPECT_EQ(RunsThrough(restarted), 0);
  EXPECT_TRUE(ReadUnix(Prog("MovrantPavo.exe")) == next) << "the program was not replaced";
  EXPECT_EQ(Requests("/pavo/_Movrant_program/Movrant.inf"), 1);
  EXPECT_EQ(Started("MovrantPavo.exe").size(), 1u);
  EXPECT_EQ(ExpectInstalled(Prog(), ModelFiles(VENDOR_SITE, "PAVO_S7.ini")), 3);
  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "");
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "0");
}

}  // namespace
}  // namespace e2e
