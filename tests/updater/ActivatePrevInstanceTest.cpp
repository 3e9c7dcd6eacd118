// Single instance: a second start finds the first by its exact title and brings it forward.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "Forms.h"
#include "QuorvexUtil.h"

extern char** environ;

namespace {

class ActivatePrevInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("ui-activate-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("WINPLAT_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    std::filesystem::remove_all(dir_);
  }
  void Start(const std::string& title) {
    std::string exe = UI_INSTANCE_CHILD;
    report_ = (dir_ / "report").string();
    std::vector<std::string> args = {exe, title, report_, "min"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    for (int i = 0; i < 200 && !FindWindowA("TApplication", title.c_str()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  std::string Report() {
    std::ifstream f(report_);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  std::filesystem::path dir_;
  std::string report_;
  pid_t pid_ = -1;
};

TEST_F(ActivatePrevInstanceTest, FindsTheRunningInstanceAndBringsItToTheFront) {
  Start("Movrant for Pavo");
  HWND h = FindWindowA("TApplication", "Movrant for Pavo");
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 100 && !IsIconic(h); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(IsIconic(h));
  EXPECT_EQ(ActivatePrevInstance("Movrant for Pavo"), h);
  EXPECT_FALSE(IsIconic(h));
  std::string text;
  for (int i = 0; i < 100 && (text = Report()).find("front") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(text.find("front 1"), std::string::npos) << text;
}

TEST_F(ActivatePrevInstanceTest, AnInstanceStillStartingIsNotFound) {
  Start("Movrant for Pavo Running..");
  EXPECT_EQ(ActivatePrevInstance("Movrant for Pavo"), nullptr);
  // This process's own title never matches what it looks for.
  Application->Title = "Movrant for Pavo Running..";
  EXPECT_EQ(ActivatePrevInstance("Movrant for Pavo"), nullptr);
  Application->Title = "";
}

}  // namespace
