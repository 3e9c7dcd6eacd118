// Deleting through the shell and starting files that are not there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "TestEnvironment.h"

#include "shellapi.h"
#include "windows.h"
#include "winplat.h"

namespace {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / ("ui-shell-" + std::to_string(getpid()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "c" / "dir" / "sub");
    std::ofstream(root_ / "c" / "file.txt") << "x";
    std::ofstream(root_ / "c" / "dir" / "sub" / "inner.txt") << "y";
    setenv("WINPLAT_DRIVES", ("C=" + (root_ / "c").string() + ",fixed").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    winplat::ReloadDrives();
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  int Delete(const std::string& list, WORD flags) {
    std::string from = list + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = flags;
    return SHFileOperationA(&op);
  }
  std::filesystem::path root_;
};

TEST_F(ShellTest, DeleteRemovesFilesAndFoldersWithTheirContents) {
  EXPECT_EQ(Delete(std::string("C:\\file.txt") + '\0' + "C:\\dir", FOF_SILENT | FOF_NOCONFIRMATION), 0);
  EXPECT_FALSE(std::filesystem::exists(root_ / "c" / "file.txt"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "c" / "dir"));
}

TEST_F(ShellTest, DeleteWithUndoMovesToTheTrash) {
  EXPECT_EQ(Delete("C:\\file.txt", FOF_ALLOWUNDO | FOF_SILENT), 0);
  EXPECT_FALSE(std::filesystem::exists(root_ / "c" / "file.txt"));
  EXPECT_TRUE(std::filesystem::exists(root_ / "data" / "Trash" / "files" / "file.txt"));
  EXPECT_TRUE(std::filesystem::exists(root_ / "data" / "Trash" / "info" / "file.txt.trashinfo"));
}

TEST_F(ShellTest, MissingNamesAndOtherOperationsFail) {
  EXPECT_NE(Delete("C:\\nothing.txt", FOF_SILENT), 0);
  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_COPY;
  op.pFrom = "C:\\file.txt\0";
  EXPECT_NE(SHFileOperationA(&op), 0);
  EXPECT_TRUE(std::filesystem::exists(root_ / "c" / "file.txt"));
  EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", "C:\\missing.exe", nullptr, "", SW_SHOWNORMAL)), 32);
  EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "print", "C:\\file.txt", nullptr, "", SW_SHOWNORMAL)), 32);
}

// The parent of a process, 0 when it is gone (reaped).
pid_t ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0;
  std::istringstream rest(line.substr(line.rfind(')') + 1));
  char state = 0;
  pid_t parent = 0;
  rest >> state >> parent;
  return parent;
}

// URLs and folders go to the desktop's opener; each one it started is reaped when it ends.
TEST_F(ShellTest, EveryOpenerStartedIsReaped) {
  testsupport::SavedEnvironment env;
  const auto bin = root_ / "bin";
  const auto pids = root_ / "pids";
  testsupport::WriteUnix(bin / "xdg-open", "#!/bin/sh\necho $$ >> '" + pids.string() + "'\n", true);
  env.Set("PATH", bin.string() + ":/usr/bin:/bin");
  const int kCalls = 20;
  for (int i = 0; i < kCalls; ++i) {
    const char* target = i % 2 ? "C:\\dir" : "http://www.quorvex.example/help";
    EXPECT_GT(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", target, nullptr, "", SW_SHOWNORMAL)), 32);
  }
  std::vector<pid_t> started;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    started.clear();
    std::ifstream in(pids);
    for (pid_t pid; in >> pid;) started.push_back(pid);
    if (started.size() >= size_t(kCalls)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(started.size(), size_t(kCalls));
  for (pid_t pid : started) {
    while (ParentOf(pid) == getpid() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(ParentOf(pid), getpid()) << "opener " << pid << " stays a zombie of this process";
  }
}

// Without an opener there is no association: an error, as Windows gives for a missing one.
TEST_F(ShellTest, WithoutAnOpenerUrlsAndFoldersFail) {
  testsupport::SavedEnvironment env;
  std::filesystem::create_directories(root_ / "empty");
  env.Set("PATH", (root_ / "empty").string());
  for (const char* target : {"http://www.quorvex.example/help", "C:\\dir", "C:\\file.txt"}) {
    SCOPED_TRACE(target);
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", target, nullptr, "", SW_SHOWNORMAL)), 32);
  }
}

}  // namespace
