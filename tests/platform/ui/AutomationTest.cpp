// A program works through the section of an automation script that names it: typing, checking,
// picking, clicking, answering boxes, waiting; every step and every box goes to the log.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("automation-" + std::to_string(getpid()));
    fs::create_directories(dir);
    script = dir / "script.txt";
    report = dir / "report.txt";
  }
  void TearDown() override { fs::remove_all(dir); }

  pid_t Start() {
    std::string exe = UI_AUTOMATION_CHILD;
    std::vector<std::string> args = {exe, report.string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"WINPLAT_AUTOMATION=" + script.string(), "QT_QPA_PLATFORM=offscreen",
                                    "WINPLAT_RUNTIME_DIR=" + dir.string()};
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("WINPLAT_AUTOMATION=", 0) != 0) env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
    return pid;
  }
  // Waits for the program's end, at most about 60 s; false when it had to be killed.
  bool Finish(pid_t pid) {
    for (int i = 0; i < 600; ++i) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
  }

  fs::path dir, script, report;
};

TEST_F(AutomationTest, TheProgramFollowsItsSectionOfTheScript) {
  std::ofstream(script) << "[other.exe]\nclick frmAuto.btnGo\n"
                           "[ui_automation_child]\n"
                           "# a comment\n"
                           "timeout 20\n"
                           "answer 6\n"
                           "wait frmAuto\n"
                           "text frmAuto.edtName 데모\n"
                           "check frmAuto.cbxSave 1\n"
                           "select frmAuto.cbxModel 1\n"
                           "waittext frmAuto.lblStatus changed 1\n"
                           "click frmAuto.btnGo\n";
  ASSERT_TRUE(Finish(Start()));
  EXPECT_EQ(Read(report), "name=데모 save=1 model=1 answer=6\n");
  std::string log = Read(script.string() + ".log");
  // The start line names the first argument too.
  EXPECT_NE(log.find("start ui_automation_child " + report.string() + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("box Auto | 4 |"), std::string::npos) << log;
  EXPECT_NE(log.find("ok click frmAuto.btnGo"), std::string::npos) << log;
  EXPECT_NE(log.find(" end\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("fail"), std::string::npos) << log;
}

TEST_F(AutomationTest, AStepThatCannotBeDoneFailsAfterItsTimeoutAndStopsTheScript) {
  std::ofstream(script) << "[ui_automation_child]\ntimeout 1\nwait frmNothing\nclose frmAuto\n";
  pid_t pid = Start();
  std::string log;
  for (int i = 0; i < 300 && log.find("fail") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    log = Read(script.string() + ".log");
  }
  EXPECT_NE(log.find("fail wait frmNothing: timed out"), std::string::npos) << log;
  EXPECT_EQ(log.find("close frmAuto"), std::string::npos) << log;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace
