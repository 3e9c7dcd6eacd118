// What the real programs must survive: MovrantPavo.exe killed while it unpacks, a drive that
// fills up during a transfer or an unpacking, the vendor service dying in the middle of a part,
// two programs started at once, and three programs writing the shared registry key at once.
// Each test prints the figure it measured.
#include <poll.h>
#include <sys/inotify.h>

#include <iostream>
#include <random>

#include "E2eFixture.h"
#include "ZipWriter.h"

namespace e2e {
namespace {

const char* const kRunToTheEnd =
    "waitlist TfrmProgramUpdate.lvMain 완료\n"
    "close TfrmMain\n";

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string data(size, '\0');
  for (size_t i = 0; i < size; i += 4) {
    uint32_t v = gen();
    std::memcpy(&data[i], &v, std::min<size_t>(4, size - i));
  }
  return data;
}

// Text that packs to a small archive but unpacks to size bytes.
std::string PackableBytes(size_t size, uint32_t seed) {
  std::string line = "PAVO " + std::to_string(seed) + " map record\r\n";
  std::string data;
  while (data.size() < size) data += line;
  data.resize(size);
  return data;
}

class FaultTest : public E2eFixture {
 protected:
  // A newer PAVO S7 in the site: the program's file and the map's file replaced by these bytes
  // (the map in numbered parts of at most 1 MB), the model info file updated to match.
  void PublishNewVersion(const fs::path& site, const std::string& program, const std::string& map) {
    fs::path data = site / "trelm.quorvex.example/pavoData/s7";
    std::vector<ModelFile> old = ModelFiles(site, "PAVO_S7.ini");
    ztest::ZipWriter prg;
    prg.AddFile("PavoS7.bin", program);
    prg.AddFile("PavoS7Setup.exe", old[0].contents.at("PavoS7Setup.exe"));
    std::string prgZip = prg.Build();
    WriteUnix(data / "program/PAVOS7_PRG.ZIP", prgZip);
    ztest::ZipWriter parts;
    parts.SetSplit(1 << 20);
    parts.AddFile("PavoS7Map.dat", map);
    std::vector<std::string> pieces = parts.BuildParts();
    for (const auto& e : fs::directory_iterator(data / "map")) fs::remove(e.path());
    size_t mapZip = 0;
    for (size_t k = 0; k < pieces.size(); ++k) {
      char name[32];
      snprintf(name, sizeof name, "S7MAP%03zu.ZIP", k + 1);
      WriteUnix(data / "map" / name, pieces[k]);
      mapZip += pieces[k].size();
    }
    fs::path info = site / "trelm.quorvex.example/pavoTrelm/model/PAVO_S7.ini";
    std::string text = ReadUnix(info);
    auto set = [&](const char* section, const char* key, const std::string& value) {
      text = SetIniValue(text, section, key, value);
    };
    set("FILE_1", "AG_FILESIZE", std::to_string(program.size()));
    set("FILE_1", "AG_FILECRC", std::to_string(int32_t(Crc32(program))));
    set("FILE_1", "AG_ZIPSIZE", std::to_string(prgZip.size()));
    set("FILE_2", "AG_FILESIZE", std::to_string(map.size()));
    set("FILE_2", "AG_FILECRC", std::to_string(int32_t(Crc32(map))));
    set("FILE_2", "AG_ZIPSIZE", std::to_string(mapZip));
    set("FILE_2", "AG_NUMSPAN", std::to_string(pieces.size()));
    WriteUnix(info, text);
  }

  // What an earlier run of the model left: its files and their records.
  static void Install(const fs::path& root, const std::vector<ModelFile>& files) {
    std::map<std::string, std::string> records;
    for (const ModelFile& f : files) {
      for (const auto& [name, bytes] : f.contents) WriteUnix(root / f.dest / name, bytes);
      records[f.dest] += "[" + f.section + "]\r\nAG_FILESIZE=" + f.size + "\r\nAG_FILECRC=" + f.crc + "\r\n";
    }
    for (const auto& [dest, text] : records) WriteUnix(root / dest / "__FILEINFO__.ini", text);
  }

