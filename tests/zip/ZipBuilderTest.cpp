// The zip component with the real engine library: the updater's sequence for single archives
// and numbered parts, results from inside handlers, Cancel and Clear, unattended runs, the
// parameter block, property values after construction and the self-extractor settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "Forms.h"
#include "ZipBuilder.h"
#include "ZipTestFiles.h"

using namespace ziptest;
using ztest::ZipEntrySpec;
using ztest::ZipWriter;

namespace {

// The engine library keeps the drive table it saw when it was first loaded, so the whole
// program uses one table; every test starts with an empty T: drive.
ZipTestDrives& TheDrives() {
  static ZipTestDrives drives;
  return drives;
}

class BuilderTest : public ::testing::Test {
 protected:
  ZipTestDrives& drives = TheDrives();
  bool cleared = [this] {
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(drives.Fixed())) std::filesystem::remove_all(e.path(), ec);
    return true;
  }();
  TComponent owner{nullptr};
  TZipBuilder* zb = new TZipBuilder(&owner);  // owned by owner
  std::vector<Message> messages;
  std::vector<std::string> dialogs;  // boxes the component wanted to show

  void SetUp() override {
    zb->DLLDirectory = EngineDir();
    zb->OnMessage = [this](TObject* sender, int code, const AnsiString& text) {
      EXPECT_EQ(sender, zb);
      messages.push_back({code, text.str()});
    };
    zb->OnZipDialog = [this](TObject*, const AnsiString&, AnsiString& msg, int& context, TMsgDlgButtons) {
      dialogs.push_back(msg.str());
      context = mrOk;
    };
    std::filesystem::create_directories(drives.Fixed("tmp"));
    std::filesystem::create_directories(drives.Fixed("out"));
    zb->TempDir = "T:\\tmp";
  }
  // What the updater sets before Extract. Unattended first: naming the archive reads it, and a
  // bad archive must not stop in a box.
  void Prepare(const char* zipFileName, const char* target = "T:\\out") {
    zb->Unattended = true;
    zb->FSpecArgs->Clear();
    zb->ZipFileName = zipFileName;
    zb->ExtrBaseDir = target;
    zb->ExtrOptions = ExtrOpts() << ExtrDirNames << ExtrOverWrite;
  }
  // Names in the sources are code page 949; the Unix names are UTF-8.
  std::string Out(const std::string& rel) { return ReadBytes(drives.Fixed(winplat::Cp949ToUtf8("out/" + rel))); }
  size_t Count(const std::string& rel) {
    size_t n = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(drives.Fixed(rel))) n += e.is_regular_file();
    return n;
  }
  static std::string Archive() {
    ZipWriter z;
    z.AddFile("a.txt", "alpha");
    z.AddFile("dir/b.txt", std::string(50000, 'b'));
    z.AddFile("지도/c.bin", Noise(300000, 9));
    return z.Build();
  }
  // Three numbered parts as the updater downloads them.
  void WriteMapParts() {
    ZipWriter z;
    z.SetSplit(65536);
    z.AddFile("map/one.bin", Noise(100000, 11), 0);
    z.AddFile("map/two.txt", std::string(40000, 't'));
    ZipEntrySpec d;
    d.name = "map/three.bin";
    d.data = Noise(50000, 12);
    d.method = 0;
    d.dataDescriptor = true;
    z.Add(d);
    const std::vector<std::string> parts = z.BuildParts();
    ASSERT_EQ(parts.size(), 3u);
    for (int i = 0; i < 3; ++i) WriteBytes(drives.Fixed("MAP00" + std::to_string(i + 1) + ".ZIP"), parts[size_t(i)]);
  }
};

TEST_F(BuilderTest, UpdaterSequenceOnASingleArchive) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  zb->FSpecArgs->Add("a.txt");
  Prepare("T:\\a.zip");
  // Setting the name lists the archive at once.
  EXPECT_EQ(zb->Worker->ZipContents.size(), 3u);
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(Out("a.txt"), "alpha");
  EXPECT_TRUE(Out("dir/b.txt") == std::string(50000, 'b'));
  EXPECT_TRUE(Out("지도/c.bin") == Noise(300000, 9));
  EXPECT_EQ(zb->Worker->SuccessCount, 3);
  EXPECT_EQ(zb->FSpecArgs->Count(), 0);
  EXPECT_TRUE(dialogs.empty());
  EXPECT_EQ(GetCurrentDir().str(), "T:\\out");
  EXPECT_FALSE(zb->Running);
  EXPECT_FALSE(zb->Dll_Load);
  // Unattended without a password: the warning goes out as a notice.
  EXPECT_TRUE(HasCode(messages, 0));
  EXPECT_EQ(messages.front().text, "Warning - Unattended Extract: possible not all files extracted");
}

