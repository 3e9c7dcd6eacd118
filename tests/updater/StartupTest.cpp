// MovrantPavo.exe started as a user starts it (a build whose message boxes and login dialog a
// test drives, see StartupDriver.cpp): the start-up cases, the single instance, the switch
// "-r", the self-update end to end with the real helper program, and no password on disk.
#include <signal.h>

#include <algorithm>
#include <memory>

#include "LoginFixture.h"
#include "QuorvexUtil.h"
#include "VendorService.h"
#include "ZipWriter.h"

namespace logintest {
namespace {

// The program folder and the temporary folder of a run: the helper's command lines carry both.
const struct Folders {
  const char* prog;
  const char* temp;
} kFolders[] = {{"prog", "temp"}, {"the prog", "the temp"}};

class StartupTest : public Environment {
 protected:
  void SetUp() override {
    Environment::SetUp();
    fs::copy_file(STARTUP_DRIVER_PATH, Prog());
    files_["/pavo/_Movrant/Version.inf"] = "[VERSION]\nVER=1.0.0.1\n[MAP]\nYEAR=2026\nMONTH=11\n";
    Set("MOVRANT_TEST_DO", "cancel");
  }

  fs::path Prog(const std::string& name = "MovrantPavo.exe") const { return root_ / progDir_ / name; }
  fs::path Temp(const std::string& name) const { return root_ / tempDir_ / name; }
  // Runs the program from folders.prog (a copy of it) with folders.temp as the temporary folder.
  void UseFolders(const Folders& folders) {
    progDir_ = folders.prog;
    tempDir_ = folders.temp;
    fs::create_directories(root_ / progDir_);
    fs::create_directories(root_ / tempDir_);
    if (!fs::exists(Prog())) fs::copy_file(STARTUP_DRIVER_PATH, Prog());
    Set("TMPDIR", (root_ / tempDir_).string());
  }

  struct Run {
    HANDLE process = nullptr;
    fs::path log;
  };

  // Starts the program from another current folder, logging to log.
  Run Start(const std::string& arguments, const std::string& log = "log.txt") {
    Run run;
    run.log = root_ / log;
    Set("MOVRANT_TEST_LOG", run.log.string());
    std::string command =
        "\"" + Dos(progDir_ + "/MovrantPavo.exe").str() + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    AnsiString elsewhere = winplat::UnixToDos(root_.string());
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, elsewhere.c_str(), &si, &pi)) {
      ADD_FAILURE() << "cannot start " << command;
      return run;
    }
    CloseHandle(pi.hThread);
    run.process = pi.hProcess;
    return run;
  }
  bool Finish(Run& run, DWORD ms = 60000) {
    if (!run.process) return false;
    bool ended = WaitForSingleObject(run.process, ms) == WAIT_OBJECT_0;
    if (!ended) {
      TerminateProcess(run.process, 9);
      ADD_FAILURE() << "the program did not end";
    } else {
      DWORD code = 1;
      GetExitCodeProcess(run.process, &code);
      EXPECT_EQ(code, 0u) << "the program's exit code";
    }
    CloseHandle(run.process);
    run.process = nullptr;
    return ended;
  }
  std::vector<std::string> RunToEnd(const std::string& arguments) {
    Run run = Start(arguments);
    Finish(run);
    return Lines(run.log);
  }

