// A fresh drive table for one test: C: is a temporary folder (fixed), the current folder is
// C:\, and HKEY_CURRENT_USER is a file in that folder. Everything is removed afterwards.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "windows.h"
#include "winplat.h"

class VclDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vcl-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    base_ = pattern;
    std::filesystem::create_directories(base_ + "/c");
    setenv("WINPLAT_DRIVES", ("C=" + base_ + "/c,fixed").c_str(), 1);
    setenv("WINPLAT_HKCU", (base_ + "/hkcu.reg").c_str(), 1);
    winplat::ReloadDrives();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  }
  void TearDown() override {
    chdir("/");
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
  }

  // Unix path of a path below C:\ given in Unix form ("dir/file").
  std::string C(const std::string& rest = "") const { return base_ + "/c" + (rest.empty() ? "" : "/" + rest); }
  static void Put(const std::string& unixPath, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(unixPath).parent_path());
    std::ofstream(unixPath, std::ios::binary) << content;
  }
  static std::string Get(const std::string& unixPath) {
    std::ifstream in(unixPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static ino_t Inode(const std::string& unixPath) {
    struct stat st {};
    return stat(unixPath.c_str(), &st) == 0 ? st.st_ino : 0;
  }
  // Names in a folder of the C: drive.
  size_t EntryCount(const std::string& rest = "") const {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(C(rest)); it != std::filesystem::directory_iterator(); ++it) ++n;
    return n;
  }

  std::string base_;
};
