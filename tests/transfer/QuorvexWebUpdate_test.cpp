// TQuorvexWebUpdate's decision walk over an update list, its check-value cache in the registry
// and a whole run against the in-process HTTP server (lists that name no package).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ExtCtrls.h"
#include "Forms.h"
#include "HttpTestServer.h"
#include "IniFiles.h"
#include "QuorvexUtil.h"
#include "QuorvexWebUpdate.h"
#include "Registry.h"
#include "UiTest.h"
#include "windows.h"
#include "winplat.h"

using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ReadUnix(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The program folder is a temporary one instead of the test program's.
class TTestWebUpdate : public TQuorvexWebUpdate {
 public:
  TTestWebUpdate(const AnsiString& programDir) : TQuorvexWebUpdate(nullptr), FProgramDir(programDir) {}
  AnsiString GetProgramDir() override { return FProgramDir; }

 private:
  AnsiString FProgramDir;
};

class WebUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qwu-test-XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(root_ / "prog");
    fs::create_directories(root_ / "temp");
    if (const char* t = getenv("TMPDIR")) oldTmp_ = t;
    setenv("TMPDIR", (root_ / "temp").c_str(), 1);  // the helper and the list copy go there
    setenv("WINPLAT_HKCU", (root_ / "hkcu.reg").c_str(), 1);
    setenv("WINPLAT_CACHE_DIR", (root_ / "cache").c_str(), 1);
    unsetenv("WINPLAT_CONNECT_TO");
    server_ = std::make_unique<HttpTestServer>([this](const HttpRequest& r) {
      auto it = files_.find(r.path);
      return it == files_.end() ? HttpReply::Status(404, "Not Found") : HttpReply::Text(it->second);
    });
    oldDir_ = GetCurrentDir();
    SetCurrentDir(Dos("prog"));
    update_ = std::make_unique<TTestWebUpdate>(Dos("prog"));
    update_->OnError = [this](TObject*, AnsiString message) { errors_.push_back(message.str()); };
  }
  void TearDown() override {
    update_.reset();
    SetCurrentDir(oldDir_);
    server_.reset();
    unsetenv("WINPLAT_HKCU");
    if (oldTmp_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", oldTmp_.c_str(), 1);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  AnsiString Dos(const std::string& name) const { return winplat::UnixToDos((root_ / name).string()); }
  fs::path Prog(const std::string& name) const { return root_ / "prog" / name; }
  void WriteProg(const std::string& name, const std::string& data) const {
    fs::create_directories(Prog(name).parent_path());
    std::ofstream(Prog(name), std::ios::binary | std::ios::trunc) << data;
  }
  std::string Base() const { return server_->Url("/upd"); }

  // The files at the top of the program folder, by name, with their bytes.
  std::map<std::string, std::string> ProgFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(root_ / "prog"))
      if (e.is_regular_file()) files[e.path().filename()] = ReadUnix(e.path());
    return files;
  }
  // The files the last walk added to the program folder (its packages), by name.
  std::map<std::string, std::string> Arrived() const {
    std::map<std::string, std::string> arrived;
    for (const auto& f : ProgFiles())
      if (!before_.count(f.first)) arrived.insert(f);
    return arrived;
  }
  // The bytes of what arrived, sorted.
  std::vector<std::string> ArrivedBytes() const {
    std::vector<std::string> bytes;
    for (const auto& f : Arrived()) bytes.push_back(f.second);
    std::sort(bytes.begin(), bytes.end());
    return bytes;
  }
  void RemoveArrived() const {
    for (const auto& f : Arrived()) fs::remove(Prog(f.first));
  }

  // Runs the walk over list (INI text) and returns the packages fetched, in order.
  std::vector<std::string> Walk(const std::string& list) {
    before_ = ProgFiles();
    std::ofstream(root_ / "list.inf", std::ios::binary | std::ios::trunc) << list;
    TIniFile ini(Dos("list.inf"));
    EXPECT_TRUE(update_->ProcessInfoFile(Base().c_str(), &ini));
    std::vector<std::string> fetched;
    for (const auto& r : server_->Requests()) fetched.push_back(r.path);
    return fetched;
  }

  AnsiString CheckValueOf(const std::string& name) { return update_->GetFileCheckValue(Dos("prog/" + name)); }

  AnsiString RootDos() const { return winplat::UnixToDos(root_.string()); }

  fs::path root_;
  std::string oldTmp_;
  AnsiString oldDir_;
  std::unique_ptr<HttpTestServer> server_;
  std::map<std::string, std::string> files_;
  std::unique_ptr<TTestWebUpdate> update_;
  std::vector<std::string> errors_;
  std::map<std::string, std::string> before_;  // the program folder before the last walk
};

