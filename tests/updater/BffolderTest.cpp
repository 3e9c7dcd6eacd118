// The folder dialog component: flags by shell version, the selected folder, caption and
// status rules, and the callback's messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Bffolder.h"
#include "Forms.h"
#include "UiTest.h"
#include "winplat.h"

namespace {

class BffolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / ("bff-" + std::to_string(getpid()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "c" / "Data" / "Camera");
    std::filesystem::create_directories(root_ / "e");
    std::string drives = "C=" + (root_ / "c").string() + ",fixed;E=" + (root_ / "e").string() + ",removable,NAVI";
    setenv("WINPLAT_DRIVES", drives.c_str(), 1);
    winplat::ReloadDrives();
    unsetenv("WINPLAT_SHELL_VERSION");
  }
  void TearDown() override {
    uitest::SetFolderDialogHook(nullptr);
    unsetenv("WINPLAT_SHELL_VERSION");
    std::filesystem::remove_all(root_);
  }
  // Opens the dialog, lets the test see it, then cancels; returns the flags it was given.
  unsigned FlagsOf(TBffolder& b) {
    unsigned flags = 0;
    uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
      flags = d.Flags();
      d.Cancel();
    });
    EXPECT_FALSE(b.Execute());
    return flags;
  }
  std::filesystem::path root_;
};

struct FlagCase {
  const char* version;
  DWORD probed;
  TBffolderOptions options;
  unsigned flags;
};

TEST_F(BffolderTest, FlagsByShellVersion) {
  const FlagCase cases[] = {
      {"4.71", 0x00040047, TBffolderOptions{bffNewDialogStyle, bffShareable}, 0},
      {"4.0", 0x00040000, TBffolderOptions{bffEditBox, bffValidate, bffStatusText}, BIF_STATUSTEXT},
      {"4.71", 0x00040047, TBffolderOptions{bffEditBox, bffValidate}, BIF_EDITBOX | BIF_VALIDATE},
      {"5.0", 0x00050000, TBffolderOptions{bffNewDialogStyle, bffShareable}, BIF_NEWDIALOGSTYLE | BIF_SHAREABLE},
      {"5.0", 0x00050000, TBffolderOptions{bffNoNewFolderButton, bffReturnOnlyFSDirs}, BIF_RETURNONLYFSDIRS},
      {"6.0", 0x00060000, TBffolderOptions{bffUseNewUI, bffNewDialogStyle}, 0x50},
      {"6.0", 0x00060000, TBffolderOptions{bffNoNewFolderButton, bffUsageHint}, BIF_NONEWFOLDERBUTTON | BIF_UAHINT},
      {"none", 0, TBffolderOptions{bffBrowseForComputer, bffNewDialogStyle}, BIF_BROWSEFORCOMPUTER},
  };
  for (const FlagCase& c : cases) {
    setenv("WINPLAT_SHELL_VERSION", c.version, 1);
    TBffolder b(nullptr);
    EXPECT_EQ(b.ShellVersion(), c.probed) << c.version;
    b.Options = c.options;
    EXPECT_EQ(FlagsOf(b), c.flags) << c.version;
  }
}

TEST_F(BffolderTest, DefaultsAndTheShellAnswersSix) {
  TBffolder b(nullptr);
  EXPECT_EQ(b.ShellVersion(), DWORD(0x00060000));
  EXPECT_TRUE(b.EnableOK.get());
  EXPECT_EQ(b.RootDir.get(), rdDesktop);
  EXPECT_TRUE(b.Options.get() == TBffolderOptions{bffStatusText});
  EXPECT_EQ(b.SelectedDir.get(), AnsiString(""));
}

TEST_F(BffolderTest, SelectedDirLosesOnlyTheLastBackslashOfALongerPath) {
  const char* cases[][2] = {{"D:\\", "D:\\"}, {"D:\\Camera\\", "D:\\Camera"}, {"C:\\Data", "C:\\Data"},
                            {"Data\\", "Data\\"}, {"", ""}, {"\\\\srv\\", "\\\\srv\\"}};
  TBffolder b(nullptr);
  for (auto& c : cases) {
    b.SelectedDir = c[0];
    EXPECT_EQ(b.SelectedDir.get(), AnsiString(c[1])) << c[0];
  }
}

