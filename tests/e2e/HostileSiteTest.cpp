// A hostile copy of the sample site through the real program: model info files whose names lead
// out of the download root, an installer outside it, and a camera address whose file name leads
// out of the camera folder. Nothing outside the program folder (the download root), the USB
// folder and the temporary folder is created, changed or deleted; each refused file is shown as
// failed, and only what stays inside is installed. An archive that would write over the
// program's own files fails whole, whichever way the download root reaches the program folder.
#include "E2eFixture.h"
#include "ZipWriter.h"

namespace e2e {
namespace {

const char* const kModels = "trelm.quorvex.example/pavoTrelm/model/";

class HostileSiteTest : public E2eFixture {
 protected:
  // Everything below the test's folder that the programs may not touch.
  std::map<std::string, std::string> Outside() const {
    return testfiles::Snapshot(root_, {"prog", "USB", "temp", "cache", "run", "hkcu.reg", "hkcu.reg.lock",
                                       "automation.txt.log", "notices.log"});
  }
  void EditModel(const fs::path& site, const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) {
    fs::path path = site / kModels / file;
    WriteUnix(path, SetIniValue(ReadUnix(path), section, key, value));
  }
};

TEST_F(HostileSiteTest, NamesLeadingOutFailTheirFilesAndNothingOutsideTheChosenFoldersChanges) {
  fs::path site = OwnSite();
  // PAVO S7: its map goes to a folder beside the program folder; PAVO X1: its program archive
  // is named after a file beside the program folder; PAVO Z9 (a copy of X1 with folders of its
  // own) installs, but names an installer outside.
  EditModel(site, "PAVO_S7.ini", "FILE_2", "DEST_PATH", "..\\escaped");
  EditModel(site, "PAVO_X1.ini", "FILE_1", "AG_ZIPNAME", "..\\..\\..\\keep.txt");
  std::string z9 = ReadUnix(fs::path(VENDOR_SITE) / kModels / "PAVO_X1.ini");
  z9 = SetIniValue(z9, "ENVIRONMENT", "MODEL_CAPTION", "\"PAVO Z9\"");
  z9 = SetIniValue(z9, "INSTALLER", "PATH", "..\\outside\\PavoSetup.exe");
  z9 = SetIniValue(z9, "FILE_1", "DEST_PATH", "PAVO_Z9\\Program");
  z9 = SetIniValue(z9, "FILE_2", "DEST_PATH", "PAVO_Z9\\Map");
  WriteUnix(site / kModels / "PAVO_Z9.ini", z9);
  // The demo user owns all three, and the camera address climbs out of the camera folder.
  std::string users = ReadUnix(site / "users.ini");
  users = SetIniValue(users, "demo", "REPLY1", "#!#200|로그인 되었습니다.|PAVO_X1.ini|PAVO_S7.ini|PAVO_Z9.ini|");
  users = SetIniValue(users, "demo", "REPLY2", "#!#http://trelm.quorvex.example/pavoData/camera/..\\..\\evil.ZIP");
  WriteUnix(site / "users.ini", users);
  StartService(site);

  // What lies where the names point.
  WriteUnix(root_ / "keep.txt", "keep these bytes");
  WriteUnix(root_ / "escaped/PavoS7Map.dat", "a map elsewhere");
  WriteUnix(root_ / "outside/PavoSetup.exe", "#!/bin/sh\necho ran >> \"$(dirname \"$0\")/installer-ran.txt\"\n", true);
  // No medium in the USB drive: the camera data goes to the Camera folder of the download root.
  fs::remove_all(root_ / "USB");

  const std::string log = Script().string() + ".log";
  WriteUnix(Script(), "[MovrantPavo.exe]\n"
                      "timeout 60\n" +
                          LoginAndRun() +
                          "waitrow TfrmProgramUpdate.lvMain Error\n"
                          "select TfrmProgramUpdate.cbxModel 1\n"
                          "click TfrmProgramUpdate.btnDownStart\n"
                          "waitrow TfrmProgramUpdate.lvMain Error\n"
                          "select TfrmProgramUpdate.cbxModel 2\n"
                          "click TfrmProgramUpdate.btnDownStart\n"
                          "waitlist TfrmProgramUpdate.lvMain 완료\n"
                          "waitfile " + log + " 설치 프로그램이 해당 Folder에 없습니다.\n"
                          "click TfrmMain.btnCameraUpdate\n"
                          "waitfile " + log + " Camera 파일을 받지 못했습니다.\n"
                          "close TfrmMain\n");
  const std::map<std::string, std::string> before = Outside();
  pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(RunsThrough(movrant), 0);

  EXPECT_EQ(testfiles::Changed(before, Outside()), std::vector<std::string>{});
  EXPECT_EQ(ReadUnix(root_ / "keep.txt"), "keep these bytes");
  // S7's program installed before its map was refused; X1 fetched nothing; Z9 installed.
  std::vector<ModelFile> s7 = ModelFiles(site, "PAVO_S7.ini");
  EXPECT_EQ(ExpectInstalled(Prog(), {s7[0]}), 2);
  EXPECT_EQ(Listing(Prog("PAVO_S7")),
            (std::vector<std::string>{"Program/PavoS7.bin", "Program/PavoS7Setup.exe", "Program/__FILEINFO__.ini"}));
  EXPECT_FALSE(fs::exists(Prog("PAVO_X1")));
  EXPECT_EQ(ExpectInstalled(Prog(), ModelFiles(site, "PAVO_Z9.ini")), 3);
  EXPECT_EQ(Requests("/pavoData/s7/map/S7MAP001.ZIP"), 0);
  // Z9's program archive is X1's: fetched once, by Z9.
  EXPECT_EQ(Requests("/pavoData/x1/program/PAVOX1_PRG.ZIP"), 1);
  // Only the run that completed sent its notice; the camera file was not fetched or noticed.
  EXPECT_EQ(NoticeLines(), (std::vector<std::string>{"D1=\"demo\" D4=\"PAVO_Z9.ini\" D5=M"}));
  EXPECT_EQ(Listing(Prog("Camera")), std::vector<std::string>{});
  for (const std::string& r : service_->Requests()) {
    EXPECT_EQ(r.find("evil"), std::string::npos) << r;
    EXPECT_EQ(r.find("keep"), std::string::npos) << r;
  }
}

// One hostile data file: an archive holding first the listed file and then a name that leads to
// a file of the program's own, unpacked into DEST_PATH dest below the download root.
struct ProgramFileCase {
  std::string dest;
  std::string entry;       // the stored name
  std::string unicodeName; // a Unicode path field naming another file, when not empty
};

TEST_F(HostileSiteTest, AnArchiveThatWouldWriteOverTheProgramFailsBeforeAnythingOfItIsWritten) {
  fs::path site = OwnSite();
  // First with the program folder as the download root (as it is by default), then with a root
  // above it.
  const std::vector<ProgramFileCase> inProgramFolder = {
      {".", "Sorvel.exe", ""},
      {"", "SHELL32.DLL", ""},
      {".", "html\\intro1.html", ""},
      {"", "Movrant.ini", ""},
      {".", "Data/../ZBEngine.dll", ""},
      {".", "New.dll", ""},
      {"", "HTML/new/page.html", ""},
      {".", "MovrantPavo.exe.", ""},
      {".", "Notes.txt", "Sorvel.exe"},
  };
  const std::vector<ProgramFileCase> above = {{"prog", "Sorvel.exe", ""}, {".", "prog\\ZBEngine.dll", ""}};
  const std::string listed = "the listed file";
  std::vector<std::string> infoFiles;
  auto addModel = [&](const std::string& dest, const std::string& file, ztest::ZipWriter& zip) {
    char id[8];
    snprintf(id, sizeof id, "H%02zu", infoFiles.size() + 1);
    std::string archive = zip.Build();
    WriteUnix(site / "trelm.quorvex.example/pavoData/hostile" / (std::string(id) + ".ZIP"), archive);
    WriteUnix(site / kModels / ("PAVO_" + std::string(id) + ".ini"),
              "[ENVIRONMENT]\nMODEL_CAPTION=\"PAVO " + std::string(id) +
                  "\"\nROOT_URL=http://trelm.quorvex.example/pavoData\n"
                  "MODEL_INFOURL=http://www.quorvex.example/pavo/model/s7.html\nENABLE_AUTOSTART_INSTALLER=0\n"
                  "[FILE_1]\nAG_FILENAME=" + file + "\nAG_FILESIZE=" +
                  std::to_string(listed.size()) + "\nAG_FILECRC=1\nAG_ZIPNAME=" + id + ".ZIP\nAG_ZIPSIZE=" +
                  std::to_string(archive.size()) + "\nAG_NUMSPAN=1\nDEST_PATH=" + dest +
                  "\nFULL_URL=http://trelm.quorvex.example/pavoData/hostile\n");
    infoFiles.push_back("PAVO_" + std::string(id) + ".ini");
  };
  for (const auto* cases : {&inProgramFolder, &above}) {
    for (const ProgramFileCase& c : *cases) {
      ztest::ZipWriter zip;
      zip.AddFile("Data.bin", listed);
      ztest::ZipEntrySpec entry;
      entry.name = c.entry;
      entry.data = "hostile bytes";
      if (!c.unicodeName.empty()) {
        std::string field(1, '\1');
        uint32_t crc = ztest::Crc32(c.entry);
        for (int k = 0; k < 4; ++k) field += char(crc >> (8 * k));
        field += c.unicodeName;
        entry.extra = std::string("\x75\x70", 2) + char(field.size()) + char(field.size() >> 8) + field;
      }
      zip.Add(entry);
      addModel(c.dest, "Data.bin", zip);
    }
    // After the hostile files of the program folder, one that may go there: a file and a
    // program in a folder of its own.
    if (cases == &inProgramFolder) {
      ztest::ZipWriter zip;
      zip.AddFile("Control.bin", listed);
      zip.AddFile("Setup/Setup.exe", "#!/bin/sh\n");
      addModel(".", "Control.bin", zip);
    }
  }
  std::string users = ReadUnix(site / "users.ini");
  std::string reply = "#!#200|로그인 되었습니다.|";
  for (const std::string& f : infoFiles) reply += f + "|";
  WriteUnix(site / "users.ini", SetIniValue(users, "demo", "REPLY1", reply));
  StartService(site);

  // Runs the models from..to (indexes in the model box) in one start of the program; each fails
  // its file but the one at control.
  auto runModels = [&](size_t from, size_t to, size_t control) {
    std::string script =
        "[MovrantPavo.exe]\ntimeout 30\nanswer 6\nfolders ok\nwait TfrmLogin\ntext TfrmLogin.edtID demo\n"
        "text TfrmLogin.edtPassword demo1234\ncheck TfrmLogin.cbxAutoLogin 0\nclick TfrmLogin.btnLogin\n"
        "wait TfrmMain\n";
    for (size_t i = from; i <= to; ++i)
      script += "select TfrmProgramUpdate.cbxModel " + std::to_string(i) +
                "\nclick TfrmProgramUpdate.btnDownStart\nwaitrow TfrmProgramUpdate.lvMain " +
                (i == control ? "완료" : "파일오류") + "\n";
    WriteUnix(Script(), script + "close TfrmMain\n");
    pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
    EXPECT_EQ(RunsThrough(movrant), 0);
  };
  const std::set<std::string> skip = {"site", "USB", "temp", "cache", "run", "hkcu.reg", "hkcu.reg.lock",
                                      "automation.txt", "automation.txt.log", "notices.log"};
  const std::map<std::string, std::string> before = testfiles::Snapshot(root_, skip);
  runModels(0, inProgramFolder.size(), inProgramFolder.size());
  SetRegistry("DOWNLOAD", "ROOTPATH", Dos(root_));
  runModels(inProgramFolder.size() + 1, infoFiles.size() - 1, infoFiles.size());

  // Each refused archive stays where it was fetched, for the next start; nothing of it was
  // unpacked. The one that may go there is installed.
  std::vector<std::string> expected;
  for (size_t i = 1; i <= infoFiles.size(); ++i) {
    char name[16];
    snprintf(name, sizeof name, "H%02zu.ZIP", i);
    if (i == inProgramFolder.size() + 1) continue;
    expected.push_back(i == infoFiles.size() ? name : std::string("prog/") + name);
  }
  for (const char* f : {"prog/Control.bin", "prog/Setup", "prog/Setup/Setup.exe", "prog/__FILEINFO__.ini"})
    expected.push_back(f);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(testfiles::Changed(before, testfiles::Snapshot(root_, skip)), expected);
  EXPECT_EQ(ReadUnix(Prog("Control.bin")), listed);
  EXPECT_EQ(NoticeLines().size(), 1u);
}

}  // namespace
}  // namespace e2e