TEST_F(WebUpdateTest, ProgramFilesAreFetchedWhenTheirVersionIsBelowTheListsAndMakeARestart) {
  // The test program carries the version record 1.0.2.3: a program file with a version.
  fs::copy_file("/proc/self/exe", Prog("Movrant.exe"));
  WriteProg("Plain.dll", "no version record in here");
  files_["/upd/pkg.zip"] = "package bytes";
  const struct {
    const char* name;
    const char* version;
    bool fetched;
  } cases[] = {
      {"Movrant.exe", "1.0.2.4", true},  {"Movrant.exe", "1.0.2.3", false}, {"Movrant.exe", "1.0.1.9", false},
      {"Movrant.exe", "", false},        {"Plain.dll", "0.0.0.1", true},    {"Plain.dll", "", false},
      {"Plain.dll", "0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.version);
    auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
    update_.swap(update);
    int before = server_->RequestCount();
    std::vector<std::string> fetched =
        Walk(std::string("[FILE_") + c.name + "]\nCAB=pkg.zip\nVERSION=" + c.version + "\n");
    EXPECT_EQ(int(fetched.size()) - before, c.fetched ? 1 : 0);
    EXPECT_EQ(update_->IsRestart(), c.fetched);
    EXPECT_EQ(ArrivedBytes(), c.fetched ? std::vector<std::string>{"package bytes"} : std::vector<std::string>());
    RemoveArrived();
  }
}

TEST_F(WebUpdateTest, DataFilesFollowTheirCheckValueAndTheEntryFlags) {
  WriteProg("data.bin", "installed data");
  WriteProg("sub/other.bin", "other");
  std::string crc = CheckValueOf("data.bin").str();
  ASSERT_FALSE(crc.empty());
  files_["/upd/pkg.zip"] = "package bytes";
  const struct {
    const char* label;
    std::string entry;
    bool fetched;
  } cases[] = {
      {"same check value", "[FILE_data.bin]\nCAB=pkg.zip\nCRC=" + crc + "\n", false},
      {"other check value", "[FILE_data.bin]\nCAB=pkg.zip\nCRC=12345\n", true},
      {"no check value", "[FILE_data.bin]\nCAB=pkg.zip\n", true},
      {"one time, present", "[FILE_data.bin]\nCAB=pkg.zip\nCRC=12345\nONETIME=1\n", false},
      {"one time not a number", "[FILE_data.bin]\nCAB=pkg.zip\nCRC=12345\nONETIME=yes\n", true},
      {"missing", "[FILE_new.bin]\nCAB=pkg.zip\n", true},
      {"missing, only exists", "[FILE_new.bin]\nCAB=pkg.zip\nONLYEXISTS=1\n", false},
      {"missing, only exists 2", "[FILE_new.bin]\nCAB=pkg.zip\nONLYEXISTS=2\n", true},
      {"missing, one time", "[FILE_new.bin]\nCAB=pkg.zip\nONETIME=1\n", true},
      {"in a sub-folder", "[FILE_other.bin]\nPATH=sub\nCAB=pkg.zip\nCRC=1\n", true},
      {"no package named", "[FILE_new.bin]\nCRC=1\n", false},
      {"lower-case type", "[file_new.bin]\nCAB=pkg.zip\n", false},
      {"unknown type", "[FOLDER_new]\nCAB=pkg.zip\n", false},
      {"no underscore", "[FILEnew.bin]\nCAB=pkg.zip\n", false},
      {"folder missing", "[DIRECTORY_newdir]\nCAB=pkg.zip\n", true},
      {"folder present", "[DIRECTORY_sub]\nCAB=pkg.zip\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
    update_.swap(update);
    int before = server_->RequestCount();
    Walk(c.entry);
    EXPECT_EQ(server_->RequestCount() - before, c.fetched ? 1 : 0);
    EXPECT_FALSE(update_->IsRestart());
    RemoveArrived();
  }
}

TEST_F(WebUpdateTest, DeleteRemovesTheTargetAndFetchesNothing) {
  WriteProg("old.dat", "obsolete");
  WriteProg("keep.dat", "stays");
  fs::create_directories(root_ / "outside");
  std::ofstream(root_ / "outside" / "victim.dat") << "not the program's";
  files_["/upd/pkg.zip"] = "package bytes";

  Walk("[FILE_old.dat]\nCOMMAND=DELETE\nCAB=pkg.zip\nCRC=1\n"
       "[FILE_keep.dat]\nCOMMAND=delete\nCRC=1\n"
       "[FILE_victim.dat]\nPATH=..\\outside\nCOMMAND=DELETE\n"
       "[FILE_absent.dat]\nCOMMAND=DELETE\nCAB=pkg.zip\n");

  EXPECT_FALSE(fs::exists(Prog("old.dat")));
  EXPECT_TRUE(fs::exists(Prog("keep.dat")));  // the command is case-sensitive: no delete, no package
  EXPECT_TRUE(fs::exists(root_ / "outside" / "victim.dat"));  // never outside the program folder
  EXPECT_EQ(server_->RequestCount(), 0);
}

TEST_F(WebUpdateTest, PackagesArriveInTheCurrentFolderAndFailuresAreReportedAndCleanedUp) {
  files_["/upd/first.zip"] = "first package";
  files_["/upd/pkgs/second.zip"] = "second package";
  WriteProg("broken.zip", "left over from an earlier run");
  Walk("[FILE_a.bin]\nCAB=first.zip\n"
       "[FILE_b.bin]\nCAB=broken.zip\n"
       "[FILE_c.bin]\nCAB=pkgs\\second.zip\n"
       "[FORCE_DIRECTORY]\nx=made\\deep\ny=also\n");

  EXPECT_EQ(ArrivedBytes(), (std::vector<std::string>{"first package", "second package"}));
  // A file of that name that was there is no package of this run: it keeps its bytes, and the
  // package that failed leaves nothing behind.
  EXPECT_EQ(ReadUnix(Prog("broken.zip")), "left over from an earlier run");
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "화일에 받을 수 없습니다.[broken.zip]");
  std::vector<std::string> paths;
  for (const auto& r : server_->Requests()) paths.push_back(r.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/upd/first.zip", "/upd/broken.zip", "/upd/pkgs/second.zip"}));
  EXPECT_TRUE(fs::is_directory(Prog("made/deep")));
  EXPECT_TRUE(fs::is_directory(Prog("also")));
}

TEST_F(WebUpdateTest, ForcedFoldersAreMadeOnlyInsideTheProgramFolder) {
  fs::create_directories(root_ / "outside");
  Walk("[FORCE_DIRECTORY]\n"
       "a=made\\deep\n"
       "b=..\\escaped\n"
       "c=sub\\..\\..\\escaped2\n"
       "h=inside\\deep\\..\\..\\..\\up\n"
       "d=..\\outside\\below\n"
       "e=sub\\..\\back\n"
       "f=.\n"
       "g=\n");
  EXPECT_TRUE(fs::is_directory(Prog("made/deep")));
  EXPECT_TRUE(fs::is_directory(Prog("back")));
  EXPECT_FALSE(fs::exists(root_ / "escaped"));
  EXPECT_FALSE(fs::exists(root_ / "escaped2"));
  EXPECT_FALSE(fs::exists(root_ / "up"));
  EXPECT_FALSE(fs::exists(root_ / "outside" / "below"));
  EXPECT_TRUE(errors_.empty());
}

// Packages of the same file name from different server folders: each one arrives and none
// replaces another.
TEST_F(WebUpdateTest, PackagesOfTheSameNameFromDifferentFoldersAreKeptApart) {
  files_["/upd/a/pkg.zip"] = "first";
  files_["/upd/b/pkg.zip"] = "second";
  files_["/upd/c/PKG.ZIP"] = "third";
  files_["/upd/pkg%7e2.zip"] = "fourth";  // "~" is sent encoded
  files_["/upd/other.zip"] = "other";
  Walk("[FILE_1.bin]\nCAB=a/pkg.zip\n"
       "[FILE_2.bin]\nCAB=b\\pkg.zip\n"
       "[FILE_3.bin]\nCAB=c/PKG.ZIP\n"
       "[FILE_4.bin]\nCAB=pkg~2.zip\n"
       "[FILE_5.bin]\nCAB=other.zip\n");
  EXPECT_EQ(server_->RequestCount(), 5);
  EXPECT_EQ(ArrivedBytes(), (std::vector<std::string>{"first", "fourth", "other", "second", "third"}));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(WebUpdateTest, APackageIsStoredInTheProgramFolderWhateverItsPath) {
  fs::create_directories(Prog("pkgs"));
  const char* cabs[] = {"pkgs\\one.zip", "pkgs/two.zip", "../three.zip", "..\\..\\four.zip"};
  for (const char* cab : cabs) {
    SCOPED_TRACE(cab);
    files_.clear();
    // Served at the path as written and as the client may shorten it.
    for (const char* path : {"/upd/pkgs/one.zip", "/upd/pkgs/two.zip", "/upd/../three.zip", "/three.zip",
                             "/upd/../../four.zip", "/four.zip"})
      files_[path] = "package bytes";
    auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
    update_.swap(update);
    Walk(std::string("[FILE_x.bin]\nCAB=") + cab + "\n");
    EXPECT_EQ(ArrivedBytes(), std::vector<std::string>{"package bytes"});
    EXPECT_TRUE(fs::is_empty(Prog("pkgs")));
    for (const char* name : {"one.zip", "two.zip", "three.zip", "four.zip"}) {
      EXPECT_FALSE(fs::exists(root_ / name));
      EXPECT_FALSE(fs::exists(root_.parent_path() / name));
    }
    RemoveArrived();
  }
  EXPECT_TRUE(errors_.empty()) << errors_[0];
}

// A package named like a file of the program's own arrives under a name of its own: the
// program's files keep their bytes, whichever folder of the server the package comes from.
TEST_F(WebUpdateTest, APackageNeverTakesTheNameOfAFileAlreadyThere) {
  const std::map<std::string, std::string> program = {{"Sorvel.exe", "the splash program"},
                                                      {"ZBEngine.dll", "the zip engine"},
                                                      {"Shell32.dll", "the shell library"},
                                                      {"Movrant.ini", "[UPDATE]\nURL=http://x/\n"}};
  for (const auto& f : program) WriteProg(f.first, f.second);
  files_["/upd/Sorvel.exe"] = "package 1";
  files_["/upd/bin/ZBEngine.dll"] = "package 2";
  files_["/upd/SHELL32.DLL"] = "package 3";
  files_["/upd/Movrant.ini"] = "package 4";
  Walk("[FILE_a.txt]\nCAB=Sorvel.exe\n"
       "[FILE_b.txt]\nCAB=bin\\ZBEngine.dll\n"
       "[FILE_c.txt]\nCAB=SHELL32.DLL\n"
       "[FILE_d.txt]\nCAB=Movrant.ini\n");
  EXPECT_EQ(server_->RequestCount(), 4);
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(ArrivedBytes(), (std::vector<std::string>{"package 1", "package 2", "package 3", "package 4"}));
  for (const auto& f : program) EXPECT_EQ(ReadUnix(Prog(f.first)), f.second) << f.first;
  EXPECT_FALSE(update_->IsRestart());  // the targets are data files
}

TEST_F(WebUpdateTest, LargeFilesKeepTheirCheckValueInTheRegistryUntilTheyChange) {
  std::string big(5000000, 'a');
  WriteProg("big.dat", big);
  AnsiString first = CheckValueOf("big.dat");
  ASSERT_FALSE(first.IsEmpty());

  AnsiString key = AnsiString("SOFTWARE\\Quorvex\\WebUpdater\\") + Dos("prog") + "\\big.dat";
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, false));
    EXPECT_EQ(reg.ReadString("SIZE").str(), "5000000");
    EXPECT_EQ(reg.ReadString("CRC"), first);
    struct stat st;
    ASSERT_EQ(stat(Prog("big.dat").c_str(), &st), 0);
    EXPECT_EQ(reg.ReadString("MTIME").str(), std::to_string(st.st_mtime));
  }

  // Same size and time, other bytes: the cache answers without reading the file.
  struct stat st;
  ASSERT_EQ(stat(Prog("big.dat").c_str(), &st), 0);
  big[100] = 'b';
  WriteProg("big.dat", big);
  utimbuf times{st.st_atime, st.st_mtime};
  ASSERT_EQ(utime(Prog("big.dat").c_str(), &times), 0);
  EXPECT_EQ(CheckValueOf("big.dat"), first);

  // A new time: read again, and the cache rewritten.
  utimbuf later{st.st_atime, st.st_mtime + 10};
  ASSERT_EQ(utime(Prog("big.dat").c_str(), &later), 0);
  AnsiString second = CheckValueOf("big.dat");
  EXPECT_NE(second, first);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(key, false));
  EXPECT_EQ(reg.ReadString("CRC"), second);
  EXPECT_EQ(reg.ReadString("MTIME").str(), std::to_string(st.st_mtime + 10));
}

