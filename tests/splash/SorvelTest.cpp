// Sorvel.exe started as a user starts it, against the local vendor service: the event index and
// its record, "/FORCE", the connection wait on a sped-up clock, what its splash page does with
// the window, launching MovrantPavo.exe, and the registry key both programs share.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "Registry.h"
#include "VendorService.h"
#include "windows.h"
#include "winplat.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadUnix;
using testsupport::WriteUnix;

const char* const kPageRequest = "splash.quorvex.example/pavo/splash/index.html";
const char* const kEventRequest = "update.quorvex.example/pavo/splash/SorvelEvent_Code.txt";
const DWORD kBound = 60000;



long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// A page that reports to the service: report('x') requests /report?x and returns once the
// service has it, so that the page may close its window right after.
std::string TestPage(const std::string& script) {
  return "<html><head><title>test</title></head><body><script>\n"
         "function report(what) {\n"
         "  var r = new XMLHttpRequest(); r.open('GET', '/report?' + what, false);\n"
         "  try { r.send(); } catch (e) {}\n"
         "}\n" +
         script + "\n</script></body></html>";
}

class SorvelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sorvel-test-XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(root_ / "prog");
    fs::create_directories(root_ / "run");
    fs::create_directories(root_ / "temp");
    fs::copy_file(SORVEL_EXE, Prog("Sorvel.exe"));
    Set("WINPLAT_HKCU", (root_ / "hkcu.reg").string());
    Set("WINPLAT_CACHE_DIR", (root_ / "cache").string());
    Set("WINPLAT_RUNTIME_DIR", (root_ / "run").string());
    Set("TMPDIR", (root_ / "temp").string());
    Set("WINPLAT_CONNECTION", "lan");
    // A site of the test's own: the sample site's update host and splash page, which a test
    // may replace.
    site_ = root_ / "site";
    fs::create_directories(site_);
    fs::copy(fs::path(VENDOR_SITE) / "update.quorvex.example", site_ / "update.quorvex.example",
             fs::copy_options::recursive);
    fs::copy(fs::path(VENDOR_SITE) / "splash.quorvex.example", site_ / "splash.quorvex.example",
             fs::copy_options::recursive);
    fs::remove(site_ / "update.quorvex.example" / "pavo/splash/SorvelEvent_Code.txt");
    fs::create_directories(site_ / "trelm.quorvex.example");
    options_.site = site_.string();
    if (!options_.eventCode) options_.eventCode = vendor::EventCode(1);
    service_ = std::make_unique<vendor::Service>(options_);
    std::string message;
    ASSERT_TRUE(service_->Start(message)) << message;
    std::string map;
    for (const char* host : {"trelm.quorvex.example", "update.quorvex.example", "www.quorvex.example",
                             "splash.quorvex.example"})
      map += (map.empty() ? "" : ",") + std::string(host) + ":80:127.0.0.1:" + std::to_string(service_->Port());
    Set("WINPLAT_CONNECT_TO", map);
  }

  void TearDown() override {
    if (process_) {
      TerminateProcess(process_, 9);
      WaitForSingleObject(process_, kBound);
      CloseHandle(process_);
    }
    service_.reset();
    env_.Restore();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void Set(const std::string& name, const std::string& value) { env_.Set(name, value); }

  fs::path Prog(const std::string& name) const { return root_ / "prog" / name; }
  AnsiString Dos(const fs::path& path) const { return winplat::UnixToDos(path.string()); }

  // Starts Sorvel.exe from another folder. timeScale speeds up its clock (this process's clock
  // stays as it is: the variable is set only while the child is made).
  void Start(const std::string& arguments, const char* timeScale = nullptr) {
    std::string command = Dos(Prog("Sorvel.exe")).str() + (arguments.empty() ? "" : " " + arguments);
    if (timeScale) setenv("WINPLAT_TIME_SCALE", timeScale, 1);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    AnsiString elsewhere = Dos(root_);
    BOOL made = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, elsewhere.c_str(), &si, &pi);
    if (timeScale) unsetenv("WINPLAT_TIME_SCALE");
    ASSERT_TRUE(made) << command;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
  }
  // Waits for the program's own end; its exit code, or -1 when it did not end.
  int Finish(DWORD ms = kBound) {
    if (!process_) return -1;
    bool ended = WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
    DWORD code = DWORD(-1);
    if (ended) GetExitCodeProcess(process_, &code);
    if (!ended) TerminateProcess(process_, 9), WaitForSingleObject(process_, kBound);
    CloseHandle(process_);
    process_ = nullptr;
    return ended ? int(code) : -1;
  }
  bool Running() { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

  int Count(const std::string& request) const {
    int n = 0;
    for (const std::string& r : service_->Requests()) n += r == request;
    return n;
  }
  bool Requested(const std::string& prefix) const {
    for (const std::string& r : service_->Requests())
      if (r.rfind(prefix, 0) == 0) return true;
    return false;
  }
  // Waits until the service has seen a request that starts with prefix.
  bool WaitForRequest(const std::string& prefix, int ms = int(kBound)) {
    for (int waited = 0; waited < ms; waited += 20) {
      if (Requested(prefix)) return true;
      Sleep(20);
    }
    return Requested(prefix);
  }
  // Waits until the service has seen request more than `before` times.
  bool WaitForCount(const std::string& request, int before, int ms = int(kBound)) {
    for (int waited = 0; waited < ms; waited += 20) {
      if (Count(request) > before) return true;
      Sleep(20);
    }
    return Count(request) > before;
  }

  // Starts Sorvel and tells whether it showed its page: it either requests the page (and is then
  // ended here) or ends by itself without a window.
  bool RunShows(const std::string& arguments) {
    int before = Count(kPageRequest);
    Start(arguments);
    if (!process_) return false;
    for (int waited = 0; waited < int(kBound); waited += 20) {
      if (Count(kPageRequest) > before) {
        EXPECT_TRUE(Running()) << "the window must stay";
        Finish(0);
        return true;
      }
      if (!Running()) break;
      Sleep(20);
    }
    EXPECT_EQ(Finish(), 0);
    EXPECT_EQ(Count(kPageRequest), before);
    return false;
  }

  void SetRegistry(const char* section, const char* name, const char* value) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AnsiString("Software\\Delmaro\\Movrant for Pavo\\") + section, true));
    reg.WriteString(name, value);
  }
  // A value of the shared key, or "-" when it is missing.
  std::string Registry(const char* section, const char* name) {
    TRegistry reg;
    if (!reg.OpenKey(AnsiString("Software\\Delmaro\\Movrant for Pavo\\") + section, false) || !reg.ValueExists(name))
      return "-";
    return reg.ReadString(name).str();
  }
  // The process of the MovrantPavo.exe of the program folder once it has a window (0 when none
  // comes).
  pid_t MovrantWindowProcess() {
    for (int waited = 0; waited < int(kBound); waited += 20) {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(root_ / "run" / "windows", ec)) {
        pid_t pid = atoi(e.path().stem().c_str());
        if (pid > 0 && fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec) == Prog("MovrantPavo.exe"))
          return pid;
      }
      Sleep(20);
    }
    return 0;
  }
  void SetPage(const std::string& html) { WriteUnix(site_ / "splash.quorvex.example/pavo/splash/index.html", html); }

  vendor::Options options_;  // the service's options of a test, before SetUp (the site is set then)
  fs::path root_, site_;
  testsupport::SavedEnvironment env_;
  std::unique_ptr<vendor::Service> service_;
  HANDLE process_ = nullptr;
};

