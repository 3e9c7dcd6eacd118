// TdmMaster's parts without the start-up: settings, download root, folders, the kept login,
// the connection state, model info files and the small transfers.
#include <memory>

#include "IniFiles.h"
#include "LoginFixture.h"

namespace logintest {
namespace {

class DataModuleTest : public Environment {
 protected:
  void SetUp() override {
    Environment::SetUp();
    dm_ = std::make_unique<TdmMaster>(nullptr, 0);
  }
  void TearDown() override {
    dm_.reset();
    Environment::TearDown();
  }
  std::unique_ptr<TdmMaster> dm_;
};

TEST_F(DataModuleTest, SettingsFileKeysAndTheirDefaults) {
  const struct {
    const char* label;
    const char* file;  // nullptr: no settings file
    const char* help;
    const char* update;
    bool cache;
  } cases[] = {
      {"no file", nullptr, "http://www.quorvex.example/Pavoproduct/customer/?mode=trelm",
       "http://update.quorvex.example/pavo/_Movrant/", false},
      {"cache on", "[DOWNLOAD]\nUSECACHE=1\n", "http://www.quorvex.example/Pavoproduct/customer/?mode=trelm",
       "http://update.quorvex.example/pavo/_Movrant/", true},
      {"cache 0", "[download]\nusecache=0\n", nullptr, nullptr, false},
      {"cache not a number", "[DOWNLOAD]\nUSECACHE=yes\n", nullptr, nullptr, false},
      {"cache hexadecimal", "[DOWNLOAD]\nUSECACHE=0x10\n", nullptr, nullptr, true},
      {"own addresses", "[HELP]\nURL=http://help.example/h\n[UPDATE]\nURL = http://upd.example/u\n",
       "http://help.example/h", "http://upd.example/u", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(root_ / "prog" / "Movrant.ini");
    if (c.file) WriteUnix(root_ / "prog" / "Movrant.ini", c.file);
    SetCurrentDir(Dos("prog"));
    TdmMaster dm(nullptr, 0);
    dm.ReadSettings();
    if (c.help) {
      EXPECT_EQ(dm.HelpUrl.str(), c.help);
    }
    if (c.update) {
      EXPECT_EQ(dm.UpdateUrl.str(), c.update);
    }
    EXPECT_EQ(dm.UseDownloadCache, c.cache);
  }
}

TEST_F(DataModuleTest, AFirstStartCreatesTheKeyWithTheProgramFolderAsRoot) {
  ASSERT_FALSE(fs::exists(root_ / "hkcu.reg"));
  dm_->ReadSettings();
  EXPECT_EQ(dm_->RootPath, Dos("prog"));
  EXPECT_EQ(GetCurrentDir(), Dos("prog"));
  EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), Dos("prog").str());
  EXPECT_FALSE(dm_->AutoLogin);
  EXPECT_TRUE(dm_->SavedID.IsEmpty());
}

TEST_F(DataModuleTest, TheStoredRootBecomesTheCurrentFolderWhenItCanBeUsed) {
  WriteUnix(root_ / "afile", "x");
  const struct {
    const char* label;
    std::string stored;
    std::string root;     // RootPath afterwards
    std::string current;  // current folder afterwards
  } cases[] = {
      {"existing", Dos("data").str(), Dos("data").str(), Dos("data").str()},
      {"missing, two levels", Dos("new/deep").str(), Dos("new/deep").str(), Dos("new/deep").str()},
      {"cannot be made", Dos("afile/sub").str(), "", Dos("prog").str()},
      {"empty", "", Dos("prog").str(), Dos("prog").str()},
  };
  fs::create_directories(root_ / "data");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey("Software\\Delmaro\\Movrant for Pavo\\DOWNLOAD", true));
      reg.WriteString("ROOTPATH", c.stored.c_str());
    }
    SetCurrentDir(Dos("prog"));
    TdmMaster dm(nullptr, 0);
    dm.ReadSettings();  // must not raise, whatever the stored value is
    EXPECT_EQ(dm.RootPath.str(), c.root);
    EXPECT_EQ(GetCurrentDir().str(), c.current);
    EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), c.root.empty() ? c.stored : c.root);
  }
}

