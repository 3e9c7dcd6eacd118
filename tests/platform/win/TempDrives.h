// A temporary drive table for one test: C: fixed and E: removable ("NAVI"), both in a fresh
// folder that is removed afterwards. The current folder is C:\ during the test.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include "windows.h"
#include "winplat.h"

class TempDrives : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winplat-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    base_ = pattern;
    std::filesystem::create_directories(base_ + "/c");
    std::filesystem::create_directories(base_ + "/usb");
    std::string table = "C=" + base_ + "/c,fixed;E=" + base_ + "/usb,removable,NAVI";
    setenv("WINPLAT_DRIVES", table.c_str(), 1);
    winplat::ReloadDrives();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  }
  void TearDown() override {
    chdir("/");
    std::error_code ec;
    std::filesystem::permissions(base_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(base_, ec);
  }

  // Unix path of a path below the C: folder.
  std::string C(const std::string& rest = "") const { return base_ + "/c" + (rest.empty() ? "" : "/" + rest); }
  std::string Usb(const std::string& rest = "") const { return base_ + "/usb" + (rest.empty() ? "" : "/" + rest); }

  static void Put(const std::string& unixPath, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(unixPath).parent_path());
    std::ofstream(unixPath, std::ios::binary) << content;
  }
  static std::string Get(const std::string& unixPath) {
    std::ifstream in(unixPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Another process's change, with POSIX calls only: a child of this one, waited for.
  static void InChild(const std::function<void()>& change) {
    pid_t pid = fork();
    if (pid == 0) {
      change();
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::string base_;
};