TEST_F(SorvelTest, ANewIndexIsRecordedAndShownOnceAndALowerOneChangesNothing) {
  SetRegistry("SORVEL", "EVENTINDEX", "5");
  service_->SetEventCode(vendor::EventCode(7));
  EXPECT_TRUE(RunShows(""));
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "7");

  EXPECT_FALSE(RunShows(""));  // still 7
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "7");

  service_->SetEventCode(vendor::EventCode(3));
  EXPECT_FALSE(RunShows(""));
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "7");
  EXPECT_EQ(Count(kEventRequest), 3);
}

TEST_F(SorvelTest, TheFirstLineOfTheEventFileGivesTheIndex) {
  const struct {
    std::optional<std::string> body;  // nullopt: the file is missing (the transfer fails)
    const char* recorded;             // "-": the registry is not touched
  } cases[] = {
      {"#!#12#!#\r\n", "12"},  // every marker goes
      {"#!#8\r\n#!#99\r\n", "8"},
      {"#!#4\n", "4"},
      {"#!#6", "6"},
      {"#!#abc\r\n", "-"},
      {" #!#9\r\n", "-"},
      {"#!#1 2\r\n", "-"},
      {"#!#9 \r\n", "-"},  // nothing may follow the digits
      {"#!# 9\r\n", "9"},
      {std::string("\0#!#9\r\n", 7), "-"},  // a zero byte ends the text
      {"", "-"},
      {std::nullopt, "-"},
      {"#!#0\r\n", "-"},
      {"#!#-3\r\n", "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body ? ::testing::PrintToString(*c.body) : "no file");
    fs::remove(root_ / "hkcu.reg");
    service_->SetEventCode(c.body);
    bool recorded = std::string(c.recorded) != "-";
    EXPECT_EQ(RunShows(""), recorded);
    EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), c.recorded);
  }
}