TEST_F(BuilderTest, UpdaterSequenceOnNumberedParts) {
  WriteMapParts();
  Prepare("T:\\MAP003.ZIP");
  EXPECT_EQ(zb->Worker->ZipContents.size(), 3u);
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_TRUE(Out("map/one.bin") == Noise(100000, 11));
  EXPECT_TRUE(Out("map/two.txt") == std::string(40000, 't'));
  EXPECT_TRUE(Out("map/three.bin") == Noise(50000, 12));
  // The joined copy is gone; the parts stay.
  EXPECT_EQ(Count("tmp"), 0u);
  EXPECT_TRUE(std::filesystem::exists(drives.Fixed("MAP001.ZIP")));
}

// A set made by Info-ZIP and renamed the way the updater names downloaded parts.
TEST_F(BuilderTest, InfoZipSetRenamedToNumberedParts) {
  const std::string src = drives.Fixed("src");
  WriteBytes(src + "/map/big.bin", Noise(180000, 21));
  WriteBytes(src + "/map/road.txt", std::string(70000, 'r'));
  WriteBytes(src + "/readme.txt", "read me");
  const std::string cmd = "cd '" + src + "' && zip -q -s 64k -r '" + drives.Fixed("iz.zip") + "' map readme.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::vector<std::string> parts;
  for (const char* ext : {"z01", "z02", "z03", "zip"})
    if (std::filesystem::exists(drives.Fixed(std::string("iz.") + ext))) parts.push_back(std::string("iz.") + ext);
  ASSERT_GE(parts.size(), 3u);
  for (size_t i = 0; i < parts.size(); ++i)
    std::filesystem::rename(drives.Fixed(parts[i]), drives.Fixed("MAP00" + std::to_string(i + 1) + ".ZIP"));
  std::filesystem::remove_all(src);

  Prepare(("T:\\MAP00" + std::to_string(parts.size()) + ".ZIP").c_str());
  EXPECT_EQ(zb->Worker->ZipContents.size(), 3u) << Dump(messages);
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_TRUE(Out("map/big.bin") == Noise(180000, 21));
  EXPECT_TRUE(Out("map/road.txt") == std::string(70000, 'r'));
  EXPECT_EQ(Out("readme.txt"), "read me");
  EXPECT_EQ(Count("tmp"), 0u);
}

// The camera data: one archive downloaded to a removable drive and unpacked there, with no
// disk prompt although the drive is removable.
TEST_F(BuilderTest, SingleArchiveOnARemovableDrive) {
  const std::string usb = winplat::DosToUnix("E:\\");
  std::error_code ec;
  std::filesystem::remove_all(usb + "/Camera", ec);
  WriteBytes(usb + "/Camera/cam.zip", Archive());
  Prepare("E:\\Camera\\cam.zip", "E:\\Camera");
  EXPECT_EQ(zb->Worker->ZipContents.size(), 3u) << Dump(messages);
  EXPECT_FALSE(zb->Worker->HardDrive);
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(ReadBytes(usb + "/Camera/a.txt"), "alpha");
  EXPECT_TRUE(ReadBytes(usb + "/Camera/dir/b.txt") == std::string(50000, 'b'));
  EXPECT_TRUE(dialogs.empty());
  EXPECT_FALSE(HasCode(messages, 11025)) << Dump(messages);
  std::filesystem::remove_all(usb + "/Camera", ec);
}

