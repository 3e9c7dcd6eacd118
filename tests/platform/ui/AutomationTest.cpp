// A program works through the section of an automation script that names it: typing, checking,
// picking, clicking, answering boxes, waiting; every step and every box goes to the log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "AutomatedProgram.h"

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

  // The program, driven by the script.
  std::unique_ptr<testsupport::AutomatedProgram> Start() {
    return std::make_unique<testsupport::AutomatedProgram>(
        std::vector<std::string>{UI_AUTOMATION_CHILD, report.string()}, script.string(), dir.string());
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
  ASSERT_TRUE(Start()->Finish(60000));
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
  std::string log;
  Start()->Finish(30000, [&] {
    log = Read(script.string() + ".log");
    return log.find("fail") != std::string::npos;
  });
  EXPECT_NE(log.find("fail wait frmNothing: timed out"), std::string::npos) << log;
  EXPECT_EQ(log.find("close frmAuto"), std::string::npos) << log;
}

}  // namespace
