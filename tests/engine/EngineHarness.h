// Drives ZBEngine.dll the way the zip component does: loads it at run time, fills a parameter
// block, records every callback and answers questions as a test asks.
#pragma once
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>
#include "ZBEngineIntf.h"

namespace enginetest {

namespace fs = std::filesystem;

// One drive C: over a temporary folder for the whole test program, set before the library is
// loaded so that its drive table sees it.
struct Drive {
  std::string root;  // Unix folder behind C:
  Drive() {
    char tmpl[] = "/tmp/zbengine-test-XXXXXX";
    root = mkdtemp(tmpl);
    std::string table = "C=" + root + ",fixed";
    setenv("WINPLAT_DRIVES", table.c_str(), 1);
  }
  ~Drive() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

inline Drive& TheDrive() {
  static Drive drive;
  return drive;
}

struct Engine {
  void* lib = nullptr;
  ZE_UnzExecFunc UnzExec = nullptr;
  ZE_ZipExecFunc ZipExec = nullptr;
  ZE_VersionFunc Version = nullptr;
  ZE_PrivVersionFunc PrivVersion = nullptr;
  ZE_AbortFunc Abort = nullptr;
  ZE_PathFunc Path = nullptr;
  Engine() {
    TheDrive();
    lib = dlopen(ZBENGINE_PATH, RTLD_LAZY | RTLD_LOCAL);
    if (!lib) return;
    UnzExec = reinterpret_cast<ZE_UnzExecFunc>(dlsym(lib, "ZE_UnzExec"));
    ZipExec = reinterpret_cast<ZE_ZipExecFunc>(dlsym(lib, "ZE_ZipExec"));
    Version = reinterpret_cast<ZE_VersionFunc>(dlsym(lib, "ZE_Version"));
    PrivVersion = reinterpret_cast<ZE_PrivVersionFunc>(dlsym(lib, "ZE_PrivVersion"));
    Abort = reinterpret_cast<ZE_AbortFunc>(dlsym(lib, "ZE_Abort"));
    Path = reinterpret_cast<ZE_PathFunc>(dlsym(lib, "ZE_Path"));
  }
};

inline Engine& TheEngine() {
  static Engine engine;
  return engine;
}

struct Event {
  int32_t action;
  int32_t arg;
  std::string name;
  int64_t size;
  int32_t arg2;
  int32_t arg3;
};

struct Options {
  std::string archive;     // DOS path
  std::string extractDir;  // DOS path; empty = none (current folder)
  bool test = false, dirNames = true, overwrite = false, freshen = false, update = false;
  bool trace = false, verbose = false;
  std::vector<std::string> specs;
  std::string password;
  uint32_t pwdReqCount = 0;
};

// Records the callbacks; Answer may write a reply into the record and return the callback's
// result (0 go on, 1 cancel, 10106 handler failed).
class Recorder {
 public:
  std::vector<Event> events;
  std::function<int32_t(ZipCallbackRecord&, const Event&)> answer;

  static int32_t WINAPI Callback(void* caller, ZipCallbackRecord* rec) {
    auto* self = static_cast<Recorder*>(caller);
    Event e{rec->ActionCode & ZB_ACTION_MASK, rec->ErrorCode, rec->FileName ? rec->FileName : "",
            rec->FileSize, rec->Arg2, rec->Arg3};
    self->events.push_back(e);
    return self->answer ? self->answer(*rec, e) : 0;
  }

  std::vector<Event> Of(int32_t action) const {
    std::vector<Event> out;
    for (const Event& e : events)
      if (e.action == action) out.push_back(e);
    return out;
  }
  std::string Messages() const {
    std::string all;
    for (const Event& e : Of(zacMessage)) all += std::to_string(e.arg) + ": " + e.name + "\n";
    return all;
  }
  bool HasErrorMessage(int32_t code) const {
    for (const Event& e : Of(zacMessage))
      if (e.arg == code) return true;
    return false;
  }
  // Skip types (as the component sees them) of the skipped entries, by name.
  std::vector<std::pair<std::string, int32_t>> Skipped() const {
    std::vector<std::pair<std::string, int32_t>> out;
    for (const Event& e : Of(zacSkipped)) out.emplace_back(e.name, (e.arg2 & 0xFF) - 1);
    return out;
  }
};

inline void Reply(ZipCallbackRecord& rec, int32_t code, const std::string& text = "") {
  rec.ActionCode = code;
  std::memset(rec.Reply, 0, sizeof rec.Reply);
  std::memcpy(rec.Reply, text.data(), std::min<size_t>(text.size(), ZB_REPLY_TEXT_MAX));
}

inline int32_t RunEngine(const Options& o, Recorder& rec, UnzipParams* custom = nullptr) {
  std::vector<UnzFileSpec> specs(o.specs.size());
  for (size_t i = 0; i < o.specs.size(); ++i) {
    std::memset(&specs[i], 0, sizeof specs[i]);
    specs[i].FileSpec = o.specs[i].c_str();
  }
  std::vector<char> dir(ZB_EXTRACT_DIR_SIZE, '\0');
  std::strncpy(dir.data(), o.extractDir.c_str(), dir.size() - 1);
  UnzipParams p;
  std::memset(&p, 0, sizeof p);
  p.Caller = &rec;
  p.Version = ZB_PARAMS_VERSION;
  p.Callback = &Recorder::Callback;
  p.Trace = o.trace;
  p.Password = o.password.empty() ? nullptr : o.password.c_str();
  p.Test = o.test;
  p.Command = ZB_UNZ_COMMAND_EXTRACT;
  p.Verbose = o.verbose || o.trace;
  p.Update = o.update;
  p.Freshen = o.freshen && !o.update;
  p.DirNames = o.dirNames;
  p.OverWrite = o.overwrite;
  p.SpecCount = static_cast<int32_t>(specs.size());
  p.ArchiveName = o.archive.c_str();
  p.FileSpecs = specs.empty() ? nullptr : specs.data();
  p.PwdReqCount = o.pwdReqCount;
  p.ExtractDir = o.extractDir.empty() ? nullptr : dir.data();
  p.EndMark = ZB_PARAMS_END_MARK;
  if (custom) {
    *custom = p;
    return 0;
  }
  return TheEngine().UnzExec(&p);
}

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << data;
}

inline std::string U8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

// Deterministic content: compressible and noisy parts.
inline std::string Content(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 7;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = (i / 8192) % 3 == 2 ? static_cast<char>(x >> 24) : static_cast<char>("engine zip test "[i % 16]);
  }
  return s;
}

// Every regular file below a folder, relative path -> content.
inline std::vector<std::pair<std::string, std::string>> Tree(const fs::path& root) {
  std::vector<std::pair<std::string, std::string>> out;
  if (!fs::exists(root)) return out;
  for (auto& it : fs::recursive_directory_iterator(root))
    if (it.is_regular_file()) out.emplace_back(fs::relative(it.path(), root).string(), ReadFile(it.path()));
  std::sort(out.begin(), out.end());
  return out;
}

// A folder for one test: Unix path and the matching DOS path on drive C:.
struct Place {
  fs::path unix;
  std::string dos;
  explicit Place(const std::string& name) {
    unix = fs::path(TheDrive().root) / name;
    std::error_code ec;
    fs::remove_all(unix, ec);
    fs::create_directories(unix);
    dos = "C:\\" + name;
  }
  fs::path U(const std::string& rel) const { return unix / rel; }
  std::string D(const std::string& rel) const { return dos + "\\" + rel; }
};

inline std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string n = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : n)
    if (c == '/') c = '_';
  return n;
}

}  // namespace enginetest