  static std::vector<std::string> Lines(const fs::path& log) {
    std::vector<std::string> lines;
    std::istringstream in(ReadUnix(log));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The first line that starts with prefix ("" when none).
  static std::string Find(const std::vector<std::string>& lines, const std::string& prefix, int nth = 0) {
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0 && nth-- == 0) return l;
    return "";
  }
  static int Count(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
    return n;
  }
  bool WaitForLine(const fs::path& log, const std::string& prefix, int nth = 0, int ms = 30000) {
    for (int waited = 0; waited < ms; waited += 20) {
      if (!Find(Lines(log), prefix, nth).empty()) return true;
      Sleep(20);
    }
    return false;
  }
  int UpdateListRequests() const {
    int n = 0;
    for (const auto& r : server_->Requests()) n += r.path.find("Movrant.inf") != std::string::npos;
    return n;
  }
  void SetRegistry(const char* section, const char* name, const char* value) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AnsiString("Software\\Delmaro\\Movrant for Pavo\\") + section, true));
    reg.WriteString(name, value);
  }

  // The names of the files at the top of the program folder, sorted.
  std::vector<std::string> ProgNames() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_ / progDir_))
      if (e.is_regular_file()) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The self-update through the real helper program, in the folders in use.
  void UnpackThroughTheHelper();
  void RestartThroughTheHelper(const std::string& package = "MovrantPavo.zip");
  template <class F>
  void InEachFolders(F run) {
    for (const Folders& folders : kFolders) {
      SCOPED_TRACE(folders.prog);
      UseFolders(folders);
      fs::remove(root_ / "log.txt");
      run();
    }
  }

  std::string progDir_ = "prog";
  std::string tempDir_ = "temp";
};

TEST_F(StartupTest, AFirstStartCreatesTheKeyAndShowsTheDialogWithTheVersions) {
  auto lines = RunToEnd("");
  EXPECT_EQ(Find(lines, "dialog|"),
            "dialog|id=|checked=0|focus=edtID|file=0|bar=0|version=Ver : 1.0.0.1|lines=프로그램 : 1.0.0.1/"
            "맵데이터 : 2026년 11월/안전운행 : 년 월 차");
  EXPECT_EQ(Find(lines, "result|"), "result|2");
  std::string prog = Dos("prog").str();
  EXPECT_EQ(Find(lines, "end|"), "end|main=0|cwd=" + prog + "|root=" + prog +
                                     "|cache=0|update=http://update.quorvex.example/pavo/_Movrant/|user=|models=0");
  EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), prog);
  // The default update address ends in "/", and the request is sent that way.
  bool doubled = false;
  for (const auto& r : server_->Requests()) doubled |= r.target == "/pavo/_Movrant//Movrant.inf";
  EXPECT_TRUE(doubled);
}

TEST_F(StartupTest, TheSettingsFileChoosesTheCacheModeAndTheUpdateList) {
  const struct {
    const char* file;
    const char* cache;
    const char* update;
  } cases[] = {
      {nullptr, "0", "http://update.quorvex.example/pavo/_Movrant/"},
      {"[DOWNLOAD]\nUSECACHE=1\n", "1", "http://update.quorvex.example/pavo/_Movrant/"},
      {"[DOWNLOAD]\nUSECACHE=0\n[UPDATE]\nURL=http://update.quorvex.example/own", "0",
       "http://update.quorvex.example/own"},
      {"[DOWNLOAD]\nUSECACHE=on\n", "0", "http://update.quorvex.example/pavo/_Movrant/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file");
    fs::remove(Prog("Movrant.ini"));
    if (c.file) WriteUnix(Prog("Movrant.ini"), c.file);
    fs::remove(root_ / "log.txt");
    std::string end = Find(RunToEnd(""), "end|");
    EXPECT_NE(end.find(std::string("|cache=") + c.cache + "|update=" + c.update + "|"), std::string::npos) << end;
  }
  bool own = false;
  for (const auto& r : server_->Requests()) own |= r.target == "/own/Movrant.inf";
  EXPECT_TRUE(own);
}

TEST_F(StartupTest, AKeptIdIsFilledInAndThePasswordHasTheFocus) {
  SetRegistry("AUTHEN", "AUTOLOGIN", "1");
  SetRegistry("AUTHEN", "SAVED_ID", "kim01");
  std::string dialog = Find(RunToEnd(""), "dialog|");
  EXPECT_EQ(dialog.substr(0, dialog.find("|file=")), "dialog|id=kim01|checked=1|focus=edtPassword");
}

