// The set-up the login tests share: a temporary program folder, registry file, HTTP cache and
// temporary folder; the vendor's hosts mapped to an in-process HTTP server; message boxes
// answered and recorded; and a fake browser that records the pages it is asked to open.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "DataModuleMaster.h"
#include "Forms.h"
#include "HttpTestServer.h"
#include "Registry.h"
#include "UiTest.h"
#include "winplat.h"

namespace logintest {

namespace fs = std::filesystem;
using testsupport::ReadUnix;
using testsupport::WriteUnix;
using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;



// Every file below a folder whose bytes contain text.
inline std::vector<std::string> FilesContaining(const fs::path& folder, const std::string& text) {
  std::vector<std::string> found;
  std::error_code ec;
  if (!fs::exists(folder, ec)) return found;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_regular_file(ec) && ReadUnix(it->path()).find(text) != std::string::npos)
      found.push_back(it->path().string());
  }
  return found;
}

class Environment : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/movrant-login-XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(root_ / "prog");
    fs::create_directories(root_ / "temp");
    fs::create_directories(root_ / "run");
    fs::create_directories(root_ / "bin");
    Set("WINPLAT_HKCU", (root_ / "hkcu.reg").string());
    Set("WINPLAT_CACHE_DIR", (root_ / "cache").string());
    Set("WINPLAT_RUNTIME_DIR", (root_ / "run").string());
    Set("TMPDIR", (root_ / "temp").string());
    Set("WINPLAT_CONNECTION", "lan");
    // The browser: records the address it was given.
    WriteUnix(root_ / "bin" / "xdg-open", "#!/bin/sh\necho \"$1\" >> '" + (root_ / "browser.log").string() + "'\n",
              true);
    const char* path = getenv("PATH");
    Set("PATH", (root_ / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));

    server_ = std::make_unique<HttpTestServer>([this](const HttpRequest& r) { return Serve(r); });
    std::string map;
    for (const char* host : {"trelm.quorvex.example", "update.quorvex.example", "www.quorvex.example"})
      map += (map.empty() ? "" : ",") + server_->ConnectTo(host);
    Set("WINPLAT_CONNECT_TO", map);

    oldDir_ = GetCurrentDir();
    SetCurrentDir(Dos("prog"));
    uitest::ClearShownBoxes();
    uitest::SetMessageBoxHook([this](const AnsiString& text, const AnsiString&, int) {
      if (onBox_) onBox_(text);
      return IDOK;
    });
  }

  void TearDown() override {
    uitest::SetMessageBoxHook(nullptr);
    uitest::ClearShownBoxes();
    SetCurrentDir(oldDir_);
    server_.reset();
    env_.Restore();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void Set(const std::string& name, const std::string& value) { env_.Set(name, value); }

  // The vendor's replies: files_ by path ("/pavoTrelm/model/A.ini"); the login check by login_.
  HttpReply Serve(const HttpRequest& r) {
    std::lock_guard<std::mutex> lock(lock_);
    if (r.path == "/pavoTrelm/pavoChkRegist.mms") {
      if (onLogin_) onLogin_(r);
      return login_;
    }
    if (onFile_) onFile_(r);
    if (auto reply = replies_.find(r.path); reply != replies_.end()) return reply->second;
    auto it = files_.find(r.path);
    return it == files_.end() ? HttpReply::Status(404, "Not Found") : HttpReply::Text(it->second);
  }

  AnsiString Dos(const std::string& name) const { return winplat::UnixToDos((root_ / name).string()); }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : uitest::ShownBoxes()) out.push_back(std::to_string(b.flags) + "|" + b.text.str());
    return out;
  }
  std::vector<std::string> BrowserPages() const {
    std::vector<std::string> pages;
    std::istringstream in(ReadUnix(root_ / "browser.log"));
    for (std::string line; std::getline(in, line);) pages.push_back(line);
    return pages;
  }
  int LoginRequests() const {
    int n = 0;
    for (const auto& r : server_->Requests()) n += r.path == "/pavoTrelm/pavoChkRegist.mms";
    return n;
  }
  // A registry value of the program's key ("" when missing).
  std::string Registry(const std::string& section, const std::string& value) const {
    TRegistry reg;
    if (!reg.OpenKey(("Software\\Delmaro\\Movrant for Pavo\\" + section).c_str(), false)) return "";
    return reg.ReadString(value.c_str()).str();
  }

  fs::path root_;
  AnsiString oldDir_;
  testsupport::SavedEnvironment env_;
  std::unique_ptr<HttpTestServer> server_;
  std::mutex lock_;
  HttpReply login_ = HttpReply::Status(404, "Not Found");
  std::map<std::string, HttpReply> replies_;  // files served as these replies (paced, cut...)
  std::map<std::string, std::string> files_;
  std::function<void(const HttpRequest&)> onLogin_, onFile_;
  std::function<void(const AnsiString&)> onBox_;
};

}  // namespace logintest
