// What a hostile vendor server sends must stay in the folders the user chose: names of a model
// info file that lead out of the download root, a camera URL whose file name leads out of the
// chosen folder, a destination that is no valid text, archives that cannot fit on the drive,
// an archive that makes a folder where the installed file belongs, and archives unpacked into
// the program folder that would write over its files, however the folder is reached and
// however the archive's directory may be read. The real forms offscreen; the archives come
// from a server of this test that answers every name it is asked.
#include <mutex>

#include "FileListing.h"
#include "HttpTestServer.h"
#include "RunFixture.h"
#include "ZipBuilder.h"
#include "ZipWriter.h"

namespace runtest {
namespace {

const char* const kFilesHost = "files.quorvex.example";
const char* const kNoInstaller = "설치 프로그램이 해당 Folder에 없습니다.";
const char* const kNoCamera = "Camera 파일을 받지 못했습니다.";

// Removes what a folder holds; the folder stays (it may be the current directory).
void Empty(const fs::path& folder) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) fs::remove_all(e.path(), ec);
}

class HostilePathTest : public RunFixture {
 protected:
  void SetUp() override {
    files_ = std::make_unique<testsupport::HttpTestServer>([this](const testsupport::HttpRequest&) {
      std::lock_guard<std::mutex> lock(servedLock_);
      return testsupport::HttpReply::Text(served_);
    });
    extraHosts_ = "," + files_->ConnectTo(kFilesHost);
    RunFixture::SetUp();
    Serve(ReadUnix(Site("trelm.quorvex.example/pavoData/s7/program/PAVOS7_PRG.ZIP")));
    // One data file, the program, fetched from this test's server.
    s7_ = Model("PAVO S7");
    ASSERT_NE(s7_, nullptr);
    s7_->EraseSection("FILE_2");
    s7_->WriteString("ENVIRONMENT", "ROOT_URL", std::string("http://") + kFilesHost + "/root");
    s7_->WriteString("FILE_1", "FULL_URL", std::string("http://") + kFilesHost + "/full");
    for (const char* key : {"AG_ZIPNAME", "DEST_PATH", "AG_FILENAME", "FILEINFO_PATH", "FULL_URL"})
      sample_[key] = s7_->ReadString("FILE_1", key, "").str();
    sample_["PATH"] = s7_->ReadString("INSTALLER", "PATH", "").str();
  }
  void TearDown() override {
    RunFixture::TearDown();
    files_.reset();
  }

  void Serve(const std::string& body) {
    std::lock_guard<std::mutex> lock(servedLock_);
    served_ = body;
  }
  // The sample's program file with one key changed, chosen afresh with an empty download root.
  void Prepare(const std::string& key, const std::string& value) {
    for (auto& [k, v] : sample_) s7_->WriteString(k == "PATH" ? "INSTALLER" : "FILE_1", k.c_str(), v.c_str());
    s7_->WriteString(key == "PATH" ? "INSTALLER" : "FILE_1", key.c_str(), value.c_str());
    Empty(Data(""));
    shown_.clear();
    boxes_.clear();
    Choose("PAVO S7");
  }
  // Everything outside the download root, the temporary folder and the layer's own state.
  std::map<std::string, std::string> Outside() const {
    return testfiles::Snapshot(root_, {"data", "temp", "cache", "run", "hkcu.reg", "hkcu.reg.lock", "notices.log", "opened.log"});
  }
  std::vector<std::string> DataListing() const {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : testfiles::Snapshot(Data(""), {})) names.push_back(name);
    return names;
  }
  AnsiString Rooted(const std::string& rel) const { return Dos(rel).SubString(3, Dos(rel).Length() - 2); }

  std::unique_ptr<testsupport::HttpTestServer> files_;
  std::mutex servedLock_;
  std::string served_;
  TMemIniFile* s7_ = nullptr;
  std::map<std::string, std::string> sample_;  // FILE_1's keys and the installer's PATH as listed
};