TEST_F(BffolderTest, AnEmptyCaptionKeepsThePreviousOne) {
  TBffolder b(nullptr);
  b.Caption = "first";
  b.Caption = "";
  EXPECT_EQ(b.Caption.get(), AnsiString("first"));
}

TEST_F(BffolderTest, ReturnsTheFolderTheUserSelects) {
  TBffolder b(nullptr);
  b.Title = "title";
  b.Caption = "caption";
  b.StatusText = "Status Text";
  b.SelectedDir = "C:\\Data\\";
  b.RootDir = rdDrives;
  b.Options = TBffolderOptions{bffNewDialogStyle, bffShareable};
  std::vector<AnsiString> changes;
  int initialized = 0;
  b.OnInitialized = [&](TObject*) { ++initialized; };
  b.OnSelectionChanged = [&](TObject*, AnsiString path) { changes.push_back(path); };
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    EXPECT_EQ(d.Title(), AnsiString("title"));
    EXPECT_EQ(d.Caption(), AnsiString("caption"));
    EXPECT_EQ(d.StatusText(), AnsiString("Status Text"));
    EXPECT_EQ(d.RootPath(), AnsiString("::drives"));
    EXPECT_EQ(d.SelectedPath(), AnsiString("C:\\Data"));  // the start selection
    EXPECT_TRUE(d.OkEnabled());
    EXPECT_TRUE(d.HasNewFolderButton());
    // While the dialog is up the properties reach it.
    b.StatusText = "changed";
    EXPECT_EQ(d.StatusText(), AnsiString("changed"));
    b.EnableOK = false;
    EXPECT_FALSE(d.OkEnabled());
    b.EnableOK = true;
    EXPECT_TRUE(d.Select("C:\\Data\\Camera"));
    d.Ok();
  });
  EXPECT_TRUE(b.Execute());
  EXPECT_EQ(b.SelectedDir.get(), AnsiString("C:\\Data\\Camera"));
  EXPECT_EQ(b.DisplayName(), AnsiString("Camera"));
  EXPECT_EQ(initialized, 1);
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.back(), AnsiString("C:\\Data\\Camera"));
}

// The camera download's dialog: Enter takes the folder it proposes.
TEST_F(BffolderTest, EnterConfirmsTheProposedFolder) {
  TBffolder b(nullptr);
  b.SelectedDir = "C:\\Data";
  b.RootDir = rdDrives;
  b.Options = TBffolderOptions{bffNewDialogStyle, bffShareable};
  bool newFolderBox = false;
  uitest::SetBoxHook([&](HWND box) {
    newFolderBox = true;
    uitest::PressButton(box, "취소");
  });
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    EXPECT_TRUE(uitest::PressKey(d.Handle(), VK_RETURN));
    if (d.IsOpen()) d.Cancel();
  });
  EXPECT_TRUE(b.Execute());
  uitest::SetBoxHook(nullptr);
  EXPECT_FALSE(newFolderBox);
  EXPECT_EQ(b.SelectedDir.get(), AnsiString("C:\\Data"));
}

TEST_F(BffolderTest, CancellingLeavesSelectedDir) {
  TBffolder b(nullptr);
  b.SelectedDir = "C:\\Data";
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    d.Select("C:\\Data\\Camera");
    d.Cancel();
  });
  EXPECT_FALSE(b.Execute());
  EXPECT_EQ(b.SelectedDir.get(), AnsiString("C:\\Data"));
}

struct ChoiceCase {
  const char* select;  // nullptr: confirm the start selection
  const char* selectedDir;
  const char* displayName;
};

TEST_F(BffolderTest, AnItemWithoutAPathIsStillAChoice) {
  const ChoiceCase cases[] = {
      {nullptr, "C:\\Data", "Data"},
      {"E:\\", "E:\\", "NAVI (E:)"},
      {"::drives", "", "내 컴퓨터"},
      {"", "", "바탕 화면"},
  };
  for (const ChoiceCase& c : cases) {
    TBffolder b(nullptr);
    b.SelectedDir = "C:\\Data";
    std::vector<AnsiString> changes;
    b.OnSelectionChanged = [&](TObject*, AnsiString path) { changes.push_back(path); };
    uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
      if (c.select) {
        EXPECT_TRUE(d.Select(c.select)) << c.select;
      }
      d.Ok();
    });
    const char* what = c.select ? c.select : "start";
    EXPECT_TRUE(b.Execute()) << what;
    EXPECT_EQ(b.SelectedDir.get(), AnsiString(c.selectedDir)) << what;
    EXPECT_EQ(b.DisplayName(), AnsiString(c.displayName)) << what;
    ASSERT_FALSE(changes.empty()) << what;
    EXPECT_EQ(changes.back(), AnsiString(c.selectedDir)) << what;
  }
}