TEST_F(WebUpdateTest, SmallAndMissingFilesAreNotCached) {
  WriteProg("small.dat", std::string(4000000, 'x'));
  EXPECT_FALSE(CheckValueOf("small.dat").IsEmpty());
  EXPECT_TRUE(CheckValueOf("absent.dat").IsEmpty());
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(AnsiString("SOFTWARE\\Quorvex\\WebUpdater\\") + Dos("prog") + "\\small.dat", false));
}

TEST_F(WebUpdateTest, CheckValuesWithTheTopBitSetAreNegativeText) {
  // Find a content whose check value has the top bit set, and one whose value has it clear.
  for (int i = 0; i < 64; ++i) {
    WriteProg("v.dat", "value " + std::to_string(i));
    unsigned int raw = 0;
    ASSERT_EQ(FileChecksum(Dos("prog/v.dat"), raw), 1);
    std::string text = CheckValueOf("v.dat").str();
    EXPECT_EQ(text, std::to_string(int(raw)));
    EXPECT_EQ(text[0] == '-', (raw & 0x80000000u) != 0);
    if (raw & 0x80000000u) {
      // The list's negative text matches: nothing fetched.
      files_["/upd/pkg.zip"] = "package bytes";
      Walk("[FILE_v.dat]\nCAB=pkg.zip\nCRC=" + text + "\n");
      EXPECT_EQ(server_->RequestCount(), 0);
      return;
    }
  }
  FAIL() << "no content with a negative check value";
}

