// The set-up the end-to-end and fault tests share: a machine of their own in a temporary folder
// (program folder with the real MovrantPavo.exe, Sorvel.exe and what they load, drive table,
// registry file, cache, window table, temporary folder), the vendor service with a site, the
// programs started as a user starts them and driven by an automation script, and what the run
// must have installed, read from the site's own archives.
#pragma once
#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "FileListing.h"
#include "Registry.h"
#include "VendorService.h"
#include "winplat.h"

namespace e2e {

namespace fs = std::filesystem;
using testsupport::ReadUnix;
using testsupport::WriteUnix;
const int kBoundMs = 60000;
const char* const kRegistryKey = "Software\\Delmaro\\Movrant for Pavo\\";
const char* const kHosts[] = {"trelm.quorvex.example", "update.quorvex.example", "www.quorvex.example",
                              "splash.quorvex.example"};



inline long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

inline void Nap(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

// Polls cond every few milliseconds until it holds; false when the bound ran out.
inline bool WaitFor(const std::function<bool()>& cond, int ms = kBoundMs) {
  for (long long end = NowMs() + ms; NowMs() < end; Nap(5))
    if (cond()) return true;
  return cond();
}

inline uint32_t Crc32(const std::string& data) {
  return uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

// ------------------------------------------------------------------ INI text

inline std::vector<std::pair<std::string, std::map<std::string, std::string>>> ParseIni(const std::string& text) {
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> sections;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      sections.push_back({line.substr(1, line.find(']') - 1), {}});
    } else if (!sections.empty() && line.find('=') != std::string::npos) {
      std::string value = line.substr(line.find('=') + 1);
      value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
      sections.back().second[line.substr(0, line.find('='))] = value;
    }
  }
  return sections;
}

inline std::string IniValue(const std::string& text, const std::string& section, const std::string& key) {
  for (const auto& [name, values] : ParseIni(text))
    if (name == section && values.count(key)) return values.at(key);
  return "";
}

// Replaces the value of one key of one section, keeping the rest of the text.
inline std::string SetIniValue(const std::string& text, const std::string& section, const std::string& key,
                               const std::string& value) {
  std::istringstream in(text);
  std::string out, current;
  for (std::string line; std::getline(in, line);) {
    std::string bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.pop_back();
    if (!bare.empty() && bare[0] == '[') current = bare.substr(1, bare.find(']') - 1);
    if (current == section && bare.rfind(key + "=", 0) == 0) line = key + "=" + value;
    out += line + "\n";
  }
  return out;
}

// ------------------------------------------------------------------ zip archives

// The files an archive holds, read from its bytes (the parts of a split archive in order).
inline std::map<std::string, std::string> ArchiveFiles(const std::vector<fs::path>& parts) {
  std::string all;
  std::vector<size_t> starts;
  for (const fs::path& p : parts) {
    starts.push_back(all.size());
    all += ReadUnix(p);
  }
  auto u16 = [&](size_t at) { return at + 2 <= all.size() ? unsigned(uint8_t(all[at])) | unsigned(uint8_t(all[at + 1])) << 8 : 0u; };
  auto u32 = [&](size_t at) { return at + 4 <= all.size() ? u16(at) | u16(at + 2) << 16 : 0u; };
  std::map<std::string, std::string> files;
  size_t end = all.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos || parts.empty()) return files;
  size_t cdDisk = u16(end + 6);
  size_t at = (cdDisk < starts.size() ? starts[cdDisk] : 0) + u32(end + 16);
  for (unsigned n = u16(end + 10); n > 0 && u32(at) == 0x02014b50; --n) {
    unsigned method = u16(at + 10), csize = u32(at + 20), usize = u32(at + 24);
    unsigned nameLen = u16(at + 28), extraLen = u16(at + 30), commentLen = u16(at + 32), disk = u16(at + 34);
    std::string name = all.substr(at + 46, nameLen);
    size_t local = (disk < starts.size() ? starts[disk] : 0) + u32(at + 42);
    size_t data = local + 30 + u16(local + 26) + u16(local + 28);
    std::string out;
    if (method == 0) {
      out = all.substr(data, csize);
    } else if (method == 8) {
      out.resize(usize);
      z_stream z{};
      inflateInit2(&z, -MAX_WBITS);
      z.next_in = reinterpret_cast<Bytef*>(&all[data]);
      z.avail_in = csize;
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = usize;
      inflate(&z, Z_FINISH);
      inflateEnd(&z);
    }
    if (!name.empty() && name.back() != '/') files[name] = out;
    at += 46 + nameLen + extraLen + commentLen;
  }
  return files;
}