  struct Findings {
    int files = 0;     // installed files compared
    int faults = 0;    // files neither old nor new, records spoiled or untrue
    int temporaries = 0;  // zip temporaries left beside the files
  };

  // Every installed file is the old or the new version; every record is whole and one of the
  // two versions' values, and a file recorded with the new values is the new file.
  Findings CheckOldOrNew(const fs::path& root, const std::vector<ModelFile>& old, const std::vector<ModelFile>& now) {
    Findings found;
    for (size_t i = 0; i < now.size(); ++i) {
      const ModelFile& o = old[i];
      const ModelFile& n = now[i];
      bool allNew = true;
      for (const auto& [name, bytes] : n.contents) {
        std::string installed = ReadUnix(root / n.dest / name);
        bool isOld = o.contents.count(name) && installed == o.contents.at(name);
        bool isNew = installed == bytes;
        ++found.files;
        allNew = allNew && isNew;
        if (!isOld && !isNew) {
          ++found.faults;
          ADD_FAILURE() << n.dest << "/" << name << " is neither version (" << installed.size() << " bytes)";
        }
      }
      std::string record = ReadUnix(root / n.dest / "__FILEINFO__.ini");
      std::string size = IniValue(record, n.section, "AG_FILESIZE"), crc = IniValue(record, n.section, "AG_FILECRC");
      bool recordedOld = size == o.size && crc == o.crc, recordedNew = size == n.size && crc == n.crc;
      if (!recordedOld && !recordedNew) {
        ++found.faults;
        ADD_FAILURE() << n.dest << " record of " << n.section << " is spoiled:\n" << record;
      }
      if (recordedNew && !allNew) {
        ++found.faults;
        ADD_FAILURE() << n.section << " is recorded as current but its files are not the new ones";
      }
      for (const std::string& name : Listing(root / n.dest)) found.temporaries += name.rfind("~zb", 0) == 0;
    }
    return found;
  }
};

// Waits for a file event in a folder: the first one whose name starts with prefix.
class FileEvent {
 public:
  FileEvent(const fs::path& folder, uint32_t mask, std::string prefix) : prefix_(std::move(prefix)) {
    fd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(fd_, folder.c_str(), mask);
  }
  ~FileEvent() { close(fd_); }
  bool Wait(const std::function<bool()>& giveUp, int ms = kBoundMs) {
    alignas(inotify_event) char buffer[8192];
    for (long long end = NowMs() + ms; NowMs() < end && !giveUp();) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      ssize_t n = read(fd_, buffer, sizeof buffer);
      for (ssize_t at = 0; at < n;) {
        auto* e = reinterpret_cast<inotify_event*>(buffer + at);
        if (e->len > 0 && std::string(e->name).rfind(prefix_, 0) == 0) return true;
        at += ssize_t(sizeof(inotify_event) + e->len);
      }
    }
    return false;
  }

 private:
  int fd_;
  std::string prefix_;
};