TEST_F(SorvelTest, WithoutAnIndexOnlyForceShowsThePageAndNothingIsRecorded) {
  for (std::optional<std::string> body : {std::optional<std::string>("#!#x\r\n"), std::optional<std::string>()}) {
    SCOPED_TRACE(body ? *body : "no file");
    service_->SetEventCode(body);
    EXPECT_TRUE(RunShows("/FORCE"));
    EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "-");
  }
}

TEST_F(SorvelTest, ForceCountsAsTheFirstOrSecondParameterInAnyCase) {
  SetRegistry("SORVEL", "EVENTINDEX", "7");
  service_->SetEventCode(vendor::EventCode(7));
  const struct {
    const char* arguments;
    bool shown;
  } cases[] = {
      {"/FORCE", true},       {"/force", true},       {"/FoRcE x", true},       {"x /FORCE", true},
      {"x /force", true},     {"x y /FORCE", false},  {"/FORCEX", false},       {"FORCE", false},
      {"-force", false},      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(RunShows(c.arguments), c.shown);
  }
  // Forced with a new index: the index is still recorded.
  service_->SetEventCode(vendor::EventCode(9));
  EXPECT_TRUE(RunShows("/force"));
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "9");
}

// WINPLAT_TIME_SCALE=100: a second of Sorvel's clock is 10 ms here.
TEST_F(SorvelTest, WithoutAConnectionItTriesFor120SecondsAndEndsSilently) {
  service_->SetEventCode(vendor::EventCode(7));
  Set("WINPLAT_CONNECTION", "offline");
  long long start = NowMs();
  Start("/FORCE", "100");
  EXPECT_EQ(Finish(), 0);
  EXPECT_GE(NowMs() - start, 1200);  // 120 one-second sleeps
  EXPECT_TRUE(service_->Requests().empty());
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "-");
}

// The event file is read before any window exists, when there is nothing to close: one that
// drips (80 B/s, above the low-speed bound; 20 s in all) ends at its time limit of two receive
// time-outs (6 s here), counts as not received, and Sorvel ends silently.
class DrippingEventTest : public SorvelTest {
 protected:
  void SetUp() override {
    options_.eventCode = vendor::EventCode(7) + "\r\n" + std::string(1600, ' ');
    options_.throttle[vendor::kEventCodePath] = 80;
    SorvelTest::SetUp();
  }
};

TEST_F(DrippingEventTest, ADrippingEventFileEndsAtItsTimeLimit) {
  Start("", "10");
  EXPECT_EQ(Finish(30000), 0);
  EXPECT_EQ(Count(kPageRequest), 0);
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "-");
}

TEST_F(SorvelTest, AConnectionThatComesDuringTheWaitIsUsedThen) {
  service_->SetEventCode(vendor::EventCode(7));
  // Connected after 30 seconds, and after 119: the last try still finds it.
  for (const char* connection : {"offline:30000", "offline:119000"}) {
    SCOPED_TRACE(connection);
    fs::remove(root_ / "hkcu.reg");
    Set("WINPLAT_CONNECTION", connection);
    int before = Count(kPageRequest);
    long long start = NowMs();
    Start("", "100");
    ASSERT_TRUE(WaitForCount(kPageRequest, before));
    EXPECT_GE(NowMs() - start, atoi(connection + 8) / 100);
    EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "7");
    Finish(0);
  }
}