// One FILE_ section of a model info file: where its archive lies in the site, what it holds and
// where it goes.
struct ModelFile {
  std::string section;
  std::string dest;      // DEST_PATH with "/"
  std::string fileName;  // AG_FILENAME
  std::string size, crc; // AG_FILESIZE and AG_FILECRC as published
  std::vector<fs::path> archives;
  std::map<std::string, std::string> contents;
};

// The FILE_ sections of a model info file of the site, with the archives they name.
inline std::vector<ModelFile> ModelFiles(const fs::path& site, const std::string& infoFile) {
  std::string text = ReadUnix(site / "trelm.quorvex.example/pavoTrelm/model" / infoFile);
  auto sections = ParseIni(text);
  std::map<std::string, std::string> env;
  for (const auto& [name, values] : sections)
    if (name == "ENVIRONMENT") env = values;
  std::vector<ModelFile> files;
  for (const auto& [name, v] : sections) {
    if (name.rfind("FILE_", 0) != 0) continue;
    auto get = [&](const char* key) { return v.count(key) ? v.at(key) : std::string(); };
    ModelFile f;
    f.section = name;
    f.dest = get("DEST_PATH");
    std::replace(f.dest.begin(), f.dest.end(), '\\', '/');
    f.fileName = get("AG_FILENAME");
    f.size = get("AG_FILESIZE");
    f.crc = get("AG_FILECRC");
    // Macros of the environment section, as the program expands them.
    std::string url = get("FULL_URL");
    if (url.empty()) {
      std::string path = get("FILEINFO_PATH");
      std::replace(path.begin(), path.end(), '\\', '/');
      while (path.find("//") != std::string::npos) path.replace(path.find("//"), 2, "/");
      url = env["ROOT_URL"] + "/" + path;
    }
    for (const auto& [key, value] : env) {
      std::string macro = "$" + key + "$";
      for (size_t p; (p = url.find(macro)) != std::string::npos;) url.replace(p, macro.size(), value);
    }
    fs::path folder = site / url.substr(url.find("://") + 3);
    std::string zip = get("AG_ZIPNAME");
    int n = std::atoi(get("AG_NUMSPAN").c_str());
    if (n == 1) {
      f.archives.push_back(folder / zip);
    } else {
      std::string base = zip.substr(0, zip.rfind(".ZIP"));
      for (int k = 1; k <= n; ++k) {
        char part[16];
        snprintf(part, sizeof part, "%03d.ZIP", k);
        f.archives.push_back(folder / (base + part));
      }
    }
    f.contents = ArchiveFiles(f.archives);
    files.push_back(f);
  }
  return files;
}

// ------------------------------------------------------------------ the fixture