TEST_F(BuilderTest, JoinedCopyGoesAlsoWhenTheEngineFails) {
  WriteMapParts();
  Prepare("T:\\MAP003.ZIP");
  zb->OnTotalProgress = [this](TObject*, long long, int percent) {
    if (percent > 0 && percent <= 100) zb->Cancel = true;
  };
  EXPECT_EQ(zb->Extract(), 10120) << Dump(messages);
  EXPECT_EQ(Count("tmp"), 0u);

  // No engine at all.
  zb->OnTotalProgress = nullptr;
  zb->DLLDirectory = "T:\\noengine";
  Prepare("T:\\MAP003.ZIP");
  const int r = zb->Extract();
  EXPECT_TRUE(r == 10650 || r == 10651) << r;
  EXPECT_EQ(Count("tmp"), 0u);
}

// A handler that raises ends its run with a failure and leaves the component as it was: the
// next archive extracts, nothing of the join stays behind and no file stays open.
TEST_F(BuilderTest, HandlersThatRaiseLeaveTheComponentWorking) {
  ZipWriter onlyFolder;
  onlyFolder.AddDir("docs/");
  struct Case {
    const char* what;
    std::function<void()> prepare;
    int raiseOn;          // the OnMessage code that raises; 0: OnTotalProgress raises instead
  };
  const Case cases[] = {
      {"end of the directory read",
       [&] {
         WriteBytes(drives.Fixed("folder.zip"), onlyFolder.Build());
         int calls = 0;
         zb->OnTotalProgress = [calls](TObject*, long long, int) mutable {
           if (++calls == 2) throw Exception("progress gone");
         };
         Prepare("T:\\folder.zip");
       },
       0},
      {"missing part while joining",
       [&] {
         WriteMapParts();
         std::filesystem::remove(drives.Fixed("MAP002.ZIP"));
         Prepare("T:\\MAP003.ZIP");
       },
       11001},
      {"missing target folder", [&] { Prepare("T:\\a.zip", "T:\\missing"); }, 10504},
  };
  WriteBytes(drives.Fixed("a.zip"), Archive());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zb->OnTotalProgress = nullptr;
    zb->OnMessage = [&](TObject*, int code, const AnsiString& text) {
      messages.push_back({code, text.str()});
      if (code == c.raiseOn) throw Exception("message box gone");
    };
    c.prepare();
    int r = 0;
    try {
      r = zb->Extract();
    } catch (const Exception&) {
      r = -1;
    }
    EXPECT_NE(r, 0) << Dump(messages);
    EXPECT_FALSE(zb->Worker->InEngineRun);
    EXPECT_FALSE(zb->Running);
    EXPECT_EQ(zb->Worker->FileHandle, -1);
    EXPECT_LE(zb->Worker->OutputHandle, 0);  // closed, or never opened
    EXPECT_EQ(Count("tmp"), 0u);

    zb->OnTotalProgress = nullptr;
    zb->OnMessage = nullptr;
    std::filesystem::remove_all(drives.Fixed("out"));
    std::filesystem::create_directories(drives.Fixed("out"));
    Prepare("T:\\a.zip");
    EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
    EXPECT_EQ(Count("out"), 3u);
  }
}