TEST_F(StartupTest, WithoutAConnectionTheProgramSaysSoAndEnds) {
  Set("WINPLAT_CONNECTION", "offline");
  auto lines = RunToEnd("");
  EXPECT_EQ(Find(lines, "box|"),
            "box|16|Connection Name : 없음 [Type:0]\\n현재 인터넷에 연결되어 있지 않습니다.\\nMovrant는 인터넷이 "
            "연결된 상태에서만 사용이 가능합니다.");
  EXPECT_EQ(Count(lines, "box|"), 1);
  EXPECT_EQ(Find(lines, "dialog|"), "");
  EXPECT_EQ(Find(lines, "end|").substr(0, 11), "end|main=0|");
  EXPECT_EQ(server_->RequestCount(), 0);
}

TEST_F(StartupTest, ASecondStartBringsTheFirstToTheFrontAndEndsWithoutAWindow) {
  std::string flag = Dos("done.flag").str();
  Set("MOVRANT_TEST_DO", "wait:" + flag);
  Run first = Start("", "first.txt");
  ASSERT_TRUE(WaitForLine(first.log, "dialog|"));

  Set("MOVRANT_TEST_DO", "cancel");
  Run second = Start("", "second.txt");
  EXPECT_TRUE(Finish(second, 20000));
  auto lines = Lines(second.log);
  EXPECT_EQ(Count(lines, "dialog|") + Count(lines, "box|"), 0);
  EXPECT_EQ(Find(lines, "end|").substr(0, 11), "end|main=0|");

  WriteUnix(root_ / "done.flag", "");
  EXPECT_TRUE(Finish(first));
  std::string front = Find(Lines(first.log), "foreground|");
  EXPECT_NE(front, "foreground|0");
  EXPECT_NE(front, "");
}