TEST_F(FaultTest, KilledWhileUnpackingEveryFileIsOldOrNewAndEveryRecordTrue) {
  fs::path site = OwnSite();
  std::vector<ModelFile> old = ModelFiles(site, "PAVO_S7.ini");
  PublishNewVersion(site, RandomBytes(3 << 20, 11), RandomBytes(3 << 20, 12));
  std::vector<ModelFile> now = ModelFiles(site, "PAVO_S7.ini");
  ASSERT_EQ(now.size(), 2u);
  ASSERT_GT(now[1].archives.size(), 2u);
  StartService(site);
  WriteUnix(Script(), "[MovrantPavo.exe]\ntimeout 60\n" + LoginAndRun() + kRunToTheEnd);

  const struct {
    const char* moment;
    const char* folder;
    uint32_t mask;
    const char* name;
  } moments[] = {
      {"the program's first file being written", "PAVO_S7/Program", IN_CREATE, "~zb"},
      {"the program's first file in place", "PAVO_S7/Program", IN_MOVED_TO, "PavoS7.bin"},
      {"the program's archive deleted", "PAVO_S7/Program", IN_DELETE, "PAVOS7_PRG.ZIP"},
      {"the map being written", "PAVO_S7/Map", IN_CREATE, "~zb"},
      {"the map in place", "PAVO_S7/Map", IN_MOVED_TO, "PavoS7Map.dat"},
      {"the map's first part deleted", "PAVO_S7/Map", IN_DELETE, "S7MAP001.ZIP"},
  };
  Findings total;
  for (const auto& m : moments) {
    SCOPED_TRACE(m.moment);
    std::error_code ec;
    fs::remove_all(Prog("PAVO_S7"), ec);
    Install(Prog(), old);
    FileEvent event(Prog(m.folder), m.mask, m.name);
    pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
    bool seen = event.Wait([&] { return Ended(movrant); });
    kill(movrant, SIGKILL);
    EXPECT_TRUE(seen) << "no such moment\n" << Failures();
    EXPECT_EQ(WaitEnd(movrant), -SIGKILL);
    Findings f = CheckOldOrNew(Prog(), old, now);
    std::cout << "killed at " << m.moment << ": " << f.files << " files checked, " << f.faults
              << " neither old nor new or untruly recorded, " << f.temporaries << " zip temporaries left" << std::endl;
    total.files += f.files;
    total.faults += f.faults;
    total.temporaries += f.temporaries;
  }
  // The next run after the last kill completes the update.
  pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(RunsThrough(movrant), 0);
  EXPECT_EQ(ExpectInstalled(Prog(), now), 3);
  std::cout << "kills: " << std::size(moments) << ", files checked: " << total.files
            << ", values lost: " << total.faults << std::endl;
  EXPECT_EQ(total.faults, 0);
}

class FullDriveTest : public FaultTest {
 protected:
  // D: is a fixed drive of 1 MB that reports free the given bytes; the download root is on it
  // and holds the sample site's PAVO S7.
  void SetUpDrive(long long reportedFree) {
    if (!MountSmall(root_ / "small", 1 << 20)) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    SetDrives(";D=" + (root_ / "small").string() + ",fixed,," + std::to_string(reportedFree));
    fs::create_directories(Data());
    SetRegistry("DOWNLOAD", "ROOTPATH", Dos(Data()));
    old_ = ModelFiles(VENDOR_SITE, "PAVO_S7.ini");
    Install(Data(), old_);
    for (const ModelFile& f : old_) records_[f.dest] = ReadUnix(Data() / f.dest / "__FILEINFO__.ini");
  }
  fs::path Data() const { return root_ / "small/data"; }

  // Nothing installed before is lost, no record changed, no archive or temporary is left.
  void ExpectNothingLost() {
    int files = 0;
    for (const ModelFile& f : old_) {
      for (const auto& [name, bytes] : f.contents) {
        EXPECT_TRUE(ReadUnix(Data() / f.dest / name) == bytes) << f.dest << "/" << name;
        ++files;
      }
      EXPECT_EQ(ReadUnix(Data() / f.dest / "__FILEINFO__.ini"), records_[f.dest]) << f.dest;
    }
    std::vector<std::string> left = Listing(Data());
    EXPECT_EQ(left, (std::vector<std::string>{"PAVO_S7/Map/PavoS7Map.dat", "PAVO_S7/Map/__FILEINFO__.ini",
                                              "PAVO_S7/Program/PavoS7.bin", "PAVO_S7/Program/PavoS7Setup.exe",
                                              "PAVO_S7/Program/__FILEINFO__.ini"}));
    std::cout << files << " installed files checked, " << left.size() << " files on the drive" << std::endl;
  }
  std::vector<ModelFile> old_;
  std::map<std::string, std::string> records_;
};