// A split set whose drive cannot be read any more when the extraction starts.
TEST_F(BuilderTest, SplitSetOnADriveThatBecameUnreadable) {
  const std::string ram = winplat::DosToUnix("R:\\");
  WriteMapParts();
  for (const char* part : {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"})
    std::filesystem::rename(drives.Fixed(part), ram + "/" + part);
  Prepare("R:\\MAP003.ZIP");
  ASSERT_EQ(zb->Worker->ZipContents.size(), 3u) << Dump(messages);
  std::filesystem::rename(ram, ram + ".gone");
  const int r = zb->Extract();
  std::filesystem::rename(ram + ".gone", ram);
  for (const char* part : {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"}) std::filesystem::remove(ram + "/" + part);
  EXPECT_EQ(r, 11002) << Dump(messages);
  EXPECT_TRUE(HasCode(messages, 11002)) << Dump(messages);
  EXPECT_EQ(Count("out"), 0u);
  EXPECT_EQ(Count("tmp"), 0u);
}

// The updater listens to no messages: a join that fails with a notice nobody receives still
// fails the extraction.
TEST_F(BuilderTest, JoinFailureWithoutAMessageHandler) {
  WriteMapParts();
  zb->OnMessage = nullptr;
  Prepare("T:\\MAP003.ZIP");
  zb->OnProgressDetails = [](TObject*, TProgressDetails*) { throw Exception("display gone"); };
  EXPECT_EQ(zb->Extract(), 11024);
  EXPECT_EQ(Count("out"), 0u);
  EXPECT_EQ(Count("tmp"), 0u);
}

// A bad archive named before anything else shows no box: Unattended goes first.
TEST_F(BuilderTest, ABadArchiveNamedFirstShowsNoBox) {
  WriteBytes(drives.Fixed("bad.zip"), std::string(3000, 'x'));
  Prepare("T:\\bad.zip");
  EXPECT_TRUE(HasCode(messages, 11036)) << Dump(messages);
  EXPECT_TRUE(dialogs.empty());
}

// A folder entry that names the extract folder itself ("./", "a/../") has nothing to make and
// is no error; one that leads out of it is still refused.
TEST_F(BuilderTest, FolderEntriesNamingTheExtractFolderItself) {
  struct Case {
    const char* folder;
    int result;
  };
  const Case cases[] = {{"./", 0}, {"a/../", 0}, {"./a/.././", 0}, {"../", 5}, {"a/../../", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    ZipWriter z;
    z.AddFile("a.txt", "alpha");
    z.AddDir(c.folder);
    z.AddFile("dir/b.txt", "beta");
    WriteBytes(drives.Fixed("dot.zip"), z.Build());
    std::filesystem::remove_all(drives.Fixed("out"));
    std::filesystem::create_directories(drives.Fixed("out"));
    messages.clear();
    Prepare("T:\\dot.zip");
    EXPECT_EQ(zb->Extract(), c.result) << Dump(messages);
    EXPECT_EQ(Out("a.txt"), "alpha");
    EXPECT_EQ(Out("dir/b.txt"), "beta");
    EXPECT_EQ(Count("out"), 2u);
    EXPECT_EQ(HasCode(messages, 10125), c.result != 0) << Dump(messages);
  }
}

// Two names that differ only in letters the code page lacks both become "caf?.txt", which
// Windows refuses: neither lands, nothing is merged, and the extract fails.
TEST_F(BuilderTest, NamesWindowsRefusesFailTheExtract) {
  ZipWriter z;
  for (const char8_t* name : {u8"café.txt", u8"cafè.txt"}) {
    ZipEntrySpec e;
    e.name = reinterpret_cast<const char*>(name);
    e.data = e.name;
    e.utf8 = true;
    e.versionMadeBy = (3 << 8) | 20;  // as Python's zipfile writes on Unix
    z.Add(e);
  }
  WriteBytes(drives.Fixed("accents.zip"), z.Build());
  Prepare("T:\\accents.zip");
  EXPECT_NE(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(zb->Worker->SuccessCount, 0);
  EXPECT_EQ(Count("out"), 0u);
}

TEST_F(BuilderTest, ExtractWithoutAName) {
  zb->Unattended = true;
  EXPECT_EQ(zb->Extract(), 10102);
  EXPECT_EQ(zb->ErrCode, 10102);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().text, "Error - no zip file specified!");
  EXPECT_TRUE(dialogs.empty());

  // Attended, the same error is shown as a box.
  zb->Unattended = false;
  EXPECT_EQ(zb->Extract(), 10102);
  EXPECT_EQ(dialogs, std::vector<std::string>{"Error - no zip file specified!"});
}

TEST_F(BuilderTest, ArchivesWithoutEntriesAreNotExtracted) {
  ZipWriter empty;
  ZipWriter onlyFolders;
  onlyFolders.AddDir("docs/");
  struct Case {
    const char* what;
    std::string bytes;
    int id;
    std::string text;
  };
  const Case cases[] = {
      {"empty archive", empty.Build(), 11002, "Zip file could not be opened"},
      {"folders only", onlyFolders.Build(), 11002, "Zip file could not be opened"},
      {"not an archive", std::string(3000, 'x'), 11036, "This archive is not a valid Zip archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(drives.Fixed("none.zip"), c.bytes);
    Prepare("T:\\none.zip");
    messages.clear();
    EXPECT_EQ(zb->Extract(), c.id);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().code, c.id);
    EXPECT_EQ(messages.back().text, c.text);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(Count("out"), 0u);
    EXPECT_FALSE(zb->Worker->InEngineRun);
  }
}

// Without a target folder, or only testing, the folder is neither checked nor made and the
// current folder stays where it was.
TEST_F(BuilderTest, TestRunsAndRunsWithoutATargetFolder) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  std::filesystem::create_directories(drives.Fixed("cwd"));
  struct Case {
    const char* what;
    const char* base;
    ExtrOpts options;
    size_t inCwd;
  };
  const Case cases[] = {
      {"test only", "T:\\made", ExtrOpts() << ExtrTest << ExtrForceDirs << ExtrDirNames, 0},
      {"no target folder", "", ExtrOpts() << ExtrDirNames << ExtrOverWrite, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(drives.Fixed("cwd"));
    std::filesystem::create_directories(drives.Fixed("cwd"));
    ASSERT_TRUE(SetCurrentDir("T:\\cwd"));
    Prepare("T:\\a.zip", c.base);
    zb->ExtrOptions = c.options;
    EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
    EXPECT_EQ(GetCurrentDir().str(), "T:\\cwd");
    EXPECT_FALSE(std::filesystem::exists(drives.Fixed("made")));
    EXPECT_EQ(Count("cwd"), c.inCwd);
  }
  ASSERT_TRUE(SetCurrentDir("T:\\"));
}

TEST_F(BuilderTest, ExtractFromInsideTheProgressHandlerIsRefused) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip");
  std::vector<int> nested;
  zb->OnTotalProgress = [&](TObject*, long long, int) {
    if (nested.empty()) nested.push_back(zb->Extract());
  };
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(nested, std::vector<int>{-255});
  EXPECT_EQ(Count("out"), 3u);
  EXPECT_TRUE(zb->Worker->Reentered);
}

TEST_F(BuilderTest, CancelAndClearFromTheProgressHandler) {
  ZipWriter z;
  for (int i = 0; i < 20; ++i) z.AddFile("f" + std::to_string(i) + ".bin", Noise(200000, uint32_t(i)), 0);
  WriteBytes(drives.Fixed("many.zip"), z.Build());
  Prepare("T:\\many.zip");
  int calls = 0;
  zb->OnTotalProgress = [&](TObject*, long long, int percent) {
    if (percent > 100 || ++calls != 2) return;
    zb->Cancel = true;
    zb->Clear();  // refused while the extraction runs
  };
  const int r = zb->Extract();
  EXPECT_NE(r, 0);
  EXPECT_EQ(r, 10120) << Dump(messages);
  EXPECT_LT(Count("out"), 20u);
  // The refused Clear left the archive as it was.
  EXPECT_EQ(zb->ZipFileName.get().str(), "T:\\many.zip");
  EXPECT_EQ(zb->Worker->ZipContents.size(), 20u);
  // The next run starts clean.
  zb->OnTotalProgress = nullptr;
  Prepare("T:\\many.zip");
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(Count("out"), 20u);
}

TEST_F(BuilderTest, ClearOnAnIdleComponent) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip");
  zb->FSpecArgs->Add("*.txt");
  zb->FSpecArgsExcl->Add("x");
  zb->Password = "pw";
  zb->Language = "US";
  zb->Clear();
  EXPECT_EQ(zb->FSpecArgs->Count(), 0);
  EXPECT_EQ(zb->FSpecArgsExcl->Count(), 0);
  EXPECT_TRUE(zb->ZipFileName.get().IsEmpty());
  EXPECT_TRUE(zb->Worker->ZipContents.empty());
  EXPECT_EQ(zb->ErrCode, 0);
  EXPECT_EQ(zb->Language.get().str(), "US: default");
  EXPECT_EQ(zb->ExtrBaseDir.str(), "T:\\out");
  EXPECT_TRUE(zb->Unattended);
  EXPECT_EQ(zb->ExtrOptions, ExtrOpts() << ExtrDirNames << ExtrOverWrite);
  EXPECT_EQ(zb->Password.str(), "pw");
}

TEST_F(BuilderTest, UnattendedRunsShowNoBoxButReport) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip", "T:\\missing");
  EXPECT_EQ(zb->Extract(), 10504);
  EXPECT_TRUE(dialogs.empty());
  ASSERT_TRUE(HasCode(messages, 10504));
  EXPECT_EQ(messages.back().text, "Extract directory 'T:\\missing\\' must exist");

  messages.clear();
  zb->ExtrOptions = zb->ExtrOptions << ExtrForceDirs;
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(ReadBytes(drives.Fixed("missing/a.txt")), "alpha");
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(BuilderTest, PasswordsReachTheEngine) {
  ZipWriter z;
  ZipEntrySpec e;
  e.name = "secret.txt";
  e.data = "classified";
  e.password = "open sesame";
  z.Add(e);
  z.AddFile("plain.txt", "plain");
  WriteBytes(drives.Fixed("enc.zip"), z.Build());

  Prepare("T:\\enc.zip");
  // The engine's skip message leaves its code as the result.
  EXPECT_EQ(zb->Extract(), 3) << Dump(messages);
  EXPECT_TRUE(HasCode(messages, 10125));
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("out/secret.txt")));
  EXPECT_EQ(Out("plain.txt"), "plain");

  zb->Password = "open sesame";
  zb->PasswordReqCount = 40;
  Prepare("T:\\enc.zip");
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  EXPECT_EQ(zb->Worker->PasswordReqCount, 15u);
  EXPECT_EQ(zb->PasswordReqCount, 40u);
  EXPECT_EQ(Out("secret.txt"), "classified");
}

TEST_F(BuilderTest, FailingHandlerNamesItselfInTheResult) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip");
  zb->OnTotalProgress = [](TObject*, long long, int percent) {
    if (percent <= 100) throw Exception("display gone");
  };
  EXPECT_EQ(zb->Extract(), 10123);
  EXPECT_EQ(zb->ErrText.get().str(), "DLL Error - Exception in handler  #2 \"display gone\"");
}