TEST_F(StartupTest, TheSwitchRSkipsTheUpdateCheckOnlyAsTheExactFirstArgument) {
  const struct {
    const char* arguments;
    int checks;
  } cases[] = {{"-r", 0}, {"-R", 1}, {"x -r", 1}, {"", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    fs::remove(root_ / "log.txt");
    int before = UpdateListRequests();
    auto lines = RunToEnd(c.arguments);
    EXPECT_EQ(UpdateListRequests() - before, c.checks);
    EXPECT_EQ(Find(lines, "start|"), std::string("start|") + c.arguments);
    EXPECT_EQ(Find(lines, "result|"), "result|2");
  }
}

TEST_F(StartupTest, AnUpdateListThatChangesADataFileFetchesItAndTheHelperUnpacksIt) {
  InEachFolders([this] { UnpackThroughTheHelper(); });
}

void StartupTest::UnpackThroughTheHelper() {
  WriteUnix(Prog("notice.txt"), "old notice");
  std::string fresh(300000, '\0');
  for (size_t i = 0; i < fresh.size(); ++i) fresh[i] = char('a' + (i * 7) % 26);
  WriteUnix(root_ / "fresh.txt", fresh);
  unsigned int check = 0;
  ASSERT_EQ(FileChecksum(Dos("fresh.txt"), check), 1);
  ztest::ZipWriter zip;
  zip.SetLevel(0);  // big enough for several progress reports
  zip.AddFile("notice.txt", fresh);
  files_["/upd/Notice.zip"] = zip.Build();
  files_["/upd/Movrant.inf"] = "[FILE_notice.txt]\nCAB=Notice.zip\nCRC=" + std::to_string(int(check)) +
                               "\n[FORCE_DIRECTORY]\n1=Notice\n";
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/upd\n");

  auto lines = RunToEnd("");
  EXPECT_EQ(ReadUnix(Prog("notice.txt")), fresh);
  EXPECT_TRUE(fs::is_directory(Prog("Notice")));
  EXPECT_EQ(ProgNames(), (std::vector<std::string>{"Movrant.ini", "MovrantPavo.exe", "notice.txt"}));  // no package
  EXPECT_FALSE(fs::exists(Temp("qvrxupd.exe")));
  EXPECT_FALSE(fs::exists(Temp("__QuorvexWebUpdate__.inf")));
  EXPECT_EQ(Find(lines, "progress|"), "progress|File : NOTICE.ZIP");
  std::string dialog = Find(lines, "dialog|");
  EXPECT_NE(dialog.find("|file=0|bar=0|"), std::string::npos) << dialog;  // hidden again
  EXPECT_EQ(Find(lines, "result|"), "result|2");

  // The next start finds the file current: nothing is fetched.
  int packages = 0;
  for (const auto& r : server_->Requests()) packages += r.path == "/upd/Notice.zip";
  RunToEnd("");
  int after = 0;
  for (const auto& r : server_->Requests()) after += r.path == "/upd/Notice.zip";
  EXPECT_EQ(after, packages);
}

TEST_F(StartupTest, ANewerProgramEndsTheRunAndTheHelperRestartsItWithR) {
  InEachFolders([this] { RestartThroughTheHelper(); });
}

void StartupTest::RestartThroughTheHelper(const std::string& package) {
  int checks = UpdateListRequests();
  std::string next = ReadUnix(Prog()) + std::string("\0next build", 11);  // ELF ignores the tail
  ztest::ZipWriter zip;
  zip.AddFile("MovrantPavo.exe", next);
  files_["/upd/" + package] = zip.Build();
  files_["/upd/Movrant.inf"] = "[FILE_MovrantPavo.exe]\nCAB=" + package + "\nVERSION=9.0.0.0\n";
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/upd\n");

  Run run = Start("");
  ASSERT_TRUE(Finish(run));
  auto first = Lines(run.log);
  EXPECT_EQ(Find(first, "result|"), "result|4");
  EXPECT_EQ(Find(first, "end|").substr(0, 11), "end|main=0|");

  // The helper waits for the program to end, replaces it and starts it with "-r".
  ASSERT_TRUE(WaitForLine(run.log, "end|", 1)) << ReadUnix(run.log);
  auto lines = Lines(run.log);
  EXPECT_EQ(Find(lines, "start|", 1), "start|-r");
  EXPECT_EQ(Find(lines, "result|", 1), "result|2");
  EXPECT_EQ(ReadUnix(Prog()), next);
  EXPECT_EQ(UpdateListRequests() - checks, 1);  // the restarted program did not check again
  // The program deleted the helper while it ran, which fails as on Windows (the failure is
  // ignored); the next update run's creation removes the left-over file.
  EXPECT_EQ(ProgNames(), (std::vector<std::string>{"Movrant.ini", "MovrantPavo.exe"}));  // no package
}

// A newer program's package that drips (30 kB at 1,000 B/s): the dialog closed while it comes
// ends the transfer and the program at once; the helper never restarts it, and the package is
// not left behind.
TEST_F(StartupTest, ACloseDuringADrippingPackageEndsTheProgramWithoutARestart) {
  std::string next(30000, '\0');
  for (size_t i = 0; i < next.size(); ++i) next[i] = char('a' + (i * 11) % 26);
  ztest::ZipWriter zip;
  zip.SetLevel(0);
  zip.AddFile("MovrantPavo.exe", next);
  HttpReply drip = HttpReply::Text(zip.Build());
  drip.chunkSize = 100;
  drip.chunkDelayMs = 100;
  replies_["/upd/MovrantPavo.zip"] = drip;
  files_["/upd/Movrant.inf"] = "[FILE_MovrantPavo.exe]\nCAB=MovrantPavo.zip\nVERSION=9.0.0.0\n";
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/upd\n");
  Set("MOVRANT_TEST_DO", "close-at-package");
  const std::string program = ReadUnix(Prog());

  Run run = Start("");
  ASSERT_TRUE(Finish(run, 20000));
  auto lines = Lines(run.log);
  EXPECT_EQ(Find(lines, "progress|"), "progress|File : MOVRANTPAVO.ZIP");
  EXPECT_EQ(Find(lines, "result|"), "result|2");
  EXPECT_LT(server_->BodyBytesSent(), 15000);
  EXPECT_FALSE(fs::exists(Temp("qvrxupd.exe")));  // the helper was never put out
  EXPECT_EQ(ProgNames(), (std::vector<std::string>{"Movrant.ini", "MovrantPavo.exe"}));
  EXPECT_EQ(ReadUnix(Prog()), program);
}

// A package named like the running program is no obstacle to its update: it arrives under a
// name of its own and the helper puts the new program in place.
TEST_F(StartupTest, ANewerProgramInAPackageNamedLikeTheProgramStillRestartsIt) {
  RestartThroughTheHelper("MovrantPavo.exe");
}

// Packages named like the program's own files, holding data files: the data arrive, the
// program's files keep their bytes and no package is left.
TEST_F(StartupTest, PackagesNamedLikeTheProgramsFilesLeaveThemWhole) {
  const std::map<std::string, std::string> program = {
      {"Sorvel.exe", "the splash program"}, {"ZBEngine.dll", "the zip engine"}, {"Shell32.dll", "the shell"}};
  for (const auto& f : program) WriteUnix(Prog(f.first), f.second);
  std::string list;
  int n = 0;
  for (const auto& f : program) {
    ztest::ZipWriter zip;
    std::string data = "data " + std::to_string(++n);
    zip.AddFile(data + ".txt", data);
    files_["/upd/" + f.first] = zip.Build();
    list += "[FILE_" + data + ".txt]\nCAB=" + f.first + "\n";
  }
  files_["/upd/Movrant.inf"] = list;
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/upd\n");

  auto lines = RunToEnd("");
  EXPECT_EQ(Find(lines, "result|"), "result|2");
  for (const auto& f : program) EXPECT_EQ(ReadUnix(Prog(f.first)), f.second) << f.first;
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(ReadUnix(Prog("data " + std::to_string(i) + ".txt")), "data " + std::to_string(i));
  EXPECT_EQ(ProgNames(), (std::vector<std::string>{"Movrant.ini", "MovrantPavo.exe", "Shell32.dll", "Sorvel.exe",
                                                   "ZBEngine.dll", "data 1.txt", "data 2.txt", "data 3.txt"}));
}

// A package the helper cannot unpack is not left for good: each start first deletes what the
// starts before it left, so after three starts at most the last one's package is there, in the
// restart mode (whose helper runs after the program has ended) as in the unpack mode.
TEST_F(StartupTest, PackagesTheHelperCannotUnpackDoNotPileUpOverStarts) {
  const struct {
    const char* label;
    std::string list;
    size_t left;
  } cases[] = {
      {"unpack", "[FILE_notice.txt]\nCAB=Broken.zip\n", 0},
      {"restart", "[FILE_MovrantPavo.exe]\nCAB=Broken.zip\nVERSION=9.0.0.0\n", 1},
  };
  files_["/upd/Broken.zip"] = std::string(200000, 'x');  // no package the helper can read
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/upd\n");
  auto packages = [&] {
    std::vector<std::string> names;
    for (const std::string& name : ProgNames())
      if (name.rfind("qvu", 0) == 0) names.push_back(name);
    return names;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    files_["/upd/Movrant.inf"] = c.list;
    for (int start = 1; start <= 3; ++start) {
      SCOPED_TRACE(start);
      Run run = Start("", std::string("log-") + c.label + std::to_string(start) + ".txt");
      ASSERT_TRUE(Finish(run));
      // The restarted program has ended too, window and all, so the next start is no second one.
      if (c.left) {
        ASSERT_TRUE(WaitForLine(run.log, "end|", 1)) << ReadUnix(run.log);
      }
      for (int waited = 0; FindWindowA("TApplication", "Movrant for Pavo") && waited < 30000; waited += 20) Sleep(20);
      EXPECT_EQ(packages().size(), c.left) << ::testing::PrintToString(packages());
    }
    for (const std::string& name : packages()) fs::remove(Prog(name));
  }
}

TEST_F(StartupTest, ALoginWritesNoPasswordAnywhere) {
  login_ = HttpReply::Text("#!#200|ok|A.ini|\r\n#!#cam\r\n#!#\r\n#!#http://trelm.quorvex.example/m\r\n");
  files_["/m/A.ini"] = "[ENVIRONMENT]\nMODEL_CAPTION=A\n";
  Set("MOVRANT_TEST_DO", "login:kim01:pw-secret-77");
  auto lines = RunToEnd("");
  EXPECT_EQ(Find(lines, "result|"), "result|1");
  EXPECT_NE(Find(lines, "end|").find("|user=kim01|models=1"), std::string::npos);
  EXPECT_EQ(Count(lines, "box|"), 0);
  // Registry, settings, cache, temporary and program folders, the log.
  EXPECT_TRUE(FilesContaining(root_, "pw-secret-77").empty());
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "0");
}