TEST_F(WebUpdateTest, ExecuteWithoutAListOrWithoutPackagesRunsNoHelper) {
  AnsiString helper = RemoveDoubleBackslash(GetTempDirectory() + "\\qvrxupd.exe");
  const struct {
    const char* label;
    bool listThere;
    std::string list;
    bool result;
  } cases[] = {
      {"no list", false, "", false},
      {"empty list", true, "; nothing\n", true},
      {"nothing to fetch", true, "[FILE_absent.bin]\nCAB=pkg.zip\nONLYEXISTS=1\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    files_.clear();
    if (c.listThere) files_["/upd/Movrant.inf"] = c.list;
    auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
    std::vector<std::string> infoFiles;
    update->OnInfoFile = [&](TObject* sender, AnsiString path) {
      EXPECT_EQ(sender, update.get());
      infoFiles.push_back(path.str());
      EXPECT_TRUE(FileExists(path));
    };
    int uncompress = 0, restart = 0;
    update->OnUncompress = [&](TObject*) { ++uncompress; };
    update->OnRestart = [&](TObject*) { ++restart; };
    SetCurrentDir(RootDos());
    EXPECT_EQ(update->Execute((Base() + "/Movrant.inf").c_str()), c.result);
    EXPECT_EQ(GetCurrentDir(), RootDos());  // the directory is restored
    EXPECT_EQ(infoFiles.size(), c.result ? 1u : 0u);
    for (const auto& path : infoFiles) EXPECT_FALSE(FileExists(path.c_str()));  // deleted after the walk
    EXPECT_EQ(uncompress + restart, 0);
    EXPECT_FALSE(update->IsRestart());
    EXPECT_FALSE(FileExists(helper));
  }
}

// A long list (thousands of entries) lets the window's messages in while it is walked: a close
// asked meanwhile (the program terminating) ends the walk, so that no package is fetched and no
// helper starts.
TEST_F(WebUpdateTest, ACloseDuringTheWalkOfALongListFetchesNothingMore) {
  std::string list;
  for (int i = 0; i < 2000; ++i) list += "[FILE_absent" + std::to_string(i) + ".bin]\nCAB=pkg.zip\nONLYEXISTS=1\n";
  list += "[FILE_data.bin]\nCAB=pkg.zip\n";
  files_["/upd/Movrant.inf"] = list;
  files_["/upd/pkg.zip"] = "package bytes";
  uitest::AnswerMessageBoxes(IDOK);
  auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
  int uncompress = 0, restart = 0;
  update->OnUncompress = [&](TObject*) { ++uncompress; };
  update->OnRestart = [&](TObject*) { ++restart; };
  TTimer close(nullptr);
  close.Interval = 1;
  close.OnTimer = [&](TObject*) {
    if (server_->RequestCount() == 0) return;
    close.Enabled = false;
    Application->Terminate();
  };
  close.Enabled = true;
  before_ = ProgFiles();
  EXPECT_FALSE(update->Execute((Base() + "/Movrant.inf").c_str()));
  EXPECT_FALSE(close.Enabled);
  EXPECT_EQ(server_->RequestCount(), 1);  // the list only
  EXPECT_EQ(uncompress + restart, 0);
  EXPECT_FALSE(update->IsRestart());
  EXPECT_TRUE(Arrived().empty());
  uitest::ResetApplication();
  uitest::SetMessageBoxHook(nullptr);
  uitest::ClearShownBoxes();
}

// This test program carries no helper resource: both modes say so and the command then fails
// with the system's message; the restart, which ends the program, leaves its package. A helper
// left in the temporary folder by an earlier run is not taken for the missing one.
TEST_F(WebUpdateTest, WithoutTheHelperResourceBothModesReportIt) {
  const struct {
    const char* label;
    std::string list;
    bool restart;
  } cases[] = {
      {"unpack", "[FILE_data.bin]\nCAB=pkg.zip\n", false},
      {"restart", "[FILE_Plain.dll]\nCAB=pkg.zip\nVERSION=1.0\n", true},
  };
  AnsiString helper = RemoveDoubleBackslash(GetTempDirectory() + "\\qvrxupd.exe");
  uitest::AnswerMessageBoxes(IDOK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    uitest::ClearShownBoxes();
    uitest::ResetApplication();
    files_.clear();
    files_["/upd/Movrant.inf"] = c.list;
    files_["/upd/pkg.zip"] = "package bytes";
    auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
    int uncompress = 0, restart = 0;
    update->OnUncompress = [&](TObject*) { ++uncompress; };
    update->OnRestart = [&](TObject*) { ++restart; };
    SetCurrentDir(RootDos());
    before_ = ProgFiles();
    fs::path stale = winplat::DosToUnix(helper.str());
    std::ofstream(stale) << "#!/bin/sh\necho \"$@\" > '" << (root_ / "stale-ran").string() << "'\n";
    fs::permissions(stale, fs::perms::owner_all);

    EXPECT_TRUE(update->Execute((Base() + "/Movrant.inf").c_str()));

    EXPECT_EQ(update->IsRestart(), c.restart);
    EXPECT_EQ(uncompress, c.restart ? 0 : 1);
    EXPECT_EQ(restart, c.restart ? 1 : 0);
    const auto& boxes = uitest::ShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.str(), "WebUpdate Resource 가 없습니다.");
    EXPECT_EQ(boxes[0].caption.str(), "Resource Error !");
    EXPECT_EQ(boxes[0].flags, MB_ICONERROR);
    EXPECT_FALSE(boxes[1].text.IsEmpty());  // the system's text for the failed start
    // The restart leaves its package for the helper that did not start; the unpack run, whose
    // helper has ended, leaves none behind.
    EXPECT_EQ(ArrivedBytes(), c.restart ? std::vector<std::string>{"package bytes"} : std::vector<std::string>());
    EXPECT_EQ(Application->Terminated, c.restart);  // a restart ends the program all the same
    EXPECT_FALSE(fs::exists(root_ / "stale-ran"));
    EXPECT_EQ(GetCurrentDir(), RootDos());
    RemoveArrived();
  }
  uitest::ResetApplication();
  uitest::SetMessageBoxHook(nullptr);
  uitest::ClearShownBoxes();
}