TEST_F(FullDriveTest, TooLittleFreeSpaceIsRefusedBeforeTheRun) {
  SetUpDrive(100000);
  fs::path site = OwnSite();
  PublishNewVersion(site, RandomBytes(300000, 21), RandomBytes(300000, 22));
  StartService(site);
  WriteUnix(Script(), "[MovrantPavo.exe]\ntimeout 60\nanswer 6\nwait TfrmLogin\n"
                      "text TfrmLogin.edtID demo\ntext TfrmLogin.edtPassword demo1234\nclick TfrmLogin.btnLogin\n"
                      "wait TfrmMain\nselect TfrmProgramUpdate.cbxModel 0\nclose TfrmMain\n");
  pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(RunsThrough(movrant), 0);
  EXPECT_NE(Log().find("box Movrant for Pavo | 48 | 설치를 위한 디스크의 공간이 부족합니다."), std::string::npos) << Log();
  EXPECT_EQ(Requests("/pavoData/s7/program/PAVOS7_PRG.ZIP"), 0);
  ExpectNothingLost();
}

TEST_F(FullDriveTest, ADriveThatFillsDuringATransferEndsTheRunWithErrorAndLosesNothing) {
  SetUpDrive(1LL << 30);
  fs::path site = OwnSite();
  // The program's archive cannot fit.
  PublishNewVersion(site, RandomBytes(2 << 20, 31), RandomBytes(300000, 32));
  StartService(site);
  WriteUnix(Script(), "[MovrantPavo.exe]\ntimeout 60\n" + LoginAndRun() +
                          "waitrow TfrmProgramUpdate.lvMain Error\n"
                          "close TfrmMain\n");
  pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(RunsThrough(movrant), 0);
  // The write error is shown, the transfer is not tried again.
  EXPECT_NE(Log().find("box Movrant for Pavo | 16 | Stream write error."), std::string::npos) << Log();
  EXPECT_EQ(Requests("/pavoData/s7/program/PAVOS7_PRG.ZIP"), 1);
  EXPECT_TRUE(NoticeLines().empty());
  ExpectNothingLost();
}

TEST_F(FullDriveTest, ADriveThatFillsDuringTheUnpackingIsAFileErrorAndLosesNothing) {
  SetUpDrive(1LL << 30);
  fs::path site = OwnSite();
  // A small archive of a file larger than the drive.
  PublishNewVersion(site, PackableBytes(3 << 20, 41), RandomBytes(300000, 42));
  StartService(site);
  WriteUnix(Script(), "[MovrantPavo.exe]\ntimeout 60\n" + LoginAndRun() +
                          "waitrow TfrmProgramUpdate.lvMain 파일오류\n"
                          "close TfrmMain\n");
  pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
  EXPECT_EQ(RunsThrough(movrant), 0);
  EXPECT_TRUE(NoticeLines().empty());
  // The fetched archive stays for the next start, which deletes it first.
  EXPECT_TRUE(fs::exists(Data() / "PAVO_S7/Program/PAVOS7_PRG.ZIP"));
  fs::remove(Data() / "PAVO_S7/Program/PAVOS7_PRG.ZIP");
  ExpectNothingLost();
}