TEST_F(HostilePathTest, NamesLeadingOutOfTheDownloadRootFailTheFileAndTouchNothingOutside) {
  // Files outside the root where the hostile names point, which must keep their bytes.
  WriteUnix(root_ / "keep.txt", "keep these bytes");
  WriteUnix(root_ / "escaped/PavoS7.bin", "installed elsewhere");
  WriteUnix(root_ / "escaped/PAVOS7_PRG.ZIP", "an archive elsewhere");
  const std::string keep = Dos("keep.txt").str(), escaped = Dos("escaped").str();
  const struct {
    const char* key;
    std::string value;
  } cases[] = {
      {"AG_ZIPNAME", "..\\..\\..\\keep.txt"},
      {"AG_ZIPNAME", "../../../keep.txt"},
      {"AG_ZIPNAME", "sub\\..\\..\\..\\..\\keep.txt"},
      {"AG_ZIPNAME", keep},
      {"AG_ZIPNAME", "\\\\host\\share\\keep.txt"},
      {"AG_ZIPNAME", Rooted("keep.txt").str()},
      {"AG_ZIPNAME", "...\\keep.txt"},
      {"DEST_PATH", "..\\escaped"},
      {"DEST_PATH", "../escaped"},
      {"DEST_PATH", "sub\\..\\..\\escaped"},
      {"DEST_PATH", escaped},
      {"DEST_PATH", "\\\\host\\share\\escaped"},
      {"DEST_PATH", Rooted("escaped").str()},
      // A lone lead byte at the end: no valid name, whichever way a function reads it.
      {"DEST_PATH", "PAVO_S7\\Program\\\xB0"},
      {"AG_FILENAME", "..\\..\\..\\keep.txt"},
      {"AG_FILENAME", keep},
  };
  const std::map<std::string, std::string> before = Outside();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.value);
    Prepare(c.key, c.value);
    int requests = files_->RequestCount();
    ClickStart();
    EXPECT_EQ(Result(0), "Error");
    EXPECT_EQ(testfiles::Changed(before, Outside()), std::vector<std::string>{});
    EXPECT_EQ(DataListing(), std::vector<std::string>{});
    EXPECT_EQ(files_->RequestCount(), requests);
    // A failed run: no completion notice, no installer, and the next start tries the file again.
    EXPECT_TRUE(Notices().empty());
    EXPECT_GT(frmMain->ResumeIndex, 0);
    EXPECT_TRUE(frmMain->Stopped);
    EXPECT_FALSE(frmMain->Busy);
  }
  EXPECT_EQ(ReadUnix(root_ / "keep.txt"), "keep these bytes");
}

// An archive named like the folder's record of installed files would be written over it (and
// deleted after a failed transfer or the unpacking): the file fails before anything is fetched
// and the record keeps every line.
TEST_F(HostilePathTest, AnArchiveNamedLikeTheFoldersRecordLeavesTheRecordWhole) {
  const std::string dest = StringReplace(sample_["DEST_PATH"].c_str(), "\\", "/", rfReplaceAll).str();
  for (const char* name : {"__FILEINFO__.ini", "__fileinfo__.INI", "__FILEINFO__.ini."}) {
    SCOPED_TRACE(name);
    Prepare("AG_ZIPNAME", name);
    const std::string record = "[FILE_9]\nAG_FILESIZE=5\nAG_FILECRC=7\n";
    fs::create_directories(Data(dest));
    WriteUnix(Data(dest) / "__FILEINFO__.ini", record);
    int requests = files_->RequestCount();
    ClickStart();
    EXPECT_EQ(Result(0), "Error");
    EXPECT_EQ(files_->RequestCount(), requests);
    EXPECT_EQ(ReadUnix(Data(dest) / "__FILEINFO__.ini"), record);
  }
}

