// Window style words and the per-user window table across two processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Forms.h"
#include "UiTest.h"

extern char** environ;

namespace {

// The border styles of the page commands: bits set, bits cleared, tool window.
struct BorderCase {
  int style;
  LONG set, clear;
  int tool;  // 1 set, 0 cleared, -1 unchanged
};
const BorderCase kBorders[] = {
    {0, 0, 0x00C70000, 0},          {1, 0x00C30000, 0x00040000, 0}, {2, 0x00C70000, 0, 0},
    {3, 0x00C00000, 0x00070000, 0}, {4, 0x00C00000, 0x00070000, 1}, {5, 0x00C40000, 0x00030000, 1},
};

TEST(WindowStyles, TheSixBorderStylesRoundTrip) {
  for (const BorderCase& c : kBorders) {
    TForm form(nullptr, 0);
    form.BorderStyle = bsNone;
    form.ClientWidth = 300;
    form.ClientHeight = 300;
    HWND h = form.Handle;
    LONG style = GetWindowLongA(h, GWL_STYLE);
    LONG ex = GetWindowLongA(h, GWL_EXSTYLE);
    style = (style | c.set) & ~c.clear;
    if (c.tool == 1) ex |= WS_EX_TOOLWINDOW;
    if (c.tool == 0) ex &= ~LONG(WS_EX_TOOLWINDOW);
    SetWindowLongA(h, GWL_STYLE, style);
    SetWindowLongA(h, GWL_EXSTYLE, ex);
    int width = form.Width, height = form.Height;
    EXPECT_TRUE(SetWindowPos(h, nullptr, 0, 0, 0, 0, 0x37));
    EXPECT_EQ(GetWindowLongA(h, GWL_STYLE) & ~LONG(WS_VISIBLE), style & ~LONG(WS_VISIBLE)) << c.style;
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE), ex) << c.style;
    // The frame changed, the outer rectangle did not: the client area takes the difference.
    EXPECT_EQ(form.Width.get(), width) << c.style;
    EXPECT_EQ(form.Height.get(), height) << c.style;
    int caption = (style & 0x00C00000) == 0x00C00000 ? ((ex & WS_EX_TOOLWINDOW) ? 15 : 19) : 0;
    int border = (style & WS_THICKFRAME) ? 4 : (style & WS_DLGFRAME) ? 3 : (style & WS_BORDER) ? 1 : 0;
    EXPECT_EQ(form.ClientHeight.get(), 300 - caption - 2 * border) << c.style;
    EXPECT_EQ(form.ClientWidth.get(), 300 - 2 * border) << c.style;
    EXPECT_EQ(form.BorderStyle.get(), bsNone);  // the property keeps its design value
  }
}

TEST(WindowStyles, BorderStylesGiveTheirStyleWords) {
  struct Case {
    TFormBorderStyle b;
    LONG on, off, exOn;
  } cases[] = {
      {bsNone, LONG(WS_POPUP), WS_CAPTION | WS_THICKFRAME, 0},
      {bsSingle, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, WS_THICKFRAME, 0},
      {bsSizeable, WS_CAPTION | WS_THICKFRAME, 0, 0},
      {bsDialog, WS_CAPTION, WS_THICKFRAME | WS_MINIMIZEBOX, WS_EX_DLGMODALFRAME},
      {bsToolWindow, WS_CAPTION, WS_THICKFRAME, WS_EX_TOOLWINDOW},
      {bsSizeToolWin, WS_CAPTION | WS_THICKFRAME, 0, WS_EX_TOOLWINDOW},
  };
  for (const Case& c : cases) {
    TForm form(nullptr, 0);
    form.BorderStyle = c.b;
    LONG s = GetWindowLongA(form.Handle, GWL_STYLE);
    EXPECT_EQ(s & c.on, c.on) << int(c.b);
    EXPECT_EQ(s & c.off, 0) << int(c.b);
    EXPECT_EQ(GetWindowLongA(form.Handle, GWL_EXSTYLE) & c.exOn, c.exOn) << int(c.b);
  }
  EXPECT_EQ(GetWindowLongA(reinterpret_cast<HWND>(0x7), GWL_STYLE), 0);
}

TEST(WindowStyles, ClientSizeOfAFramedForm) {
  TForm form(nullptr, 0);
  form.BorderStyle = bsSingle;
  form.ClientWidth = 728;
  form.ClientHeight = 467;
  EXPECT_EQ(form.Width.get(), 728 + 6);
  EXPECT_EQ(form.Height.get(), 467 + 19 + 6);
  form.BorderStyle = bsNone;  // made again: the client area keeps its size
  EXPECT_EQ(form.ClientWidth.get(), 728);
  EXPECT_EQ(form.Width.get(), 728);
}

// ---------------------------------------------------------------- two processes