TEST_F(DataModuleTest, EnsureFolderCreatesWhatIsMissingAndAnswersEmptyForWhatCannotBe) {
  WriteUnix(root_ / "afile", "x");
  const struct {
    const char* label;
    std::string base, sub;
    std::string result;
    const char* made;  // Unix folder that exists afterwards
  } cases[] = {
      {"absolute, two levels", "", Dos("a/b").str(), Dos("a/b").str(), "a/b"},
      {"current folder and Camera", ".", "Camera", Dos("prog/Camera").str(), "prog/Camera"},
      {"base and sub", Dos("x").str(), "y", Dos("x/y").str(), "x/y"},
      {"existing", "", Dos("prog").str(), Dos("prog").str(), "prog"},
      {"nothing at all", "", "", "", nullptr},
      {"under a file", "", Dos("afile/sub").str(), "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SetCurrentDir(Dos("prog"));
    EXPECT_EQ(dm_->EnsureFolder(c.base.c_str(), c.sub.c_str()).str(), c.result);
    if (c.made) {
      EXPECT_TRUE(fs::is_directory(root_ / c.made));
    }
  }
}

TEST_F(DataModuleTest, SaveLoginKeepsTheIdOnlyWhenAskedAndNeverThePassword) {
  dm_->SaveLogin(true, "kim01", "secret-pw-1");
  EXPECT_EQ(dm_->UserID.str(), "kim01");
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "1");
  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "kim01");

  dm_->SaveLogin(false, "lee02", "secret-pw-2");
  EXPECT_EQ(dm_->UserID.str(), "lee02");
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "0");
  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "");
  EXPECT_TRUE(FilesContaining(root_, "secret-pw").empty());

  // Read back at the next start.
  dm_->SaveLogin(true, "park03", "secret-pw-3");
  TdmMaster next(nullptr, 0);
  next.ReadSettings();
  EXPECT_TRUE(next.AutoLogin);
  EXPECT_EQ(next.SavedID.str(), "park03");
}

TEST_F(DataModuleTest, ConnectionStateCountsAConfiguredConnection) {
  const struct {
    const char* forced;
    int state;
    bool connected;
  } cases[] = {{"lan", 2, true}, {"configured", 64, true}, {"offline", 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.forced);
    Set("WINPLAT_CONNECTION", c.forced);
    AnsiString name = "untouched";
    EXPECT_EQ(GetConnectionState(&name) & 0x42, c.state);
    EXPECT_NE(name.str(), "untouched");
    EXPECT_EQ(dm_->CheckConnection(), c.connected);
  }
}

TEST_F(DataModuleTest, InfoFilesLoseTheirQuotesAndCarryTheirOwnFileName) {
  files_["/pavoTrelm/model/X1.ini"] =
      "; model\r\n[ENVIRONMENT]\r\nMODEL_CAPTION=\"PAVO \"X1\"\"\r\n[__MANAGE__]\r\nFILENAME=other.ini\r\n"
      "[FILE_1]\r\nAG_ZIPSIZE=0x10\r\nAG_FILESIZE=12abc\r\n";
  files_["/pavoTrelm/model/"] = "[A]\r\nB=1\r\n";
  std::unique_ptr<TMemIniFile> ini(LoadInfoFile("http://trelm.quorvex.example/pavoTrelm/model/X1.ini"));
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->ReadString("ENVIRONMENT", "MODEL_CAPTION", "").str(), "PAVO X1");
  EXPECT_EQ(ini->ReadString("__MANAGE__", "FILENAME", "").str(), "X1.ini");
  EXPECT_EQ(ini->ReadInteger("FILE_1", "AG_ZIPSIZE", 0), 16);
  EXPECT_EQ(ini->ReadInteger("FILE_1", "AG_FILESIZE", 0), 0);
  EXPECT_EQ(ini->ReadInteger("FILE_1", "AG_NUMSPAN", 0), 0);

  std::unique_ptr<TMemIniFile> slash(LoadInfoFile("http://trelm.quorvex.example/pavoTrelm/model/"));
  ASSERT_TRUE(slash);
  EXPECT_EQ(slash->ReadString("__MANAGE__", "FILENAME", "x").str(), "");
  EXPECT_EQ(LoadInfoFile("http://trelm.quorvex.example/pavoTrelm/model/absent.ini"), nullptr);
}

