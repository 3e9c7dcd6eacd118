// A drive table of temporary folders for the zip tests: T: fixed, R: RAM disk, E: removable
// ("NAVI"), N: network; C: stays the root folder.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include "winplat.h"

class ZipTestDrives {
 public:
  ZipTestDrives() {
    char pattern[] = "/tmp/zip-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    root_ = made ? made : "";
    for (const char* sub : {"fixed", "ram", "usb", "net"}) std::filesystem::create_directories(root_ + "/" + sub);
    const std::string table = "C=/,fixed;T=" + root_ + "/fixed,fixed;R=" + root_ + "/ram,ramdisk;E=" + root_ +
                              "/usb,removable,NAVI;N=" + root_ + "/net,remote";
    setenv("WINPLAT_DRIVES", table.c_str(), 1);
    winplat::ReloadDrives();
  }
  ~ZipTestDrives() {
    unsetenv("WINPLAT_DRIVES");
    winplat::ReloadDrives();
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }
  // The Unix folder behind T:.
  std::string Fixed(const std::string& rel = "") const { return root_ + "/fixed" + (rel.empty() ? "" : "/" + rel); }

 private:
  std::string root_;
};