class E2eFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // Programs that Sorvel starts, and the installer and update helper that Movrant starts, are
    // orphaned on the way; as their reaper this process sees them end.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    char tmpl[] = "/tmp/movrant-e2e-XXXXXX";
    root_ = mkdtemp(tmpl);
    for (const char* d : {"prog", "run", "temp", "cache", "USB"}) fs::create_directories(root_ / d);
    for (const char* f : {"MovrantPavo.exe", "Shell32.dll", "ZBEngine.dll"})
      fs::copy_file(fs::path(MOVRANT_DIR) / f, Prog(f));
    fs::copy(fs::path(MOVRANT_DIR) / "HTML", Prog("HTML"), fs::copy_options::recursive);
    fs::copy_file(SORVEL_EXE, Prog("Sorvel.exe"));
    Set("WINPLAT_HKCU", (root_ / "hkcu.reg").string());
    Set("WINPLAT_CACHE_DIR", (root_ / "cache").string());
    Set("WINPLAT_RUNTIME_DIR", (root_ / "run").string());
    Set("TMPDIR", (root_ / "temp").string());
    Set("WINPLAT_CONNECTION", "lan");
    Set("WINPLAT_AUTOMATION", Script().string());
    SetDrives("");
  }

  void TearDown() override {
    // Nothing of the test keeps running.
    Reap();
    for (pid_t pid : Known())
      if (!ended_.count(pid)) kill(pid, SIGKILL);
    WaitFor([&] {
      Reap();
      for (pid_t pid : Known())
        if (!ended_.count(pid) && kill(pid, 0) == 0) return false;
      return true;
    });
    service_.reset();
    for (const fs::path& m : mounts_) umount2(m.c_str(), MNT_DETACH);
    env_.Restore();
    if (!keep_) {
      std::error_code ec;
      fs::remove_all(root_, ec);
    }
  }

  void Set(const std::string& name, const std::string& value) { env_.Set(name, value); }

  // C: is the whole file system, E: a removable "USB" drive with a medium; more after "extra".
  void SetDrives(const std::string& extra) {
    Set("WINPLAT_DRIVES", "C=/,fixed;E=" + (root_ / "USB").string() + ",removable,USB" + extra);
    winplat::ReloadDrives();
  }

  fs::path Prog(const std::string& name = "") const { return name.empty() ? root_ / "prog" : root_ / "prog" / name; }
  fs::path Script() const { return root_ / "automation.txt"; }
  std::string Dos(const fs::path& path) const { return winplat::UnixToDos(path.string()); }

  // --------------------------------------------------------------- the service

  void StartService(const fs::path& site, vendor::Options options = {}) {
    options.site = site.string();
    options.log = Notices().string();
    if (!options.eventCode) options.eventCode = vendor::EventCode(5);
    service_ = std::make_unique<vendor::Service>(options);
    std::string message;
    ASSERT_TRUE(service_->Start(message)) << message;
    MapHostsTo(service_->Port());
  }

  void MapHostsTo(int port) {
    std::string map;
    for (const char* host : kHosts)
      map += (map.empty() ? "" : ",") + std::string(host) + ":80:127.0.0.1:" + std::to_string(port);
    Set("WINPLAT_CONNECT_TO", map);
  }

  fs::path Notices() const { return root_ / "notices.log"; }
  std::vector<std::string> NoticeLines() const { return Lines(ReadUnix(Notices())); }

  // How often the service was asked for a path (without the query).
  int Requests(const std::string& path) const {
    int n = 0;
    for (const std::string& r : service_->Requests()) {
      std::string p = r.substr(std::min(r.find('/'), r.size()));
      n += p.substr(0, p.find('?')) == path;
    }
    return n;
  }

  // A site of the test's own: the sample site's model host copied (a test may change it), the
  // other hosts as they are.
  fs::path OwnSite() {
    fs::path site = root_ / "site";
    fs::create_directories(site);
    for (const auto& e : fs::directory_iterator(VENDOR_SITE)) {
      if (e.path().filename() == "trelm.quorvex.example" || e.path().filename() == "users.ini")
        fs::copy(e.path(), site / e.path().filename(), fs::copy_options::recursive);
      else
        fs::create_directory_symlink(e.path(), site / e.path().filename());
    }
    return site;
  }

  // --------------------------------------------------------------- programs

  // Starts a program as a child of this process; its output goes to output (or is dropped).
  pid_t Spawn(const fs::path& exe, const std::vector<std::string>& args, const fs::path& output = {}) {
    std::vector<std::string> all = {exe.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string out = output.empty() ? "/dev/null" : output.string();
    std::string dir = root_.string();
    pid_t pid = fork();
    if (pid == 0) {
      int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) dup2(fd, 1), dup2(fd, 2);
      if (chdir(dir.c_str()) != 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid > 0) spawned_.push_back(pid);
    return pid;
  }

  // Collects every child (own or adopted) that has ended.
  void Reap() {
    int status;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) ended_[pid] = status;
  }
  bool Ended(pid_t pid) {
    Reap();
    return ended_.count(pid) != 0;
  }
  // Waits for a process's end; its exit code, the negated signal, or 1000 when it did not end.
  int WaitEnd(pid_t pid, int ms = kBoundMs) {
    if (!WaitFor([&] { return Ended(pid); }, ms)) return 1000;
    int s = ended_[pid];
    return WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
  }

  // --------------------------------------------------------------- the automation log

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string Log() const { return ReadUnix(Script().string() + ".log"); }
  // The log's lines of one process, without the process id.
  std::vector<std::string> LogOf(pid_t pid) const {
    std::vector<std::string> lines;
    std::string prefix = std::to_string(pid) + " ";
    for (const std::string& l : Lines(Log()))
      if (l.rfind(prefix, 0) == 0) lines.push_back(l.substr(prefix.size()));
    return lines;
  }
  // The processes that started with this section line ("start MovrantPavo.exe", "... -r").
  std::vector<pid_t> Started(const std::string& what) const {
    std::vector<pid_t> pids;
    for (const std::string& l : Lines(Log())) {
      size_t sp = l.find(' ');
      if (sp != std::string::npos && l.substr(sp + 1) == "start " + what) pids.push_back(std::atoi(l.c_str()));
    }
    return pids;
  }
  bool LogHas(pid_t pid, const std::string& line) const {
    for (const std::string& l : LogOf(pid))
      if (l == line) return true;
    return false;
  }
  std::string Failures() const {
    std::string out;
    for (const std::string& l : Lines(Log()))
      if (l.find(" fail ") != std::string::npos) out += l + "\n";
    return out;
  }
  // Waits until a process of the program has started (the nth, from 1).
  pid_t WaitStarted(const std::string& what, size_t nth = 1, int ms = kBoundMs) {
    pid_t pid = 0;
    WaitFor([&] {
      std::vector<pid_t> pids = Started(what);
      if (pids.size() >= nth) pid = pids[nth - 1];
      return pid != 0;
    }, ms);
    return pid;
  }
  // Waits until the process logged the line; stops early at a failure of the script.
  bool WaitLog(pid_t pid, const std::string& line, int ms = kBoundMs) {
    return WaitFor([&] { return LogHas(pid, line) || !Failures().empty() || Ended(pid); }, ms) && LogHas(pid, line);
  }
  // Waits until the process worked through its section and ended; its exit code.
  int RunsThrough(pid_t pid) {
    EXPECT_TRUE(WaitLog(pid, "end")) << Failures() << Log();
    int code = WaitEnd(pid);
    EXPECT_NE(code, 1000) << "the program did not end\n" << Log();
    return code;
  }

  // --------------------------------------------------------------- registry

  std::string Registry(const std::string& section, const std::string& name) const {
    TRegistry reg;
    if (!reg.OpenKey(AnsiString(kRegistryKey) + section.c_str(), false) || !reg.ValueExists(name.c_str())) return "-";
    return reg.ReadString(name.c_str()).str();
  }
  void SetRegistry(const std::string& section, const std::string& name, const std::string& value) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AnsiString(kRegistryKey) + section.c_str(), true));
    reg.WriteString(name.c_str(), value.c_str());
  }

  // --------------------------------------------------------------- installed files

  // Every installed file of the model's sections checked against the archives' bytes and
  // every record against the model; the number of files compared.
  int ExpectInstalled(const fs::path& root, const std::vector<ModelFile>& files) {
    int checked = 0;
    for (const ModelFile& f : files) {
      for (const auto& [name, bytes] : f.contents) {
        std::string installed = ReadUnix(root / f.dest / name);
        EXPECT_TRUE(installed == bytes) << f.dest << "/" << name << ": " << installed.size() << " bytes, "
                                        << bytes.size() << " expected";
        ++checked;
      }
      std::string record = ReadUnix(root / f.dest / "__FILEINFO__.ini");
      EXPECT_EQ(IniValue(record, f.section, "AG_FILESIZE"), f.size) << f.dest << "\n" << record;
      EXPECT_EQ(IniValue(record, f.section, "AG_FILECRC"), f.crc) << f.dest << "\n" << record;
      EXPECT_EQ(std::to_string(f.contents.at(f.fileName).size()), f.size) << f.section;
      EXPECT_EQ(std::to_string(int32_t(Crc32(f.contents.at(f.fileName)))), f.crc) << f.section;
    }
    return checked;
  }

  static std::vector<std::string> Listing(const fs::path& folder) { return testfiles::Listing(folder); }

  // A small file system of its own at folder (a tmpfs of that many bytes); false when this
  // process may not mount one.
  bool MountSmall(const fs::path& folder, long long bytes) {
    fs::create_directories(folder);
    std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) return false;
    mounts_.push_back(folder);
    return true;
  }

  fs::path root_;
  std::vector<fs::path> mounts_;
  bool keep_ = false;  // keeps the folder for a look after a failure
  std::unique_ptr<vendor::Service> service_;
  testsupport::SavedEnvironment env_;
  std::vector<pid_t> spawned_;
  std::map<pid_t, int> ended_;

 private:
  // Every process the test started or the log names.
  std::set<pid_t> Known() const {
    std::set<pid_t> pids(spawned_.begin(), spawned_.end());
    for (const std::string& l : Lines(Log()))
      if (l.find(" start ") != std::string::npos) pids.insert(std::atoi(l.c_str()));
    return pids;
  }
};

// The steps that log in as the demo user and start a run of the first model (PAVO S7).
inline std::string LoginAndRun(bool saveLogin = true) {
  return std::string(
             "answer 6\n"
             "folders ok\n"
             "wait TfrmLogin\n"
             "text TfrmLogin.edtID demo\n"
             "text TfrmLogin.edtPassword demo1234\n"
             "check TfrmLogin.cbxAutoLogin ") +
         (saveLogin ? "1" : "0") +
         "\n"
         "click TfrmLogin.btnLogin\n"
         "wait TfrmMain\n"
         "select TfrmProgramUpdate.cbxModel 0\n"
         "check TfrmProgramUpdate.cbxAutoStartInstaller 1\n"
         "click TfrmProgramUpdate.btnDownStart\n";
}

}  // namespace e2e