TEST_F(SorvelTest, ThePageSizesItsWindowAndCannotStartAnUpdate) {
  service_->SetEventCode(vendor::EventCode(7));
  SetPage(TestPage(
      "var sized = false, refused = false;\n"
      "function done() { if (sized && refused) window.external.__WindowClose(); }\n"
      "window.onerror = function (message) { report('error=' + encodeURIComponent(message)); refused = true; done(); };\n"
      "window.onresize = function () {\n"
      "  if (innerWidth == 320 && innerHeight == 200 && !sized) { report('size=320x200'); sized = true; done(); }\n"
      "};\n"
      "window.external.__StartUpdate();\n"
      "window.external.__WindowBorderStyle(2);\n"
      "window.external.__WindowSize(320, 200);\n"));
  Start("");
  EXPECT_EQ(Finish(), 0);  // the page closed the window, which ends the program
  EXPECT_TRUE(Requested("splash.quorvex.example/report?size=320x200"));
  // The unregistered name is a script error; the page sees it without its text, which comes
  // from the browser's own script (the window test reads DISP_E_UNKNOWNNAME in the console).
  EXPECT_EQ(Count("splash.quorvex.example/report?error=Script%20error."), 1)
      << ::testing::PrintToString(service_->Requests());
}

TEST_F(SorvelTest, ClosingTheWindowEndsTheProgram) {
  service_->SetEventCode(vendor::EventCode(7));
  SetPage(TestPage("report('loaded'); window.close();"));
  Start("");
  EXPECT_EQ(Finish(), 0);
  EXPECT_TRUE(Requested("splash.quorvex.example/report?loaded"));
}

// The real MovrantPavo.exe beside Sorvel.exe: started without "-r", so its login dialog checks
// for a self-update; Sorvel ends. Both keep each other's values in the shared key.
TEST_F(SorvelTest, CallUpdaterStartsMovrantBesideItAndEnds) {
  fs::copy_file(MOVRANT_EXE, Prog("MovrantPavo.exe"));
  SetRegistry("AUTHEN", "SAVED_ID", "kim01");
  SetRegistry("AUTHEN", "AUTOLOGIN", "1");
  service_->SetEventCode(vendor::EventCode(7));
  SetPage(TestPage("window.external.__CallUpdater();"));

  Start("");
  EXPECT_EQ(Finish(), 0);
  // Movrant's login dialog asks for the update list (only without "-r").
  ASSERT_TRUE(WaitForRequest("update.quorvex.example/pavo/_Movrant//Movrant.inf"));
  pid_t movrant = MovrantWindowProcess();
  ASSERT_NE(movrant, 0) << "MovrantPavo.exe has no window";
  std::string cmdline = ReadUnix("/proc/" + std::to_string(movrant) + "/cmdline");
  kill(movrant, SIGKILL);
  EXPECT_EQ(cmdline.find(std::string("\0-r", 3)), std::string::npos) << cmdline;

  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "7");
  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "kim01");
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "1");
  EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), Dos(root_ / "prog").str());
}

TEST_F(SorvelTest, MovrantsValuesStayWhenSorvelRecordsAndTheOtherWayRound) {
  SetRegistry("AUTHEN", "SAVED_ID", "kim01");
  SetRegistry("DOWNLOAD", "ROOTPATH", "C:\\maps");
  service_->SetEventCode(vendor::EventCode(4));
  EXPECT_TRUE(RunShows(""));
  EXPECT_EQ(Registry("SORVEL", "EVENTINDEX"), "4");
  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "kim01");
  EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), "C:\\maps");
}

// A program in a drive root: the doubled backslash after the drive goes with the others, which
// leaves "P:MovrantPavo.exe", found through the current folder of P:.
TEST_F(SorvelTest, CallUpdaterFromADriveRootStartsMovrant) {
  Set("WINPLAT_DRIVES", "C=/,fixed;P=" + (root_ / "prog").string() + ",fixed");
  winplat::ReloadDrives();
  fs::copy_file(MOVRANT_EXE, Prog("MovrantPavo.exe"));
  service_->SetEventCode(vendor::EventCode(7));
  SetPage(TestPage("window.external.__CallUpdater();"));
  ASSERT_EQ(Dos(Prog("Sorvel.exe")), "P:\\Sorvel.exe");

  Start("");
  EXPECT_EQ(Finish(), 0);
  pid_t movrant = MovrantWindowProcess();
  ASSERT_NE(movrant, 0) << "MovrantPavo.exe has no window";
  kill(movrant, SIGKILL);
}

}  // namespace