TEST_F(HostilePathTest, TheArchivesFolderOnTheServerOnlyShapesItsAddress) {
  // FILEINFO_PATH never becomes a local name: whatever its spelling, the archive is asked for
  // at the address it composes and installed in the download root.
  s7_->WriteString("ENVIRONMENT", "ROOT_URL", std::string("http://") + kFilesHost + "/pavo");
  const struct {
    std::string path;
    std::string asked;  // the path the server sees; empty where the address takes away its dots
  } cases[] = {
      {"\\data\\", "/pavo//data//PAVOS7_PRG.ZIP"},
      {"\\\\data", "/pavo//data/PAVOS7_PRG.ZIP"},
      {"data\\\\map\\sub", "/pavo/data/map/sub/PAVOS7_PRG.ZIP"},
      {"\\\\host\\share", "/pavo//host/share/PAVOS7_PRG.ZIP"},
      {"C:\\x", "/pavo/C:/x/PAVOS7_PRG.ZIP"},
      {"..\\..\\x", ""},
      {"sub\\..\\..\\x", ""},
  };
  const std::map<std::string, std::string> before = Outside();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Prepare("FILEINFO_PATH", c.path);
    s7_->WriteString("FILE_1", "FULL_URL", "");
    int requests = files_->RequestCount();
    ClickStart();
    EXPECT_EQ(Result(0), "완료");
    ASSERT_EQ(files_->RequestCount(), requests + 1);
    if (!c.asked.empty()) {
      EXPECT_EQ(files_->Requests().back().path, c.asked);
    }
    EXPECT_EQ(ReadUnix(Data("PAVO_S7/Program/PavoS7.bin")).size(), 60000u);
    EXPECT_EQ(testfiles::Changed(before, Outside()), std::vector<std::string>{});
  }
}

TEST_F(HostilePathTest, AFileUnpackedToAnotherSizeThanListedIsAFileErrorAndNotRecorded) {
  const std::string listed(60000, 'p');  // the sample's AG_FILESIZE
  const struct {
    const char* name;
    const char* fileSize;
    std::vector<std::pair<std::string, std::string>> entries;
    bool installed;
  } cases[] = {
      {"the file, then its name in other letters", "60000", {{"PavoS7.bin", listed}, {"PAVOS7.BIN", "eleven byte"}}, false},
      {"a shorter file", "60000", {{"PavoS7.bin", "eleven byte"}}, false},
      {"a longer file", "60000", {{"PavoS7.bin", listed + "x"}}, false},
      {"the listed size", "60000", {{"PavoS7.bin", listed}}, true},
      // Never current anyway: nothing to compare with.
      {"no size listed", "0", {{"PavoS7.bin", "eleven byte"}}, true},
  };
  sample_["AG_FILESIZE"] = "60000";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ztest::ZipWriter zip;
    for (const auto& [name, data] : c.entries) zip.AddFile(name, data);
    zip.AddFile("PavoS7Setup.exe", "#!/bin/sh\necho ran >> \"$(dirname \"$0\")/installer-ran.txt\"\n");
    Serve(zip.Build());
    Prepare("AG_FILESIZE", c.fileSize);
    size_t notices = Notices().size();
    ClickStart();
    fs::path record = Data("PAVO_S7/Program/__FILEINFO__.ini");
    if (c.installed) {
      EXPECT_EQ(Result(0), "완료");
      EXPECT_NE(ReadUnix(record).find(std::string("AG_FILESIZE=") + c.fileSize), std::string::npos);
      EXPECT_EQ(Notices().size(), notices + 1);
      continue;
    }
    EXPECT_EQ(Result(0), "파일오류");
    EXPECT_FALSE(fs::exists(record));
    // No completion notice, no installer; the archive stays and the next start tries again.
    EXPECT_EQ(Notices().size(), notices);
    EXPECT_FALSE(fs::exists(Data("PAVO_S7/Program/installer-ran.txt")));
    EXPECT_TRUE(fs::exists(Data("PAVO_S7/Program/PAVOS7_PRG.ZIP")));
    EXPECT_GT(frmMain->ResumeIndex, 0);
  }
}

