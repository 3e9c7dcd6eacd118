// The program's own files and one file by two names are told by what a path leads to, not by
// how it is spelled: a link to the program folder, or a drive rooted in it, reaches the same
// files as the folder's own name.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "QuorvexUtil.h"
#include "TestEnvironment.h"
#include "winplat.h"

namespace fs = std::filesystem;

namespace {

class ProgramOwnFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/program-own-XXXXXX";
    root_ = mkdtemp(tmpl);
    program_ = fs::canonical("/proc/self/exe").parent_path();
    fs::create_directory_symlink(program_, root_ / "link");
    fs::create_directories(root_ / "data");
    fs::create_directory_symlink(root_ / "data", root_ / "datalink");
    testsupport::WriteUnix(root_ / "data/a.txt", "a");
    testsupport::WriteUnix(root_ / "data/b.txt", "b");
    testsupport::WriteUnix(root_ / "plain.dll", "not the program's");
    // P: is the program folder, Q: the test's folder.
    env_.Set("WINPLAT_DRIVES", "C=/,fixed;P=" + program_.string() + ",fixed;Q=" + root_.string() + ",fixed");
    winplat::ReloadDrives();
  }
  void TearDown() override {
    env_.Restore();
    winplat::ReloadDrives();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path root_, program_;
  testsupport::SavedEnvironment env_;
};

std::string OnC(const fs::path& unixPath) {
  std::string dos = "C:" + unixPath.string();
  for (char& c : dos)
    if (c == '/') c = '\\';
  return dos;
}

TEST_F(ProgramOwnFileTest, TheProgramFolderIsKnownByAnySpellingThatLeadsThere) {
  // A library of the program's and its pages' folder, only for this test, and links to them.
  struct ProgramFiles {
    fs::path folder;
    bool madePages = fs::create_directory(folder / "HTML");
    ~ProgramFiles() {
      std::error_code ec;
      fs::remove(folder / "OwnProbe.dll", ec);
      if (madePages) fs::remove(folder / "HTML", ec);
    }
  } made{program_};
  testsupport::WriteUnix(program_ / "OwnProbe.dll", "library");
  fs::create_directory_symlink(program_ / "HTML", root_ / "pages");
  fs::create_symlink(program_ / "OwnProbe.dll", root_ / "alias.bin");
  const std::string link = OnC(root_ / "link");
  const struct {
    std::string path;
    bool own;
  } cases[] = {
      {OnC(program_ / "ZBEngine.dll"), true},
      {OnC(program_ / "Data.bin"), false},
      {link + "\\ZBEngine.dll", true},
      {link + "\\movrant.INI", true},
      {link + "\\New.exe.", true},
      {link + "\\HTML\\new\\page.html", true},
      {link + "\\Data.bin", false},
      {link + "\\Sub\\x.dll", false},
      {link, false},
      {"P:\\ReviewProbe.dll", true},
      {"P:\\HTML", true},
      {"P:\\Data\\x.dll", false},
      {"Q:\\link\\Sorvel.exe", true},
      {OnC(root_ / "pages") + "\\new.html", true},
      {"Q:\\pages", true},
      // Another name of one of the program's files.
      {OnC(root_ / "alias.bin"), true},
      {OnC(root_ / "plain.dll"), false},
      {"Q:\\data\\a.txt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsProgramOwnFile(c.path.c_str()), c.own) << c.path;
}

TEST_F(ProgramOwnFileTest, TwoPathsAreOneFileWhenTheyLeadToOne) {
  const std::string data = OnC(root_ / "data"), datalink = OnC(root_ / "datalink");
  const struct {
    std::string a, b;
    bool same;
  } cases[] = {
      {data + "\\a.txt", data + "\\A.TXT.", true},
      {data + "\\a.txt", datalink + "\\a.txt", true},
      {data + "\\a.txt", "Q:\\datalink\\A.txt", true},
      {data + "\\new.txt", datalink + "\\NEW.txt", true},
      {"Q:\\data\\new.txt", data + "\\new.txt ", true},
      {data + "\\a.txt", data + "\\b.txt", false},
      {data + "\\a.txt", datalink + "\\new.txt", false},
      {data + "\\new.txt", datalink + "\\a.txt", false},
      {data + "\\new.txt", OnC(root_ / "new.txt"), false},
      {data + "\\none\\new.txt", datalink + "\\none\\new.txt", true},
      {data + "\\none\\new.txt", OnC(root_ / "none/new.txt"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SamePath(c.a.c_str(), c.b.c_str()), c.same) << c.a << " | " << c.b;
    EXPECT_EQ(SamePath(c.b.c_str(), c.a.c_str()), c.same) << c.b << " | " << c.a;
  }
}

}  // namespace