// A package that does not arrive whole leaves nothing in the program folder, however its
// transfer fails: its bytes went to a file of its own, which is deleted with the failure.
TEST_F(WebUpdateTest, APackageThatDoesNotArriveWholeLeavesNothingBehind) {
  const struct {
    const char* label;
    HttpReply reply;
  } cases[] = {
      {"not found", HttpReply::Status(404, "Not Found")},
      {"cut short", [] {
         HttpReply r = HttpReply::Generated(300000);
         r.cutAfter = 120000;
         return r;
       }()},
      {"reset", [] {
         HttpReply r = HttpReply::Generated(300000);
         r.cutAfter = 5000;
         r.reset = true;
         return r;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    errors_.clear();
    server_->SetHandler([&](const HttpRequest&) { return c.reply; });
    Walk("[FILE_a.bin]\nCAB=pkg.zip\n");
    EXPECT_EQ(ProgFiles(), before_);
    EXPECT_EQ(errors_, std::vector<std::string>{"화일에 받을 수 없습니다.[pkg.zip]"});
  }
}

// Packages a restart leaves (its helper runs after the program has ended, and may not unpack
// them) are deleted by the next run before it fetches its own: after three runs one is left. A
// file of that kind of name that the program did not make stays.
TEST_F(WebUpdateTest, EachRunFirstDeletesThePackagesTheRunsBeforeItLeft) {
  WriteProg("qvu1.TMP", "a file of the user's");
  const std::map<std::string, std::string> before = ProgFiles();
  files_["/upd/Movrant.inf"] = "[FILE_Plain.dll]\nCAB=pkg.zip\nVERSION=1.0\n";
  uitest::AnswerMessageBoxes(IDOK);
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    files_["/upd/pkg.zip"] = "package " + std::to_string(run);
    uitest::ResetApplication();
    auto update = std::make_unique<TTestWebUpdate>(Dos("prog"));
    EXPECT_TRUE(update->Execute((Base() + "/Movrant.inf").c_str()));
    EXPECT_TRUE(update->IsRestart());
    before_ = before;
    EXPECT_EQ(ArrivedBytes(), std::vector<std::string>{"package " + std::to_string(run)});
    EXPECT_EQ(ReadUnix(Prog("qvu1.TMP")), "a file of the user's");
  }
  uitest::ResetApplication();
  uitest::SetMessageBoxHook(nullptr);
  uitest::ClearShownBoxes();
}

// A package named like the running program cannot take its place: the program stays whole.
TEST_F(WebUpdateTest, APackageNamedLikeTheRunningProgramLeavesTheProgramWhole) {
  fs::copy_file("/bin/sleep", Prog("MovrantPavo.exe"));
  fs::permissions(Prog("MovrantPavo.exe"), fs::perms::owner_all);
  const std::string program = ReadUnix(Prog("MovrantPavo.exe"));
  const char* argv[] = {"MovrantPavo.exe", "30", nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, Prog("MovrantPavo.exe").c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  std::error_code ec;
  const fs::path exe = "/proc/" + std::to_string(pid) + "/exe";
  for (int waited = 0; fs::read_symlink(exe, ec) != Prog("MovrantPavo.exe") && waited < 20000; waited += 5) Sleep(5);
  ASSERT_EQ(fs::read_symlink(exe, ec), Prog("MovrantPavo.exe"));
  files_["/upd/MovrantPavo.exe"] = "package bytes";
  auto fetched = Walk("[FILE_MovrantPavo.exe]\nCAB=MovrantPavo.exe\nVERSION=9.0.0.0\n");
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  // The package arrives beside it, for the helper to put in its place after the restart.
  EXPECT_EQ(fetched, std::vector<std::string>{"/upd/MovrantPavo.exe"});
  EXPECT_TRUE(errors_.empty());
  EXPECT_TRUE(update_->IsRestart());
  EXPECT_EQ(ArrivedBytes(), std::vector<std::string>{"package bytes"});
  EXPECT_EQ(ReadUnix(Prog("MovrantPavo.exe")), program);
}

TEST_F(WebUpdateTest, AHelperLeftOverFromAnEarlierRunIsDeletedOnCreation) {
  AnsiString helper = RemoveDoubleBackslash(GetTempDirectory() + "\\qvrxupd.exe");
  std::ofstream(winplat::DosToUnix(helper.str())) << "stale";
  ASSERT_TRUE(FileExists(helper));
  TTestWebUpdate update(Dos("prog"));
  EXPECT_FALSE(FileExists(helper));
  EXPECT_EQ(update.PacketSize, 102400);
}

}  // namespace