TEST_F(BuilderTest, ParameterBlock) {
  TZBWorker& w = *zb->Worker;
  struct Case {
    ExtrOpts options;
    bool unattended, trace, verbose;
    int test, update, freshen, dirNames, overWrite, traceField, verboseField;
  };
  const Case cases[] = {
      {ExtrOpts() << ExtrDirNames << ExtrOverWrite, true, false, false, 0, 0, 0, 1, 1, 0, 0},
      {ExtrOpts() << ExtrFreshen << ExtrUpdate, false, false, true, 0, 1, 0, 0, 0, 0, 1},
      {ExtrOpts() << ExtrFreshen << ExtrTest, false, true, false, 1, 0, 1, 0, 0, 1, 1},
  };
  for (const Case& c : cases) {
    w.ExtrOptions = c.options;
    w.Unattended = c.unattended;
    w.Trace = c.trace;
    w.Verbose = c.verbose;
    w.Password = std::string(100, 'p').c_str();
    w.CodePage = cpOEM;
    w.PasswordReqCount = 4;
    UnzipParams block;
    std::memset(&block, 0, sizeof block);
    w.FillUnzipParams("T:\\x.zip", block);
    EXPECT_EQ(block.Handle, c.unattended ? nullptr : w.OwnerWindow);
    EXPECT_EQ(block.Caller, &w);
    EXPECT_EQ(block.Version, 179);
    EXPECT_EQ(block.Callback, &TZBWorker::DllCallback);
    EXPECT_EQ(block.Trace, c.traceField);
    EXPECT_EQ(block.Verbose, c.verboseField);
    EXPECT_EQ(block.CodePage, 2);
    EXPECT_EQ(std::string(block.Password), std::string(81, 'p'));
    EXPECT_EQ(block.Test, c.test);
    EXPECT_EQ(block.Command, 1);
    EXPECT_EQ(block.Update, c.update);
    EXPECT_EQ(block.Freshen, c.freshen);
    EXPECT_EQ(block.DirNames, c.dirNames);
    EXPECT_EQ(block.OverWrite, c.overWrite);
    EXPECT_EQ(std::string(block.ArchiveName), "T:\\x.zip");
    EXPECT_EQ(block.PwdReqCount, 4u);
  }
}

