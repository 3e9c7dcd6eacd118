// Deleting through the shell and starting files that are not there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

}  // namespace