// The same program against the local vendor service and its sample site, with the program on
// a drive of a temporary drive table.
class VendorServiceTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    if (const char* old = getenv("WINPLAT_DRIVES")) oldDrives_ = old;
    setenv("WINPLAT_DRIVES", ("C=" + root_.string() + ",fixed").c_str(), 1);
    winplat::ReloadDrives();
    SetCurrentDir(Dos("prog"));
    vendor::Options options;
    options.site = VENDOR_SITE;
    options.log = (root_ / "notices.log").string();
    service_ = std::make_unique<vendor::Service>(options);
    std::string message;
    ASSERT_TRUE(service_->Start(message)) << message;
    std::string map;
    for (const char* host : {"trelm.quorvex.example", "update.quorvex.example", "www.quorvex.example"})
      map += (map.empty() ? "" : ",") + std::string(host) + ":80:127.0.0.1:" + std::to_string(service_->Port());
    Set("WINPLAT_CONNECT_TO", map);
  }
  void TearDown() override {
    service_.reset();
    SetCurrentDir(winplat::UnixToDos(root_.string()));
    if (oldDrives_.empty())
      unsetenv("WINPLAT_DRIVES");
    else
      setenv("WINPLAT_DRIVES", oldDrives_.c_str(), 1);
    winplat::ReloadDrives();
    StartupTest::TearDown();
  }
  std::string oldDrives_;
  std::unique_ptr<vendor::Service> service_;
};