TEST_F(BuilderTest, SpecificationsSelectEntries) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  struct Case {
    std::vector<const char*> specs;
    size_t files;
  };
  const Case cases[] = {{{"*.*", "a.txt"}, 3}, {{"a.txt"}, 1}, {{"dir\\*", "a.txt"}, 2}};
  for (const Case& c : cases) {
    std::filesystem::remove_all(drives.Fixed("out"));
    std::filesystem::create_directories(drives.Fixed("out"));
    Prepare("T:\\a.zip");
    for (const char* s : c.specs) zb->FSpecArgs->Add(s);
    EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
    EXPECT_EQ(Count("out"), c.files) << c.specs[0];
    EXPECT_EQ(zb->FSpecArgs->Count(), 0);
  }
  // A run that fails before the engine leaves the list alone.
  zb->FSpecArgs->Add("a.txt");
  zb->ZipFileName = "";
  EXPECT_EQ(zb->Extract(), 10102);
  EXPECT_EQ(zb->FSpecArgs->Count(), 1);
}

TEST_F(BuilderTest, ValuesAfterConstruction) {
  EXPECT_TRUE(zb->Active);
  EXPECT_EQ(zb->ActiveState, 1);
  EXPECT_TRUE(zb->Worker->Active);
  EXPECT_EQ(zb->AddCompLevel, 9);
  EXPECT_EQ(zb->AddStoreSuffixes, DefaultStoreSuffixes());
  EXPECT_EQ(zb->BufferSize, 65536);
  EXPECT_EQ(zb->CodePage, cpAuto);
  EXPECT_TRUE(zb->ConfirmErase);
  EXPECT_FALSE(zb->Dll_Load);
  EXPECT_EQ(zb->HowToDelete, htdAllowUndo);
  EXPECT_EQ(zb->MinFreeVolumeSize, 65536);
  EXPECT_EQ(zb->MaxVolumeSize, 0);
  EXPECT_EQ(zb->PasswordReqCount, 1u);
  EXPECT_EQ(zb->SFXCaption.str(), "Self-extracting Archive");
  EXPECT_EQ(zb->SFXLanguage.get().str(), "US");
  EXPECT_EQ(zb->SFXOptions, SFXOpts() << SFXCheckSize);
  EXPECT_EQ(zb->SFXOverWriteMode, OvrConfirm);
  EXPECT_TRUE(zb->SFXIcon->GetEmpty());
  EXPECT_EQ(zb->SFXPath.get().str(), "");
  EXPECT_FALSE(zb->Unattended);
  EXPECT_FALSE(zb->Trace);
  EXPECT_FALSE(zb->Verbose);
  EXPECT_FALSE(zb->UseDirOnlyEntries);
  EXPECT_TRUE(zb->ExtrOptions.Empty());
  EXPECT_EQ(zb->Language.get().str(), "US: default");
  EXPECT_EQ(zb->OwnerWindow, Application->Handle.get());
  EXPECT_EQ(zb->SFX->Owner(), zb);
  EXPECT_EQ(zb->SFX->ZipBuilder, zb);
  EXPECT_EQ(zb->Worker->SFX, zb->SFX);
  EXPECT_EQ(zb->Worker->Builder, zb);
  zb->Version = "2.0";
  EXPECT_EQ(zb->Version.get().str(), "1.79.05.01");
  EXPECT_EQ(zb->VersionInfo.get().str(), "1.79.05.01");
}

