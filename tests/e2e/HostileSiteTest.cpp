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

// One data file of a model of its own: its archive, where it goes, and what the run shows of it.
struct ProgramFileCase {
  std::string dest;                // DEST_PATH
  std::vector<ztest::ZipEntrySpec> entries;
  std::string zipName;             // AG_ZIPNAME; the model's own name when empty
  std::string result;              // in the result column
  std::string left;                // what stays of it below the test's folder, if anything
  std::string file = "Data.bin";   // AG_FILENAME
  bool decoy = false;              // the archive's comment holds a directory of the first entry only
};

// An entry named stored that the Unicode path field (0x7075) names unicode.
ztest::ZipEntrySpec Renamed(const std::string& stored, const std::string& unicode) {
  ztest::ZipEntrySpec entry;
  entry.name = stored;
  entry.data = "hostile bytes";
  std::string field(1, '\1');
  uint32_t crc = ztest::Crc32(stored);
  for (int k = 0; k < 4; ++k) field += char(crc >> (8 * k));
  field += unicode;
  entry.extra = std::string("\x75\x70", 2) + char(field.size()) + char(field.size() >> 8) + field;
  return entry;
}

TEST_F(HostileSiteTest, AnArchiveThatWouldWriteOverTheProgramFailsBeforeAnythingOfItIsWritten) {
  fs::path site = OwnSite();
  const std::string listed = "the listed file";
  ztest::ZipEntrySpec data;
  data.name = "Data.bin";
  data.data = listed;
  ztest::ZipEntrySpec control = data;
  control.name = "Control.bin";
  auto entry = [](const std::string& name) {
    ztest::ZipEntrySpec e;
    e.name = name;
    e.data = "hostile bytes";
    return e;
  };
  auto folder = [](const std::string& name) {
    ztest::ZipEntrySpec e;
    e.name = name;
    return e;
  };
  const char* const kRefused = "파일오류";
  // With the program folder as the download root (as it is by default): each archive holds the
  // listed file first, then a name that leads to a file of the program's own; it stays for the
  // next start, and nothing of it is unpacked.
  std::vector<ProgramFileCase> inProgramFolder = {
      {".", {data, entry("Sorvel.exe")}, "", kRefused, "prog/H01.ZIP"},
      {"", {data, entry("SHELL32.DLL")}, "", kRefused, "prog/H02.ZIP"},
      {".", {data, entry("html\\intro1.html")}, "", kRefused, "prog/H03.ZIP"},
      {"", {data, entry("Movrant.ini")}, "", kRefused, "prog/H04.ZIP"},
      {".", {data, entry("Data/../ZBEngine.dll")}, "", kRefused, "prog/H05.ZIP"},
      {".", {data, entry("New.dll")}, "", kRefused, "prog/H06.ZIP"},
      {"", {data, entry("HTML/new/page.html")}, "", kRefused, "prog/H07.ZIP"},
      {".", {data, entry("MovrantPavo.exe.")}, "", kRefused, "prog/H08.ZIP"},
      {".", {data, Renamed("Notes.txt", "Sorvel.exe")}, "", kRefused, "prog/H09.ZIP"},
      // An archive named like a file of the program, and a destination in the pages' folder:
      // refused before anything is fetched.
      {".", {data}, "Sorvel.exe", "Error", ""},
      {"HTML", {data}, "", "Error", ""},
      // What may go there: a file, and a program in a folder of its own.
      {".", {control, entry("Setup/Setup.exe")}, "", "완료", "", "Control.bin"},
      // What the engine would write that a listing might not show: the directory of another
      // end record, folder entries.
      {".", {data, entry("ReviewProbe.dll")}, "", kRefused, "prog/H13.ZIP", "Data.bin", true},
      {".", {data, folder("HTML/ReviewProbe/"), folder("ReviewProbe2.dll/")}, "", kRefused, "prog/H14.ZIP"},
  };
  // With the download root above the program folder.
  std::vector<ProgramFileCase> above = {
      {"prog", {data, entry("Sorvel.exe")}, "", kRefused, "prog/H15.ZIP"},
      {".", {data, entry("prog\\ZBEngine.dll")}, "", kRefused, "H16.ZIP"},
  };
  // With the download root a link to the program folder, and the program folder's C: spelling
  // while the program runs from a drive rooted in it.
  std::vector<ProgramFileCase> throughLink = {{".", {data, entry("ReviewProbe.dll")}, "", kRefused, "prog/H17.ZIP"}};
  std::vector<ProgramFileCase> otherSpelling = {
      {".", {data, entry("ReviewProbe.dll")}, "", kRefused, "prog/H18.ZIP"}};

  std::string reply = "#!#200|로그인 되었습니다.|";
  int models = 0;
  for (auto* cases : {&inProgramFolder, &above, &throughLink, &otherSpelling}) {
    for (ProgramFileCase& c : *cases) {
      char id[16];
      snprintf(id, sizeof id, "H%02d", ++models);
      if (c.zipName.empty()) c.zipName = std::string(id) + ".ZIP";
      ztest::ZipWriter zip;
      for (const ztest::ZipEntrySpec& e : c.entries) zip.Add(e);
      std::string archive = zip.Build();
      if (c.decoy) {
        ztest::ZipWriter first;
        first.Add(c.entries[0]);
        archive = ztest::WithDecoyDirectory(archive, first.Build());
      }
      WriteUnix(site / "trelm.quorvex.example/pavoData/hostile" / c.zipName, archive);
      std::string info = std::string("PAVO_") + id + ".ini";
      WriteUnix(site / kModels / info,
                std::string("[ENVIRONMENT]\nMODEL_CAPTION=\"PAVO ") + id +
                    "\"\nROOT_URL=http://trelm.quorvex.example/pavoData\n"
                    "MODEL_INFOURL=http://www.quorvex.example/pavo/model/s7.html\nENABLE_AUTOSTART_INSTALLER=0\n"
                    "[FILE_1]\nAG_FILENAME=" + c.file + "\nAG_FILESIZE=" + std::to_string(listed.size()) +
                    "\nAG_FILECRC=1\nAG_ZIPNAME=" + c.zipName + "\nAG_ZIPSIZE=" + std::to_string(archive.size()) +
                    "\nAG_NUMSPAN=1\nDEST_PATH=" + c.dest +
                    "\nFULL_URL=http://trelm.quorvex.example/pavoData/hostile\n");
      reply += info + "|";
    }
  }
  std::string users = ReadUnix(site / "users.ini");
  WriteUnix(site / "users.ini", SetIniValue(users, "demo", "REPLY1", reply));
  StartService(site);

  // One start of the program runs the models of cases, which are listed from index first on.
  auto runModels = [&](const std::vector<ProgramFileCase>& cases, size_t first) {
    std::string script =
        "[MovrantPavo.exe]\ntimeout 30\nanswer 6\nfolders ok\nwait TfrmLogin\ntext TfrmLogin.edtID demo\n"
        "text TfrmLogin.edtPassword demo1234\ncheck TfrmLogin.cbxAutoLogin 0\nclick TfrmLogin.btnLogin\n"
        "wait TfrmMain\n";
    for (size_t i = 0; i < cases.size(); ++i)
      script += "select TfrmProgramUpdate.cbxModel " + std::to_string(first + i) +
                "\nclick TfrmProgramUpdate.btnDownStart\nwaitrow TfrmProgramUpdate.lvMain " + cases[i].result + "\n";
    WriteUnix(Script(), script + "close TfrmMain\n");
    pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
    EXPECT_EQ(RunsThrough(movrant), 0);
  };
  const std::set<std::string> skip = {"site", "USB", "temp", "cache", "run", "hkcu.reg", "hkcu.reg.lock",
                                      "automation.txt", "automation.txt.log", "notices.log"};
  fs::create_directory_symlink(Prog(), root_ / "link");
  const std::map<std::string, std::string> before = testfiles::Snapshot(root_, skip);
  runModels(inProgramFolder, 0);
  SetRegistry("DOWNLOAD", "ROOTPATH", Dos(root_));
  runModels(above, inProgramFolder.size());
  SetRegistry("DOWNLOAD", "ROOTPATH", Dos(root_ / "link"));
  runModels(throughLink, inProgramFolder.size() + above.size());
  std::string onC = "C:" + Prog().string();
  std::replace(onC.begin(), onC.end(), '/', '\\');
  SetDrives(";P=" + Prog().string() + ",fixed");
  SetRegistry("DOWNLOAD", "ROOTPATH", onC);
  runModels(otherSpelling, inProgramFolder.size() + above.size() + throughLink.size());

  std::vector<std::string> expected = {"prog/Control.bin", "prog/Setup", "prog/Setup/Setup.exe", "prog/__FILEINFO__.ini"};
  for (auto* cases : {&inProgramFolder, &above, &throughLink, &otherSpelling})
    for (const ProgramFileCase& c : *cases)
      if (!c.left.empty()) expected.push_back(c.left);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(testfiles::Changed(before, testfiles::Snapshot(root_, skip)), expected);
  EXPECT_EQ(ReadUnix(Prog("Control.bin")), listed);
  EXPECT_EQ(NoticeLines().size(), 1u);
  EXPECT_EQ(Requests("/pavoData/hostile/Sorvel.exe"), 0);
}

}  // namespace
}  // namespace e2e