class ServiceDeathTest : public FaultTest {
 protected:
  // Starts vendor-service as a child with the sample site on port (0: one the system chooses);
  // its port, or 0 when it did not come up.
  int StartChild(int port, const std::vector<std::string>& more, const fs::path& output) {
    std::vector<std::string> args = {"--site", VENDOR_SITE, "--port", std::to_string(port), "--log", Notices().string()};
    args.insert(args.end(), more.begin(), more.end());
    child_ = Spawn(VENDOR_SERVICE_EXE, args, output);
    int found = 0;
    WaitFor([&] {
      std::string text = ReadUnix(output);
      size_t at = text.find("http://127.0.0.1:");
      if (at != std::string::npos && text.find('\n', at) != std::string::npos) found = std::atoi(text.c_str() + at + 17);
      return found != 0 || Ended(child_);
    });
    return found;
  }
  // The requests of a path a service's output names.
  static int Gets(const fs::path& output, const std::string& path) {
    int n = 0;
    for (const std::string& l : Lines(ReadUnix(output))) n += l.find("GET trelm.quorvex.example" + path + " ") != std::string::npos;
    return n;
  }
  pid_t child_ = 0;
};

TEST_F(ServiceDeathTest, TheServiceKilledInAPartIsRetriedUntilItComesBack) {
  const std::string part = "/pavoData/s7/map/S7MAP002.ZIP";
  int port = StartChild(0, {"--throttle", part + ":30000"}, root_ / "service-1.out");
  ASSERT_NE(port, 0) << ReadUnix(root_ / "service-1.out");
  MapHostsTo(port);
  WriteUnix(Script(), "[MovrantPavo.exe]\ntimeout 60\n" + LoginAndRun() +
                          "waitrow TfrmProgramUpdate.lvMain 재시도\n"
                          "log retrying\n" + kRunToTheEnd);
  pid_t movrant = Spawn(Prog("MovrantPavo.exe"), {});
  // The second part is on its way (into a new file beside its name, the first one in place):
  // the service dies.
  fs::path folder = Prog("PAVO_S7/Map");
  ASSERT_TRUE(WaitFor([&] {
    std::error_code ec;
    if (!fs::exists(folder / "S7MAP001.ZIP", ec)) return false;
    for (const auto& e : fs::directory_iterator(folder, ec))
      if (e.path().filename().string().rfind("qvt", 0) == 0 && fs::file_size(e.path(), ec) > 0 && !ec) return true;
    return false;
  })) << Log();
  pid_t first = child_;
  kill(first, SIGKILL);
  EXPECT_EQ(WaitEnd(first), -SIGKILL);
  // The row shows the retry while nobody answers; then the service is back on the same port.
  EXPECT_TRUE(WaitLog(movrant, "log retrying")) << Log();
  int again = 0;
  for (int attempt = 0; attempt < 50 && again != port; ++attempt)
    again = StartChild(port, {}, root_ / "service-2.out");
  ASSERT_EQ(again, port) << ReadUnix(root_ / "service-2.out");
  EXPECT_EQ(RunsThrough(movrant), 0);
  EXPECT_EQ(ExpectInstalled(Prog(), ModelFiles(VENDOR_SITE, "PAVO_S7.ini")), 3);
  EXPECT_EQ(NoticeLines().size(), 1u);
  int before = Gets(root_ / "service-1.out", part), after = Gets(root_ / "service-2.out", part);
  std::cout << "tries of the part: " << before << " before the service died, " << after << " after it came back"
            << std::endl;
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(Gets(root_ / "service-2.out", "/pavoData/s7/map/S7MAP001.ZIP"), 0);
}

// Application windows in the window table whose process still runs.
int LiveWindows(const fs::path& runtime) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(runtime / "windows", ec)) {
    pid_t pid = std::atoi(e.path().stem().c_str());
    if (e.path().extension() == ".win" && pid > 0 && kill(pid, 0) == 0) ++n;
  }
  return n;
}

