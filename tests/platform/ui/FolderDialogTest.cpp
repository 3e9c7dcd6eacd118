// The folder dialog of SHBrowseForFolderA as a user works it: the keys it opens with and the
// new-folder box, which makes only a folder directly in the selected one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Forms.h"
#include "UiTest.h"
#include "shlobj.h"
#include "winplat.h"

namespace fs = std::filesystem;

namespace {

AnsiString K(const char* utf8) { return AnsiString(winplat::Utf8ToCp949(utf8)); }

// A desktop theme whose dialog buttons carry stock icons (as GNOME's and KDE's do).
class IconButtonsStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_DialogButtonBox_ButtonsHaveIcons) return 1;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

class FolderDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::ResetApplication();
    uitest::ClearShownBoxes();
    root_ = fs::temp_directory_path() / ("folderdialog-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "c" / "Data" / "Seoul");
    fs::create_directories(root_ / "c" / "Work");
    std::ofstream(root_ / "c" / "Data" / "notes.txt") << "x";
    setenv("WINPLAT_DRIVES", ("C=" + (root_ / "c").string() + ",fixed").c_str(), 1);
    winplat::ReloadDrives();
  }
  void TearDown() override {
    uitest::SetFolderDialogHook(nullptr);
    uitest::SetBoxHook(nullptr);
    uitest::SetMessageBoxHook(nullptr);
    uitest::ResetApplication();
    unsetenv("WINPLAT_DRIVES");
    winplat::ReloadDrives();
    fs::remove_all(root_);
  }
  // Every path under the drive's folder.
  std::set<std::string> Tree() const {
    std::set<std::string> all;
    for (auto& e : fs::recursive_directory_iterator(root_ / "c")) all.insert(fs::relative(e.path(), root_ / "c").string());
    return all;
  }
  // Runs the dialog (new dialog style, so with its new-folder button); the hook works it.
  // Answers the chosen folder's path, "" when cancelled.
  std::string Browse(std::function<void(uitest::FolderDialog&)> hook) {
    uitest::SetFolderDialogHook(std::move(hook));
    char name[MAX_PATH] = {0};
    BROWSEINFOA bi{};
    bi.pszDisplayName = name;
    bi.lpszTitle = "folder";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&bi);
    if (!chosen) return "";
    char path[MAX_PATH] = {0};
    SHGetPathFromIDListA(chosen, path);
    LPMALLOC allocator = nullptr;
    SHGetMalloc(&allocator);
    allocator->Free(chosen);
    return path;
  }
  fs::path root_;
};

struct NameCase {
  std::string typed;
  const char* message;  // UTF-8; nullptr: the folder is made
  const char* made;     // the folder that appears under C:\Data (nullptr: the name as typed)
};

TEST_F(FolderDialogTest, TheNewFolderBoxMakesOnlyAValidNewFolderDirectlyInTheSelectedOne) {
  const char* badCharacters = "파일 이름에는 다음 문자를 사용할 수 없습니다:\n\\ / : * ? \" < > |";
  const char* exists = "같은 이름의 파일이나 폴더가 이미 있습니다. 다른 이름을 지정하십시오.";
  const char* tooLong = "파일 이름이 너무 깁니다. 더 짧은 이름을 지정하십시오.";
  const char* device = "지정한 장치 이름이 잘못되었습니다.";
  const NameCase cases[] = {
      {"a*b?c<d>e|f\"g:h", badCharacters, nullptr},
      {"..\\..\\..\\..\\escaped1", badCharacters, nullptr},
      {"../escaped2", badCharacters, nullptr},
      {"sub\\deeper", badCharacters, nullptr},
      {"tab\there", badCharacters, nullptr},
      {"..", "파일 이름을 입력해야 합니다.", nullptr},
      {"seoul", exists, nullptr},
      {"NOTES.TXT", exists, nullptr},
      {std::string(300, 'x'), tooLong, nullptr},
      {std::string(240, 'y'), tooLong, nullptr},  // the name fits, the path does not
      {std::string(239, 'z'), nullptr, nullptr},  // the longest path a folder can have
      {"Maps", nullptr, "Maps"},
      {"Camera. ", nullptr, "Camera"},  // Windows drops trailing dots and blanks
      // Devices' names, which Windows cannot open or delete as folders, on a stick neither.
      {"CON", device, nullptr},
      {"nul", device, nullptr},
      {"Aux", device, nullptr},
      {"PRN", device, nullptr},
      {"COM1", device, nullptr},
      {"lpt9", device, nullptr},
      {"con.txt", device, nullptr},
      {"NUL. . ", device, nullptr},
      {"com3 .dat", device, nullptr},
      {"CONSOLE", nullptr, nullptr},
      {"COM10", nullptr, nullptr},
  };
  for (const NameCase& c : cases) {
    std::set<std::string> before = Tree();
    std::vector<AnsiString> messages;
    uitest::SetMessageBoxHook([&](const AnsiString& text, const AnsiString&, int) {
      messages.push_back(text);
      return IDOK;
    });
    bool boxOpen = false, stillOpenAfterOk = false;
    AnsiString selected;
    Browse([&](uitest::FolderDialog& d) {
      EXPECT_TRUE(d.Select("C:\\Data"));
      uitest::SetBoxHook([&](HWND box) {
        boxOpen = true;
        EXPECT_TRUE(uitest::TypeText(box, K(c.typed.c_str())));
        EXPECT_TRUE(uitest::PressButton(box, K("확인")));
        stillOpenAfterOk = uitest::DescribeWindow(box).visible;
        if (stillOpenAfterOk) uitest::PressButton(box, K("취소"));
      });
      EXPECT_TRUE(uitest::PressButton(d.Handle(), K("새 폴더 만들기")));
      selected = d.SelectedPath();
      d.Cancel();
    });
    uitest::SetBoxHook(nullptr);
    const std::string& what = c.typed;
    ASSERT_TRUE(boxOpen) << what;
    std::set<std::string> after = Tree();
    if (c.message) {
      ASSERT_EQ(messages.size(), 1u) << what;
      EXPECT_EQ(messages[0], K(c.message)) << what;
      EXPECT_TRUE(stillOpenAfterOk) << what;  // the name can be mended
      EXPECT_EQ(after, before) << what;
      EXPECT_EQ(selected, AnsiString("C:\\Data")) << what;
    } else {
      std::string made = c.made ? c.made : c.typed;
      EXPECT_TRUE(messages.empty()) << what;
      EXPECT_FALSE(stillOpenAfterOk) << what;
      std::set<std::string> expected = before;
      expected.insert("Data/" + made);
      EXPECT_EQ(after, expected) << what;
      EXPECT_EQ(selected, AnsiString("C:\\Data\\") + made.c_str()) << what;
    }
  }
}