class Child {
 public:
  Child(const std::string& title, const std::string& report, bool minimized)
      : Child(title, report, minimized ? "min" : "normal") {}
  Child(const std::string& title, const std::string& report, const char* mode) {
    std::string exe = UI_INSTANCE_CHILD;
    std::vector<std::string> args = {exe, title, report, mode};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  }
  ~Child() { End(SIGTERM); }
  // Sends the signal and waits for the end; the status waitpid gave.
  int End(int signal) {
    int status = 0;
    if (pid_ > 0) {
      kill(pid_, signal);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

HWND WaitForWindow(const char* cls, const char* title) {
  for (int i = 0; i < 200; ++i) {
    if (HWND h = FindWindowA(cls, title)) return h;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return nullptr;
}

class WindowTable : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("ui-run-" + std::to_string(getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("WINPLAT_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(WindowTable, TheSecondProcessFindsTheFirstAndBringsItToTheFront) {
  std::string report = (dir_ / "report").string();
  Child first("Movrant for Pavo", report, true);
  HWND h = WaitForWindow("TApplication", "Movrant for Pavo");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(FindWindowA("tapplication", "Movrant for Pavo"), h);  // class names ignore case
  EXPECT_EQ(FindWindowA("TApplication", "movrant for pavo"), nullptr);  // titles do not
  // The child minimises itself once its loop runs.
  bool iconic = false;
  for (int i = 0; i < 100 && !(iconic = IsIconic(h)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(iconic);
  EXPECT_TRUE(OpenIcon(h));
  EXPECT_FALSE(IsIconic(h));
  EXPECT_TRUE(SetForegroundWindow(h));
  std::string text;
  for (int i = 0; i < 100 && (text = ReadFile(report)).find("front") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(text.find("front 1"), std::string::npos) << text;
}

TEST_F(WindowTable, ATitleEndingInRunningIsNotFound) {
  std::string report = (dir_ / "report").string();
  Child starting("Movrant for Pavo Running..", report, false);
  ASSERT_NE(WaitForWindow("TApplication", "Movrant for Pavo Running.."), nullptr);
  EXPECT_EQ(FindWindowA("TApplication", "Movrant for Pavo"), nullptr);
}

TEST_F(WindowTable, OwnWindowAndDeadEntries) {
  Application->Title = "Self Title";
  EXPECT_EQ(FindWindowA("TApplication", "Self Title"), Application->Handle.get());
  char cls[64];
  EXPECT_GT(GetClassNameA(Application->Handle, cls, sizeof cls), 0);
  EXPECT_STREQ(cls, "TApplication");
  // An entry left by a process that is gone is skipped and removed.
  std::filesystem::path stale = dir_ / "windows" / "999999.win";
  std::ofstream(stale) << "999999\nTApplication\n" << "44656164" << "\n/nowhere.sock\n";
  EXPECT_EQ(FindWindowA("TApplication", "Dead"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(stale));
  Application->Title = "";
}

// What the table holds: entries and activation sockets.
std::vector<std::string> TableFiles(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.ends_with(".win") || name.ends_with(".sock")) names.push_back(name);
  }
  return names;
}

TEST_F(WindowTable, AProgramEndedByASignalWithdrawsItsEntry) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    std::string report = (dir_ / "report").string();
    Child child("Movrant for Pavo", report, false);
    ASSERT_NE(WaitForWindow("TApplication", "Movrant for Pavo"), nullptr);
    ASSERT_FALSE(TableFiles(dir_).empty());
    int status = child.End(signal);
    // Still ended by that signal, as its parent expects.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(TableFiles(dir_), std::vector<std::string>());
  }
}

TEST_F(WindowTable, AProgramEndedByAnUncaughtExceptionWithdrawsItsEntry) {
  Child child("Movrant for Pavo", (dir_ / "report").string(), "throw");
  int status = child.End(0);  // signal 0: only waits
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
  EXPECT_EQ(TableFiles(dir_), std::vector<std::string>());
}

// A process id in use again: the entry of the process that held it before is no window.
TEST_F(WindowTable, AnEntryOfAnEarlierProcessUnderALiveIdIsStale) {
  pid_t other = -1;
  const char* argv[] = {"sleep", "30", nullptr};
  ASSERT_EQ(posix_spawnp(&other, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  std::ifstream stat("/proc/" + std::to_string(other) + "/stat");
  std::string line;
  ASSERT_TRUE(std::getline(stat, line));
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22; ++i) fields >> field;  // field 22: the start time
  const unsigned long long started = std::stoull(field);
  const std::filesystem::path entry = dir_ / "windows" / (std::to_string(other) + ".win");
  std::filesystem::create_directories(entry.parent_path());
  struct Case {
    const char* what;
    std::string startLine;
  } cases[] = {
      {"another start time", std::to_string(started - 1) + "\n"},
      {"no start time", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(entry) << other << "\nTApplication\n4d6f7672616e74\n/nowhere.sock\n" << c.startLine;
    ASSERT_TRUE(std::filesystem::exists(entry));
    EXPECT_EQ(FindWindowA("TApplication", "Movrant"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(entry));
  }
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

}  // namespace

namespace {

TEST(Metrics, NonClientMetricsHoldTheWindowSystemsFonts) {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0));
  EXPECT_EQ(m.iCaptionHeight, GetSystemMetrics(SM_CYCAPTION) - 1);
  EXPECT_EQ(m.iScrollWidth, GetSystemMetrics(SM_CXVSCROLL));
  for (const LOGFONTA* f : {&m.lfCaptionFont, &m.lfSmCaptionFont, &m.lfMenuFont, &m.lfStatusFont, &m.lfMessageFont}) {
    EXPECT_NE(f->lfFaceName[0], 0);
    EXPECT_LT(f->lfHeight, 0);  // a character height in pixels
    EXPECT_GT(f->lfHeight, -100);
    EXPECT_GE(f->lfWeight, 100);
    EXPECT_LE(f->lfWeight, 900);
    EXPECT_EQ(f->lfCharSet, HANGUL_CHARSET);
  }

  // A structure of another size is refused, as on Windows.
  NONCLIENTMETRICSA other{};
  other.cbSize = sizeof other - 4;
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof other - 4, &other, 0));
  other.cbSize = 0;
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof other, &other, 0));
}

}  // namespace