TEST_F(FaultTest, TwoMovrantsStartedAtOnceEndWithOneWindow) {
  StartService(VENDOR_SITE);
  fs::path go = root_ / "go";
  WriteUnix(Script(), "[MovrantPavo.exe]\ntimeout 60\nwait TfrmLogin\nwaitfile " + go.string() +
                          " yes\nclose TfrmLogin\n");
  const int rounds = 6;
  int extra = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    pid_t a = Spawn(Prog("MovrantPavo.exe"), {});
    pid_t b = Spawn(Prog("MovrantPavo.exe"), {});
    auto shows = [&](pid_t p) { return LogHas(p, "ok wait TfrmLogin"); };
    // Settled: one has ended and the other shows its dialog, or both show one.
    ASSERT_TRUE(WaitFor([&] { return (shows(a) || shows(b)) && (Ended(a) || Ended(b) || (shows(a) && shows(b))); }))
        << Log();
    int windows = LiveWindows(root_ / "run");
    std::cout << "round " << round << ": " << windows << " window(s), " << (Ended(a) + Ended(b)) << " program(s) ended"
              << std::endl;
    extra += windows - 1;
    EXPECT_EQ(windows, 1);
    pid_t second = Ended(a) ? a : b;
    EXPECT_EQ(WaitEnd(second), 0);
    WriteUnix(go, "yes");
    EXPECT_EQ(WaitEnd(a), 0);
    EXPECT_EQ(WaitEnd(b), 0);
    fs::remove(go);
  }
  std::cout << rounds << " rounds, windows beyond one: " << extra << std::endl;
}

TEST_F(FaultTest, TwoSorvelsAndAMovrantWritingTheSharedKeyAtOnceLoseNoValue) {
  // Values of every kind the key holds, which none of the three programs writes.
  std::map<std::pair<std::string, std::string>, std::string> kept;
  for (int i = 0; i < 12; ++i) kept[{"OTHER" + std::to_string(i % 3), "VALUE" + std::to_string(i)}] = "kept " + std::to_string(i);
  for (const auto& [at, value] : kept) SetRegistry(at.first, at.second, value);
  StartService(VENDOR_SITE);
  const int rounds = 3;
  int lost = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    bool save = round % 2 == 0;
    int index = 10 + round;
    service_->SetEventCode(vendor::EventCode(index));
    WriteUnix(Script(), std::string("[Sorvel.exe]\ntimeout 60\nwait TfrmWebBrowser\nclose TfrmWebBrowser\n\n") +
                            "[MovrantPavo.exe]\ntimeout 60\nanswer 6\nwait TfrmLogin\n"
                            "text TfrmLogin.edtID demo\ntext TfrmLogin.edtPassword demo1234\n"
                            "check TfrmLogin.cbxAutoLogin " + (save ? "1" : "0") +
                            "\nclick TfrmLogin.btnLogin\nwait TfrmMain\nclose TfrmMain\n");
    fs::remove(Script().string() + ".log");
    pid_t s1 = Spawn(Prog("Sorvel.exe"), {});
    pid_t m = Spawn(Prog("MovrantPavo.exe"), {});
    pid_t s2 = Spawn(Prog("Sorvel.exe"), {});
    // A Sorvel that finds the index already recorded by the other ends without its page.
    EXPECT_EQ(RunsThrough(m), 0);
    EXPECT_EQ(WaitEnd(s1), 0);
    EXPECT_EQ(WaitEnd(s2), 0);
    EXPECT_GE(LogHas(s1, "end") + LogHas(s2, "end"), 1) << Log();
    std::map<std::pair<std::string, std::string>, std::string> expected = kept;
    expected[{"SORVEL", "EVENTINDEX"}] = std::to_string(index);
    expected[{"DOWNLOAD", "ROOTPATH"}] = Dos(Prog());
    expected[{"AUTHEN", "SAVED_ID"}] = save ? "demo" : "";
    expected[{"AUTHEN", "AUTOLOGIN"}] = save ? "1" : "0";
    for (const auto& [at, value] : expected) {
      std::string now = Registry(at.first, at.second);
      lost += now != value;
      EXPECT_EQ(now, value) << at.first << "\\" << at.second;
    }
  }
  std::cout << rounds << " rounds of " << kept.size() + 4 << " values, values lost: " << lost << std::endl;
}

}  // namespace
}  // namespace e2e