TEST_F(FolderDialogTest, TheNewFolderBoxAsksInKoreanWithTheMessageBoxesButtons) {
  Application->Initialize();
  QString style = QApplication::style()->name();
  QApplication::setStyle(new IconButtonsStyle(QStyleFactory::create(style)));
  uitest::WindowFacts facts, messageFacts;
  // A message box as the layer shows it, for its buttons.
  uitest::SetBoxHook([&](HWND box) {
    messageFacts = uitest::DescribeWindow(box);
    uitest::PressButton(box, K("취소"));
  });
  MessageBoxA(nullptr, "text", "caption", MB_OKCANCEL);
  Browse([&](uitest::FolderDialog& d) {
    d.Select("C:\\Data");
    uitest::SetBoxHook([&](HWND box) {
      facts = uitest::DescribeWindow(box);
      uitest::PressButton(box, K("취소"));
    });
    uitest::PressButton(d.Handle(), K("새 폴더 만들기"));
    d.Cancel();
  });
  QApplication::setStyle(QStyleFactory::create(style));
  ASSERT_TRUE(facts.exists);
  EXPECT_EQ(facts.texts, std::vector<AnsiString>{K("새 폴더 이름을 입력하십시오:")});
  EXPECT_EQ(facts.buttons, messageFacts.buttons);
  EXPECT_EQ(facts.buttons, (std::vector<AnsiString>{K("확인"), K("취소")}));
  EXPECT_FALSE(messageFacts.buttonIcons);
  EXPECT_FALSE(facts.buttonIcons);
  EXPECT_EQ(facts.defaultButton, K("확인"));
  EXPECT_EQ(Tree().count("Data/Seoul"), 1u);
}

TEST_F(FolderDialogTest, TheDialogOpensWithOkAsTheDefaultAndTheFocusInTheTree) {
  uitest::WindowFacts facts;
  bool newFolderBox = false;
  AnsiString afterDown;
  std::string chosen = Browse([&](uitest::FolderDialog& d) {
    facts = uitest::DescribeWindow(d.Handle());
    EXPECT_TRUE(d.Select("C:\\Data"));
    uitest::SetBoxHook([&](HWND box) {
      newFolderBox = true;
      uitest::PressButton(box, K("취소"));
    });
    // The arrow keys move in the tree, Enter confirms what they reached.
    EXPECT_TRUE(uitest::PressKey(d.Handle(), VK_DOWN));
    afterDown = d.SelectedPath();
    EXPECT_TRUE(uitest::PressKey(d.Handle(), VK_RETURN));
    if (d.IsOpen()) d.Cancel();
  });
  EXPECT_EQ(facts.defaultButton, K("확인"));
  EXPECT_EQ(afterDown, AnsiString("C:\\Work"));
  EXPECT_FALSE(newFolderBox);
  EXPECT_EQ(chosen, "C:\\Work");
}

}  // namespace