TEST_F(HostilePathTest, AnInstallerOutsideTheDownloadRootIsNotStarted) {
  WriteUnix(root_ / "outside/PavoS7Setup.exe", "#!/bin/sh\necho ran >> \"$(dirname \"$0\")/installer-ran.txt\"\n", true);
  const std::string setup = Dos("outside/PavoS7Setup.exe").str();
  const std::string cases[] = {
      "..\\outside\\PavoS7Setup.exe",
      "../outside/PavoS7Setup.exe",
      "PAVO_S7\\..\\..\\outside\\PavoS7Setup.exe",
      setup,
      "\\\\host\\share\\PavoS7Setup.exe",
      Rooted("outside/PavoS7Setup.exe").str(),
  };
  const std::map<std::string, std::string> before = Outside();
  size_t notices = 0;
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    Prepare("PATH", path);
    ClickStart();
    // The data arrived: the run completes, but the installer counts as missing.
    EXPECT_EQ(Result(0), "완료");
    EXPECT_EQ(Notices().size(), ++notices);
    EXPECT_EQ(BoxesWith(kNoInstaller), 1);
    EXPECT_EQ(testfiles::Changed(before, Outside()), std::vector<std::string>{});
  }
  // The one inside starts as before.
  Prepare("PATH", sample_["PATH"]);
  ClickStart();
  EXPECT_EQ(BoxesWith(kNoInstaller), 0);
  EXPECT_TRUE(PumpUntil([&] { return fs::exists(Data("PAVO_S7/Program/installer-ran.txt")); }));
}

TEST_F(HostilePathTest, AKoreanDestinationHoldsTheArchiveItsFilesAndTheRecordInOneFolder) {
  Prepare("DEST_PATH", "PAVO_S7\\프로그램");
  ClickStart();
  ASSERT_EQ(Result(0), "완료");
  fs::path folder = Data(vendor::Cp949ToUtf8("PAVO_S7/프로그램"));
  EXPECT_EQ(DataListing(), (std::vector<std::string>{"PAVO_S7", vendor::Cp949ToUtf8("PAVO_S7/프로그램"),
                                                     vendor::Cp949ToUtf8("PAVO_S7/프로그램/PavoS7.bin"),
                                                     vendor::Cp949ToUtf8("PAVO_S7/프로그램/PavoS7Setup.exe"),
                                                     vendor::Cp949ToUtf8("PAVO_S7/프로그램/__FILEINFO__.ini")}));
  // The record is found where the file is: the next start fetches nothing.
  int requests = files_->RequestCount();
  Choose("PAVO S7");
  ClickStart();
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(Rec(0)->State, 1);
  EXPECT_EQ(files_->RequestCount(), requests);
}