TEST_F(BuilderTest, EventPropertiesLiveInTheWorker) {
  int ticks = 0;
  zb->OnTick = [&](TObject*) { ++ticks; };
  ASSERT_TRUE(bool(zb->Worker->Events()->OnTick));
  zb->Worker->Events()->OnTick(zb);
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(bool(zb->OnTick.get()));
  zb->OnTick = nullptr;
  EXPECT_FALSE(bool(zb->Worker->Events()->OnTick));
}

TEST_F(BuilderTest, ActiveAndDeferredDirectoryRead) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  zb->Active = false;
  EXPECT_FALSE(zb->Active);
  EXPECT_EQ(zb->Extract(), -255);
  zb->ZipFileName = "T:\\a.zip";
  EXPECT_EQ(zb->ZipFileName.get().str(), "T:\\a.zip");
  EXPECT_TRUE(zb->Worker->ZipContents.empty());
  zb->Active = true;
  // Activation starts the component up once: the waiting read runs.
  EXPECT_EQ(zb->Worker->ZipContents.size(), 3u);

  // Deactivation while running takes effect at the end of the run.
  Prepare("T:\\a.zip");
  bool readDuring = false;
  zb->OnTotalProgress = [&](TObject*, long long, int) {
    zb->Active = false;
    readDuring = zb->Active;
  };
  EXPECT_EQ(zb->Extract(), 0);
  EXPECT_TRUE(readDuring);
  EXPECT_FALSE(zb->Active);
}