TEST_F(DataModuleTest, AddingAnInfoFileExpandsTheEnvironmentMacros) {
  files_["/m/A.ini"] =
      "[ENVIRONMENT]\nDATA=$ROOT$/data\nROOT=http://r.example\nPAGE=$ROOT$/page\n"
      "[FILE_1]\nFULL_URL=$ROOT$/x\nOTHER=$NOPE$/y\nLOWER=$root$/z\nBOTH=$PAGE$+$DATA$\n";
  TMemIniFile* ini = LoadInfoFile("http://trelm.quorvex.example/m/A.ini");
  ASSERT_NE(ini, nullptr);
  dm_->AddInfoFile(ini);
  ASSERT_EQ(dm_->InfoFiles->Count(), 1);
  TMemIniFile* added = dm_->InfoFiles->File(0);
  EXPECT_EQ(added->ReadString("FILE_1", "FULL_URL", "").str(), "http://r.example/x");
  EXPECT_EQ(added->ReadString("FILE_1", "OTHER", "").str(), "$NOPE$/y");
  EXPECT_EQ(added->ReadString("FILE_1", "LOWER", "").str(), "$root$/z");
  EXPECT_EQ(added->ReadString("ENVIRONMENT", "PAGE", "").str(), "http://r.example/page");
  // DATA's own macro keeps the token of ROOT, defined below it; the pass over every value that
  // follows the loading of the macros then replaces it in the file.
  EXPECT_EQ(added->ReadString("ENVIRONMENT", "DATA", "").str(), "http://r.example/data");
  EXPECT_EQ(added->ReadString("FILE_1", "BOTH", "").str(), "http://r.example/page+http://r.example/data");
}

TEST_F(DataModuleTest, TheNoticeQuotesUserAndFileAndTheTransfersRefuseMissingTargets) {
  files_["/pavoTrelm/pavoChkDown.mms"] = "OK";
  dm_->UserID = "kim 01";
  dm_->NotifyServer("M", "PAVO_X1.ini");
  auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/pavoTrelm/pavoChkDown.mms?D1=%22kim+01%22&D4=%22PAVO_X1.ini%22&D5=M");

  dm_->NotifyServer("C", "");  // a notice that is not answered is lost silently
  EXPECT_EQ(server_->Requests().back().target, "/pavoTrelm/pavoChkDown.mms?D1=%22kim+01%22&D4=%22%22&D5=C");

  EXPECT_EQ(DownloadToStream("http://trelm.quorvex.example/x", nullptr), -1);
  EXPECT_EQ(DownloadToMemory("http://trelm.quorvex.example/x", nullptr), -1);
  EXPECT_EQ(server_->RequestCount(), 2);

  TMemoryStream stream;
  stream.Write("old", 3);
  EXPECT_EQ(DownloadToStream("http://trelm.quorvex.example/pavoTrelm/pavoChkDown.mms", &stream), 2);
  EXPECT_EQ(stream.Size(), 2);
  EXPECT_EQ(DownloadToStream("http://trelm.quorvex.example/absent", &stream), -12);
}

}  // namespace
}  // namespace logintest