TEST_F(BffolderTest, WritersReachTheDialogOnlyWhileItIsShown) {
  TBffolder b(nullptr);
  b.SelectedDir = "C:\\Data";
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    // Without a caption of its own the component takes the dialog's text.
    EXPECT_EQ(b.Caption.get(), d.Caption());
    EXPECT_FALSE(d.Caption().IsEmpty());
    b.Caption = "picked";
    EXPECT_EQ(d.Caption(), AnsiString("picked"));
    b.Caption = "";
    EXPECT_EQ(d.Caption(), AnsiString("picked"));
    b.SelectedDir = "C:\\Data\\Camera\\";
    EXPECT_EQ(b.SelectedDir.get(), AnsiString("C:\\Data\\Camera"));
    EXPECT_EQ(d.SelectedPath(), AnsiString("C:\\Data\\Camera"));
    d.Cancel();
  });
  EXPECT_FALSE(b.Execute());
  EXPECT_EQ(b.SelectedDir.get(), AnsiString("C:\\Data\\Camera"));
  EXPECT_EQ(b.Caption.get(), AnsiString("picked"));
  // The dialog is gone: the writers only store.
  b.StatusText = "after";
  b.EnableOK = false;
  b.SelectedDir = "D:\\Camera\\";
  EXPECT_EQ(b.SelectedDir.get(), AnsiString("D:\\Camera"));
}

TEST_F(BffolderTest, ValidateFailedKeepsTheDialogOpenWhenAsked) {
  TBffolder b(nullptr);
  b.Options = TBffolderOptions{bffEditBox, bffValidate};
  int calls = 0;
  b.OnValidateFailed = [&](TObject*, AnsiString name, bool& keep) {
    ++calls;
    EXPECT_EQ(name, AnsiString("nowhere"));
    keep = calls == 1;
  };
  bool stillOpen = false;
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    EXPECT_TRUE(d.HasEditBox());
    d.Select("C:\\Data");
    d.TypeName("nowhere");
    d.Ok();
    stillOpen = d.IsOpen();
    d.Ok();  // the second answer closes it
  });
  EXPECT_FALSE(b.Execute());
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(calls, 2);
}

TEST_F(BffolderTest, RootAtTheSelectedDir) {
  TBffolder b(nullptr);
  b.RootDir = rdUseSelectedDir;
  b.SelectedDir = "C:\\Data";
  AnsiString root;
  uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
    root = d.RootPath();
    d.Cancel();
  });
  b.Execute();
  EXPECT_EQ(root, AnsiString("C:\\Data"));
}

struct RootCase {
  TBffRootDir root;
  const char* selectedDir;
  const char* rootPath;
};

TEST_F(BffolderTest, RootFolders) {
  const RootCase cases[] = {
      {rdDesktop, "C:\\Data", ""},
      {rdDrives, "C:\\Data", "::drives"},
      {rdPrinters, "C:\\Data", ""},  // no such folder here: no root, the desktop's tree
      {rdUseSelectedDir, "C:\\Data\\Camera", "C:\\Data\\Camera"},
      {rdUseSelectedDir, "", ""},
      {rdUseSelectedDir, "C:\\Nowhere", ""},
  };
  for (const RootCase& c : cases) {
    TBffolder b(nullptr);
    b.RootDir = c.root;
    b.SelectedDir = c.selectedDir;
    AnsiString root = "unset";
    uitest::SetFolderDialogHook([&](uitest::FolderDialog& d) {
      root = d.RootPath();
      d.Cancel();
    });
    EXPECT_FALSE(b.Execute());
    EXPECT_EQ(root, AnsiString(c.rootPath)) << int(c.root) << " " << c.selectedDir;
  }
}

}  // namespace