TEST_F(HostilePathTest, AnArchiveWhoseEntryForTheFileIsAFolderIsNotInstalled) {
  const struct {
    const char* name;
    std::function<void(ztest::ZipWriter&)> entries;
  } cases[] = {
      {"a folder of the file's name", [](ztest::ZipWriter& z) { z.AddDir("PavoS7.bin/"); }},
      {"a folder and a file below it", [](ztest::ZipWriter& z) { z.AddFile("PavoS7.bin/inner.dat", "inner"); }},
      {"no such entry", [](ztest::ZipWriter& z) { z.AddFile("Other.bin", "other"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ztest::ZipWriter zip;
    c.entries(zip);
    zip.AddFile("PavoS7Setup.exe", "#!/bin/sh\n");
    Serve(zip.Build());
    Prepare("DEST_PATH", sample_["DEST_PATH"]);
    ClickStart();
    EXPECT_EQ(Result(0), "파일오류");
    EXPECT_FALSE(fs::exists(Data("PAVO_S7/Program/__FILEINFO__.ini")));
    EXPECT_TRUE(Notices().empty());
    EXPECT_GT(frmMain->ResumeIndex, 0);
  }
}

TEST_F(HostilePathTest, AFileSectionThatNamesNoFileIsInstalledAsListed) {
  // Nothing to check as a file: the archive's files go in and the file is done, as before.
  ztest::ZipWriter zip;
  zip.AddFile("Other.bin", "other");
  zip.AddFile("PavoS7Setup.exe", "#!/bin/sh\n");
  Serve(zip.Build());
  Prepare("AG_FILENAME", "");
  ClickStart();
  EXPECT_EQ(Result(0), "완료");
  EXPECT_EQ(ReadUnix(Data("PAVO_S7/Program/Other.bin")), "other");
}

// The program folder as the folder an archive is unpacked into, by the spelling the program
// knows it by (P:, a drive rooted in it), through a link, and by its C: spelling: nothing that
// the engine would write over the program's own files passes the check before the unpacking.
class ProgramFolderTest : public HostilePathTest {
 protected:
  void SetUp() override {
    program_ = fs::canonical("/proc/self/exe").parent_path();
    // The tests of this program run at once, in one program folder: each names its files apart.
    char tag[32];
    snprintf(tag, sizeof tag, "Probe%08zx",
             std::hash<std::string>()(::testing::UnitTest::GetInstance()->current_test_info()->name()) & 0xFFFFFFFF);
    tag_ = tag;
    drives_ = ";P=" + program_.string() + ",fixed";
    hadRecord_ = fs::exists(program_ / "__FILEINFO__.ini");
    HostilePathTest::SetUp();
    fs::create_directory_symlink(program_, root_ / "link");
    // The zip component's boxes, answered.
    auto answer = [this](TObject*, const AnsiString&, AnsiString& message, int& context, TMsgDlgButtons) {
      zipBoxes_.push_back(message.str());
      context = mrOk;
    };
    dm_->ZipBuilder->OnZipDialog = answer;
    form_->ZipBuilder1->OnZipDialog = answer;
  }
  void TearDown() override {
    Clean();
    HostilePathTest::TearDown();
  }
  std::string Name(const char* suffix) const { return tag_ + suffix; }
  // What would land on the program's own files, and the data file and archive of this test.
  std::vector<std::string> Hostile() const { return {Name(".dll"), Name("2.dll"), "HTML/" + tag_}; }
  std::string DataName() const { return Name(".bin"); }
  // Removes what an archive of this test may have left in the program folder.
  void Clean() {
    std::error_code ec;
    for (const std::string& name : Hostile()) fs::remove_all(program_ / name, ec);
    fs::remove(program_ / DataName(), ec);
    for (const char* archive : {".ZIP", ".zip", ".dat"}) fs::remove(program_ / Name(archive), ec);
    if (!hadRecord_) fs::remove(program_ / "__FILEINFO__.ini", ec);
  }
  void ExpectNothingOfTheProgramsWritten() {
    for (const std::string& name : Hostile()) EXPECT_FALSE(fs::exists(program_ / name)) << name;
  }
  AnsiString ProgramOnC() const {
    std::string dos = "C:" + program_.string();
    for (char& c : dos)
      if (c == '/') c = '\\';
    return dos.c_str();
  }

  // The archives: the data file first, as the decoy directory needs it.
  std::string Archive(const std::vector<std::string>& names, const std::vector<std::string>& folders = {}) const {
    ztest::ZipWriter zip;
    zip.AddFile(DataName(), kData);
    for (const std::string& name : names) zip.AddFile(name, "hostile bytes");
    for (const std::string& folder : folders) zip.AddDir(folder);
    return zip.Build();
  }
  std::string Decoy() const { return ztest::WithDecoyDirectory(Archive({Name(".dll")}), Archive({})); }
  // A file that the component takes for an executable carrying only the directory of the ".zip"
  // beside it ("MZ", a central header where the stored offset points, no local header where
  // that one points), while the engine finds the archive behind the stub.
  std::string CarriedByAStub() const {
    std::string archive = Archive({Name(".dll")});
    const size_t end = archive.size() - 22;
    size_t stored = 0;
    for (int k = 3; k >= 0; --k) stored = stored << 8 | uint8_t(archive[end + 16 + size_t(k)]);
    std::string stub = "MZ" + std::string(stored - 2, '\0') + "PK\x01\x02" + std::string(42 + 64, '\0');
    return stub + archive;
  }
  struct Case {
    const char* what;
    std::string archive;
    AnsiString folder;
    std::string beside = "";  // the ".zip" beside the archive, which then has another extension
  };
  std::vector<Case> HostileCases() const {
    return {
        {"a second directory in the comment", Decoy(), "P:\\"},
        {"folder entries", Archive({}, {"HTML/" + tag_ + "/", Name("2.dll/")}), "P:\\"},
        {"a library, through a link", Archive({Name(".dll")}), Dos("link")},
        {"a library, by the folder's other spelling", Archive({Name(".dll")}), ProgramOnC()},
        {"a library, listed from the archive beside", CarriedByAStub(), "P:\\", Archive({})},
        {"a second directory named by a Zip64 end record",
         ztest::WithZip64Directory(Archive({Name(".dll")}), Archive({})), "P:\\"},
    };
  }

  static constexpr const char* kData = "the listed data file";
  static constexpr const char* kNotAZip = "This archive is not a valid Zip archive";
  std::string tag_;
  std::vector<std::string> zipBoxes_;
  fs::path program_;
  bool hadRecord_ = false;
};

TEST_F(ProgramFolderTest, AnArchiveThatWouldWriteOverTheProgramStaysPacked) {
  auto unzip = [&](const Case& c) {
    if (!c.beside.empty()) WriteUnix(root_ / "camera.zip", c.beside);
    const std::string name = c.beside.empty() ? "camera.zip" : "camera.bin";
    WriteUnix(root_ / name, c.archive);
    dm_->UnzipTo(Dos(name), c.folder, true);
    EXPECT_EQ(GetCurrentDir(), dm_->RootPath);
    return name;
  };
  for (const Case& c : HostileCases()) {
    SCOPED_TRACE(c.what);
    zipBoxes_.clear();
    const std::string name = unzip(c);
    // An archive with two directories is no valid one (the first listing is not yet unattended).
    if (c.archive == Decoy()) {
      EXPECT_EQ(zipBoxes_, std::vector<std::string>{kNotAZip});
    }
    ExpectNothingOfTheProgramsWritten();
    EXPECT_FALSE(fs::exists(program_ / DataName()));
    EXPECT_TRUE(fs::exists(root_ / name));
    Clean();
  }
  // What may go there arrives, through the link too.
  unzip({"only data, through a link", Archive({}), Dos("link")});
  EXPECT_EQ(ReadUnix(program_ / DataName()), kData);
  EXPECT_FALSE(fs::exists(root_ / "camera.zip"));
}

TEST_F(ProgramFolderTest, ARunIntoTheProgramFolderFailsTheFileBeforeAnythingOfItsArchiveIsWritten) {
  sample_["DEST_PATH"] = ".";
  sample_["AG_FILENAME"] = DataName();
  sample_["AG_FILESIZE"] = std::to_string(strlen(kData));
  for (const Case& c : HostileCases()) {
    SCOPED_TRACE(c.what);
    dm_->SetRootPath(c.folder);
    ASSERT_EQ(dm_->RootPath, c.folder);
    Serve(c.archive);
    const std::string zipName = Name(c.beside.empty() ? ".ZIP" : ".dat");
    if (!c.beside.empty()) WriteUnix(program_ / Name(".zip"), c.beside);
    Prepare("AG_ZIPNAME", zipName);
    zipBoxes_.clear();
    ClickStart();
    EXPECT_EQ(Result(0), "파일오류");
    if (c.archive == Decoy()) {
      EXPECT_EQ(zipBoxes_, std::vector<std::string>{kNotAZip});
    }
    ExpectNothingOfTheProgramsWritten();
    EXPECT_FALSE(fs::exists(program_ / DataName()));
    // The archive arrived and stays for the next start.
    EXPECT_EQ(ReadUnix(program_ / zipName), c.archive);
    EXPECT_TRUE(Notices().empty());
    Clean();
  }
}

// A file of an archive's name that no transfer wrote (a file another section installed, the
// user's own) keeps its bytes while a transfer of that name runs, after the transfer fails and
// the run is paused, and after the resumed run fails again; nothing of the transfer is left.
TEST_F(HostilePathTest, AFailedTransferLeavesAFileOfTheArchivesNameAsItWas) {
  const std::string program = ReadUnix(Site("trelm.quorvex.example/pavoData/s7/program/PAVOS7_PRG.ZIP"));
  ASSERT_EQ(program.size(), 60371u);
  const std::string bad = std::string("http://") + kFilesHost + "/bad";
  const struct {
    const char* label;
    int row;                                                   // the file whose transfer fails
    std::vector<std::pair<std::string, std::string>> keys;   // section|key -> value
    std::string file;                                          // below the download root
    std::string bytes;                                         // "" when the run installs it
    std::function<testsupport::HttpReply()> reply;
  } cases[] = {
      {"another section's installed file, the archive not found",
       1,
       {{"FILE_2|AG_NUMSPAN", "1"}, {"FILE_2|AG_ZIPNAME", "PavoS7.bin"}, {"FILE_2|DEST_PATH", sample_["DEST_PATH"]},
        {"FILE_2|AG_FILENAME", "Other.bin"}, {"FILE_2|AG_ZIPSIZE", "100"}, {"FILE_2|FULL_URL", bad}},
       "PAVO_S7/Program/PavoS7.bin",
       "",
       [] { return testsupport::HttpReply::Status(404, "Not Found"); }},
      {"the user's own archive, the body cut short",
       0,
       {{"FILE_1|FULL_URL", bad}},
       "PAVO_S7/Program/PAVOS7_PRG.ZIP",
       "the user's own copy of the archive",
       [&] {
         auto r = testsupport::HttpReply::Text(program);
         r.cutAfter = 10000;
         return r;
       }},
      {"the user's notes in the download root, a reset mid-body",
       0,
       {{"FILE_1|DEST_PATH", "."}, {"FILE_1|AG_ZIPNAME", "MyNotes.txt"}, {"FILE_1|FULL_URL", bad}},
       "MyNotes.txt",
       "the user's notes",
       [&] {
         auto r = testsupport::HttpReply::Text(program);
         r.cutAfter = 30000;
         r.reset = true;
         return r;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    s7_->EraseSection("FILE_2");
    Prepare("FULL_URL", sample_["FULL_URL"]);
    for (const auto& [at, value] : c.keys) {
      std::string section = at.substr(0, at.find('|')), key = at.substr(at.find('|') + 1);
      s7_->WriteString(section.c_str(), key.c_str(), value.c_str());
    }
    Choose("PAVO S7");
    if (!c.bytes.empty()) WriteUnix(Data(c.file), c.bytes);
    std::mutex seenLock;
    std::vector<std::string> seen;  // the file's bytes each time the failing archive is asked for
    files_->SetHandler([&](const testsupport::HttpRequest& r) {
      if (r.path.rfind("/bad/", 0) != 0) return testsupport::HttpReply::Text(program);
      std::lock_guard<std::mutex> lock(seenLock);
      seen.push_back(ReadUnix(Data(c.file)));
      return c.reply();
    });
    auto expectKept = [&] {
      std::string now = ReadUnix(Data(c.file));
      if (c.bytes.empty()) {
        EXPECT_EQ(now.size(), 60000u);
        EXPECT_EQ(form_->CheckFileState(s7_, "FILE_1"), 1);
      } else {
        EXPECT_EQ(now, c.bytes);
      }
      std::lock_guard<std::mutex> lock(seenLock);
      ASSERT_FALSE(seen.empty());
      for (const std::string& bytes : seen) EXPECT_EQ(bytes, now);
      for (const std::string& name : testfiles::Listing(Data("")))
        EXPECT_EQ(name.find(".TMP"), std::string::npos) << name;
    };
    // Paused while it retries, then resumed (which deletes what the stopped run left of the
    // file), and paused again.
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round);
      When pause([&] { return Result(c.row) == "재시도"; },
                 [&] { TfrmProgramUpdate::HandleCommand(form_, "__PauseUpdate", false); });
      ClickStart();
      EXPECT_TRUE(pause.Done());
      EXPECT_EQ(Result(c.row), "중지");
      expectKept();
    }
    EXPECT_TRUE(Notices().empty());
  }
}

// The download root on a drive that reports 4 MB free.
class SmallDriveTest : public HostilePathTest {
 protected:
  void SetUp() override {
    HostilePathTest::SetUp();
    fs::create_directories(root_ / "small");
    Set("WINPLAT_DRIVES", "C=/,fixed;D=" + (root_ / "small").string() + ",fixed,SMALL," + std::to_string(kFree));
    winplat::ReloadDrives();
    dm_->SetRootPath("D:\\");
    ASSERT_EQ(dm_->RootPath, "D:\\");
    // The model claims a small file, so the space check before the run lets it start.
    s7_->WriteInteger("FILE_1", "AG_FILESIZE", 1000);
  }
  static constexpr long long kFree = 4 * 1024 * 1024;
};

TEST_F(SmallDriveTest, AnArchiveThatCannotFitOnTheDriveIsAFileErrorWithNothingWritten) {
  const struct {
    const char* name;
    int entries;
    size_t size;
    bool fits;
  } cases[] = {
      {"one entry of 8 MB", 1, 8u << 20, false},
      {"ten entries of 1 MB", 10, 1u << 20, false},
      {"ten entries of 300 KB", 10, 300u << 10, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ztest::ZipWriter zip;
    zip.AddFile("PavoS7.bin", std::string(c.size, '\0'));
    for (int i = 1; i < c.entries; ++i) zip.AddFile("part" + std::to_string(i) + ".dat", std::string(c.size, '\0'));
    std::string archive = zip.Build();
    ASSERT_LT(archive.size(), 200000u);
    Serve(archive);
    // The one that fits is installed only with its file's true size listed.
    s7_->WriteInteger("FILE_1", "AG_FILESIZE", c.fits ? int(c.size) : 1000);
    Prepare("DEST_PATH", sample_["DEST_PATH"]);
    Empty(root_ / "small");
    ClickStart();
    if (c.fits) {
      EXPECT_EQ(Result(0), "완료");
      continue;
    }
    EXPECT_EQ(Result(0), "파일오류");
    // The archive stays for the next start; nothing of it was unpacked or recorded.
    EXPECT_EQ(testfiles::Listing(root_ / "small"), (std::vector<std::string>{"PAVO_S7/Program/PAVOS7_PRG.ZIP"}));
    EXPECT_TRUE(Notices().empty());
  }
}

TEST_F(SmallDriveTest, ACameraArchiveThatCannotFitIsLeftPackedInTheChosenFolder) {
  ztest::ZipWriter zip;
  zip.AddFile("SafeCam.dat", std::string(8u << 20, '\0'));
  Serve(zip.Build());
  fs::create_directories(root_ / "small/cam");
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select("D:\\cam");
    d.Ok();
  });
  dm_->CameraUrl = (std::string("http://") + kFilesHost + "/camera/SafeCam.ZIP").c_str();
  uitest::Click(frmMain->btnCameraUpdate);
  // The unpacking failed: the archive stays, as after any failed entry.
  EXPECT_EQ(testfiles::Listing(root_ / "small/cam"), (std::vector<std::string>{"SafeCam.ZIP"}));
}

// ------------------------------------------------------------------ camera data

TEST_F(HostilePathTest, ACameraFileNameLeadingOutOfTheChosenFolderIsNotFetched) {
  Serve(ReadUnix(Site("trelm.quorvex.example/pavoData/camera/SafeCam.ZIP")));
  fs::create_directories(Data("cam"));
  WriteUnix(root_ / "keep.ZIP", "keep these bytes");
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select(Dos("data/cam"));
    d.Ok();
  });
  const std::string base = std::string("http://") + kFilesHost + "/camera/";
  const std::string cases[] = {
      base + "..\\..\\keep.ZIP",
      base + "x\\..\\..\\..\\keep.ZIP",
      base + "..",
      base + "C:keep.ZIP",
      base + "\\\\host\\share\\keep.ZIP",
  };
  const std::map<std::string, std::string> before = Outside();
  for (const std::string& url : cases) {
    SCOPED_TRACE(url);
    boxes_.clear();
    dm_->CameraUrl = url.c_str();
    int requests = files_->RequestCount();
    uitest::Click(frmMain->btnCameraUpdate);
    EXPECT_EQ(BoxesWith(kNoCamera), 1);
    EXPECT_EQ(files_->RequestCount(), requests);
    EXPECT_EQ(testfiles::Changed(before, Outside()), std::vector<std::string>{});
    EXPECT_EQ(testfiles::Listing(Data("cam")), std::vector<std::string>{});
    EXPECT_TRUE(Notices().empty());
    EXPECT_TRUE(Opened().empty());
  }
  // A plain name still arrives in the chosen folder.
  dm_->CameraUrl = (base + "SafeCam.ZIP").c_str();
  uitest::Click(frmMain->btnCameraUpdate);
  EXPECT_EQ(testfiles::Listing(Data("cam")), (std::vector<std::string>{"SafeCam.dat"}));
}

}  // namespace
}  // namespace runtest