TEST_F(BuilderTest, LayoutLoadingAndDesigning) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  zb->ComponentState |= csLoading;
  EXPECT_EQ(zb->Extract(), -256);
  zb->Language = "KO";
  EXPECT_EQ(zb->Language.get().str(), "KO");
  // Dropped: the component is active but loading.
  zb->ZipFileName = "T:\\a.zip";
  EXPECT_TRUE(zb->ZipFileName.get().IsEmpty());
  zb->Active = true;
  EXPECT_EQ(zb->ActiveState, 2);
  zb->Loaded();
  EXPECT_TRUE(zb->Active);
  EXPECT_EQ(zb->Language.get().str(), "US: default");
  Prepare("T:\\a.zip");
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);

  zb->ComponentState |= csDesigning;
  EXPECT_EQ(zb->Extract(), -256);
  zb->Active = true;
  EXPECT_EQ(zb->ActiveState, 3);
  zb->ComponentState &= ~unsigned(csDesigning);
}

TEST_F(BuilderTest, ReentryIsReportedWithVerbose) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip");
  zb->Verbose = true;
  bool tried = false;
  zb->OnTotalProgress = [&](TObject*, long long, int) {
    if (tried) return;
    tried = true;
    zb->Clear();
    zb->ZipFileName = "T:\\other.zip";
  };
  EXPECT_EQ(zb->Extract(), 0) << Dump(messages);
  int reentries = 0;
  for (const Message& m : messages) reentries += m.code == 0 && m.text == "Re-entry";
  EXPECT_EQ(reentries, 2);
  EXPECT_EQ(zb->ZipFileName.get().str(), "T:\\a.zip");
}

TEST_F(BuilderTest, EngineStandingLoad) {
  EXPECT_FALSE(zb->Dll_Load);
  zb->Dll_Load = true;
  EXPECT_TRUE(zb->Dll_Load);
  EXPECT_TRUE(zb->Worker->IsLoaded());
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip");
  EXPECT_EQ(zb->Extract(), 0);
  EXPECT_TRUE(zb->Worker->IsLoaded());
  zb->Dll_Load = false;
  EXPECT_FALSE(zb->Worker->IsLoaded());
}

TEST_F(BuilderTest, TempDirOnARemovableDriveIsRefused) {
  WriteBytes(drives.Fixed("a.zip"), Archive());
  Prepare("T:\\a.zip");
  zb->TempDir = "E:\\tmp";
  EXPECT_EQ(zb->Extract(), 11051);
  EXPECT_EQ(messages.back().text, "Cannot write to E:\\");
  EXPECT_FALSE(zb->Running);
}

TEST(ZipIntSFX, LanguageAndPath) {
  TComponent owner(nullptr);
  TZipIntSFX* sfx = new TZipIntSFX(&owner);  // owned by owner
  EXPECT_EQ(sfx->LanguageList->Count(), 0);
  sfx->SFXLanguage = "us";
  EXPECT_EQ(sfx->SFXLanguage.get().str(), "US");
  sfx->SFXPath = "C:\\stubs\\";
  EXPECT_EQ(sfx->SFXPath.get().str(), "C:\\stubs");
  sfx->SFXPath = "C:\\stubs\\\\";
  EXPECT_EQ(sfx->SFXPath.get().str(), "C:\\stubs\\");
  sfx->Version = "x";
  EXPECT_EQ(sfx->Version.get().str(), "3.2.4.0 November 28,2005");
  TComponent* other = new TComponent(&owner);
  sfx->ZipBuilder = other;
  other->FreeNotification(sfx);
  delete other;
  EXPECT_EQ(sfx->ZipBuilder, nullptr);
}

}  // namespace