TEST_F(VendorServiceTest, TheSampleSitesUserLogsInWithBothModels) {
  Set("MOVRANT_TEST_DO", "login:demo:demo1234");
  auto lines = RunToEnd("");
  std::string dialog = Find(lines, "dialog|");
  EXPECT_NE(dialog.find("|lines=프로그램 : 1.0.0.1/맵데이터 : 2026년 11월/안전운행 : 2026년 12월 2차"), std::string::npos)
      << dialog;
  EXPECT_EQ(Find(lines, "result|"), "result|1");
  // The main window opens with both models, the first by caption chosen.
  EXPECT_EQ(Find(lines, "main|"), "main|models=2|model=PAVO S7|rows=2");
  EXPECT_EQ(Find(lines, "end|"), "end|main=1|cwd=C:\\prog|root=C:\\prog|cache=0|update=http://update.quorvex.example/"
                                 "pavo/_Movrant/|user=demo|models=2");
  EXPECT_EQ(Count(lines, "box|"), 0);
  EXPECT_EQ(Registry("DOWNLOAD", "ROOTPATH"), "C:\\prog");
  // Its window entry and activation socket went with it.
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(root_ / "run"))
    if (e.path().extension() == ".win" || e.path().extension() == ".sock") left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>());
}

TEST_F(VendorServiceTest, TheSampleSitesLoginCases) {
  const struct {
    const char* user;
    const char* password;
    std::string box;
    const char* result;
  } cases[] = {
      {"nobody", "demo1234", "box|48|등록되지 않은 사용자 ID 입니다.", "result|0"},
      {"demo", "wrong-one", "box|48|사용자 암호가 맞지 않습니다.", "result|0"},
      {"stopped", "demo1234", "box|48|사용이 중지된 사용자 ID 입니다.", "result|0"},
      {"expired", "demo1234", "box|48|사용 기간이 끝난 사용자 ID 입니다.", "result|0"},
      {"strange", "demo1234", "box|48|알 수 없는 응답입니다.\\n- 결과코드 : 999", "result|0"},
      {"certify", "demo1234", "box|48|본인 인증 후에 이용하실 수 있습니다.", "result|0"},
      {"nodevice", "demo1234", "box|48|고객님의 단말이 등록되어 있지 않습니다.", "result|1"},
      {"onemissing", "demo1234", "box|16|단말 기본 정보를 받아올 수 없습니다.\\nInfo File : 3. PAVO_GONE.ini", "result|1"},
      // The values reach the service as typed, "&", "=", "?" and "%" included.
      {"demo", "demo1234&anything", "box|48|사용자 암호가 맞지 않습니다.", "result|0"},
      {"demo&D2=demo1234", "xx", "box|48|등록되지 않은 사용자 ID 입니다.", "result|0"},
      {"symbols", "demo1234&any=thing?%41+", "", "result|1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user);
    fs::remove(root_ / "log.txt");
    Set("MOVRANT_TEST_DO", std::string("login:") + c.user + ":" + c.password);
    auto lines = RunToEnd("");
    EXPECT_EQ(Find(lines, "box|"), c.box);
    EXPECT_EQ(Find(lines, "result|"), c.result);
  }
}

TEST_F(VendorServiceTest, TheSampleSitesDataUpdateList) {
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/pavo/_Movrant_data\n");
  auto lines = RunToEnd("");
  EXPECT_EQ(Find(lines, "progress|"), "progress|File : MOVRANTNOTICE.ZIP");
  EXPECT_EQ(Find(lines, "result|"), "result|2");
  EXPECT_TRUE(fs::exists(Prog("MovrantNotice.txt")));
  EXPECT_TRUE(fs::is_directory(Prog("Notice")));
  // Installed, the file matches the list: a second start fetches nothing.
  fs::remove(root_ / "log.txt");
  EXPECT_EQ(Find(RunToEnd(""), "progress|"), "");
}

TEST_F(VendorServiceTest, TheSampleSitesProgramUpdateListReplacesTheProgramAndRestartsIt) {
  // The restarted program is the newer build itself, not this test's driver: it waits at its
  // login dialog until the test ends it.
  auto restarted = [this]() -> pid_t {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
      pid_t pid = atoi(entry.path().filename().c_str());
      if (pid > 0 && fs::read_symlink(entry.path() / "exe", ec) == Prog()) return pid;
    }
    return 0;
  };
  struct EndRestarted {
    std::function<pid_t()> find;
    ~EndRestarted() {
      if (pid_t pid = find()) kill(pid, SIGKILL);
    }
  } end{restarted};
  WriteUnix(Prog("Movrant.ini"), "[UPDATE]\nURL=http://update.quorvex.example/pavo/_Movrant_program\n");

  Run run = Start("");
  ASSERT_TRUE(Finish(run));
  auto lines = Lines(run.log);
  EXPECT_EQ(Find(lines, "progress|"), "progress|File : MOVRANTPAVO.ZIP");
  EXPECT_EQ(Find(lines, "result|"), "result|4");

  pid_t pid = 0;
  for (int i = 0; i < 1500 && !(pid = restarted()); ++i) Sleep(20);
  ASSERT_NE(pid, 0) << "the program was not started again";
  // The kernel fills the command line in after the program file: wait for it.
  std::string arguments;
  for (int i = 0; i < 500 && (arguments = ReadUnix("/proc/" + std::to_string(pid) + "/cmdline")).empty(); ++i)
    Sleep(20);
  EXPECT_EQ(arguments, std::string("MovrantPavo.exe\0-r\0", 19));
  EXPECT_EQ(GetFileVersionString(Dos("prog/MovrantPavo.exe"), "FileVersion").str(), MOVRANT_NEXT_VERSION);
  EXPECT_FALSE(fs::exists(Prog("MovrantPavo.zip")));
}

}  // namespace
}  // namespace logintest
