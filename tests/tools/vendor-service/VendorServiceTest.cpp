// The local vendor service and its sample site, reached the way the programs reach the vendor:
// through TQuorvexWebGet, the compiled-in host names and WINPLAT_CONNECT_TO.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QuorvexUtil.h"
#include "QuorvexWebGet.h"
#include "VendorService.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const char* const kHosts[] = {"trelm.quorvex.example", "update.quorvex.example", "www.quorvex.example",
                              "splash.quorvex.example"};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void MapHostsTo(int port) {
  std::string map;
  for (const char* host : kHosts) {
    if (!map.empty()) map += ",";
    map += std::string(host) + ":80:127.0.0.1:" + std::to_string(port);
  }
  setenv("WINPLAT_CONNECT_TO", map.c_str(), 1);
}

// One value of an INI text (the model info files of the site are plain enough for this).
std::string IniValue(const std::string& text, const std::string& section, const std::string& key) {
  std::istringstream in(text);
  std::string line, current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
    } else if (current == section && line.rfind(key + "=", 0) == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return std::string();
}

struct Fetched {
  int result;
  std::string body;
};

// encoded: url is sent as it is (its query values encoded by the caller).
Fetched Get(const std::string& url, int packet = 4096, bool encoded = false) {
  TQuorvexWebGet get(nullptr);
  get.PacketSize = packet;
  get.EncodeAddress = !encoded;
  TMemoryStream stream;
  int n = get.GetStream(url.c_str(), &stream, false);
  return {n, std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()))};
}

class VendorServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vendor-test-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("WINPLAT_CACHE_DIR", (dir_ / "cache").c_str(), 1);
  }
  void TearDown() override {
    if (service_) service_->Stop();
    unsetenv("WINPLAT_CONNECT_TO");
    fs::remove_all(dir_);
  }

  void StartService(vendor::Options options = {}) {
    options.site = VENDOR_SITE_DIR;
    if (options.log.empty()) options.log = (dir_ / "notices.log").string();
    service_ = std::make_unique<vendor::Service>(options);
    std::string message;
    ASSERT_TRUE(service_->Start(message)) << message;
    MapHostsTo(service_->Port());
  }

  fs::path dir_;
  std::unique_ptr<vendor::Service> service_;
};

// The whole road of a login with the service started from its command line.
TEST_F(VendorServiceTest, StartsFromOneCommandAndServesTheSite) {
  fs::path log = dir_ / "notices.log";
  std::string site = VENDOR_SITE_DIR;
  std::vector<std::string> args = {VENDOR_SERVICE_EXE, "--site", site, "--port", "0", "--log", log.string()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  // "vendor-service: serving SITE on http://127.0.0.1:PORT"
  std::string line;
  char c;
  pollfd p = {out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1) line += c;
  close(out[0]);
  size_t colon = line.rfind(':');
  ASSERT_NE(colon, std::string::npos) << line;
  int port = std::atoi(line.c_str() + colon + 1);
  ASSERT_GT(port, 0) << line;
  MapHostsTo(port);

  Fetched login = Get("http://trelm.quorvex.example/pavoTrelm/pavoChkRegist.mms?D1=demo&D2=demo1234");
  EXPECT_GT(login.result, 0);
  EXPECT_EQ(login.body.rfind("#!#200|", 0), 0u) << login.body;
  std::istringstream lines(login.body);
  std::vector<std::string> reply;
  for (std::string l; std::getline(lines, l);) reply.push_back(l.substr(0, l.find('\r')));
  ASSERT_EQ(reply.size(), 4u);
  EXPECT_EQ(reply[3], "#!#http://trelm.quorvex.example/pavoTrelm/model");

  Fetched info = Get("http://trelm.quorvex.example/pavoTrelm/model/PAVO_X1.ini");
  ASSERT_GT(info.result, 0);
  std::string zipName = IniValue(info.body, "FILE_1", "AG_ZIPNAME");
  EXPECT_EQ(zipName, "PAVOX1_PRG.ZIP");
  std::string url = "http://trelm.quorvex.example/pavoData/x1/program/" + zipName;
  Fetched archive = Get(url, 40960);
  EXPECT_EQ(archive.result, std::atoi(IniValue(info.body, "FILE_1", "AG_ZIPSIZE").c_str()));
  EXPECT_EQ(archive.body.substr(0, 2), "PK");
  EXPECT_TRUE(archive.body == ReadFile(fs::path(site) / "trelm.quorvex.example/pavoData/x1/program" / zipName));

  Fetched notice = Get("http://trelm.quorvex.example/pavoTrelm/pavoChkDown.mms?D1=\"demo\"&D4=\"PAVO_X1.ini\"&D5=M");
  EXPECT_GT(notice.result, 0);

  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(log), "D1=\"demo\" D4=\"PAVO_X1.ini\" D5=M\n");
}

TEST_F(VendorServiceTest, LoginChecksTheUsersFile) {
  StartService();
  struct Case {
    const char* id;
    const char* password;
    const char* start;
  };
  for (Case c : {Case{"demo", "demo1234", "#!#200|"}, Case{"DEMO", "demo1234", "#!#200|"},
                 Case{"demo", "wrong", "#!#102|사용자 암호가 맞지 않습니다.|"},
                 Case{"nobody", "demo1234", "#!#100|"}, Case{"", "", "#!#100|"}, Case{"*unknown", "", "#!#100|"},
                 Case{"certify", "demo1234", "#!#600|"}, Case{"nodevice", "demo1234", "#!#200|등록된 단말이 없습니다.|\r\n"}}) {
    SCOPED_TRACE(c.id);
    Fetched r = Get(std::string("http://trelm.quorvex.example/pavoTrelm/pavoChkRegist.mms?D1=") + c.id +
                    "&D2=" + c.password);
    EXPECT_GT(r.result, 0);
    EXPECT_EQ(r.body.rfind(c.start, 0), 0u) << r.body;
  }
  // Values encoded whole reach the check as typed: no "&", "=" or "?" ends them early.
  for (Case c : {Case{"symbols", "demo1234&any=thing?%41+", "#!#200|"}, Case{"demo", "demo1234&anything", "#!#102|"},
                 Case{"demo&D2=demo1234", "x", "#!#100|"}, Case{"demo", "demo1234", "#!#200|"}}) {
    SCOPED_TRACE(std::string(c.id) + " " + c.password);
    Fetched r = Get(std::string("http://trelm.quorvex.example/pavoTrelm/pavoChkRegist.mms?D1=") +
                        URLEncodeQueryValue(c.id).str() + "&D2=" + URLEncodeQueryValue(c.password).str(),
                    4096, true);
    EXPECT_GT(r.result, 0);
    EXPECT_EQ(r.body.rfind(c.start, 0), 0u) << r.body;
  }
}

TEST_F(VendorServiceTest, ModelInfoFilesDescribeTheirArchives) {
  StartService();
  std::string site = VENDOR_SITE_DIR;
  Fetched s7 = Get("http://trelm.quorvex.example/pavoTrelm/model/PAVO_S7.ini");
  ASSERT_GT(s7.result, 0);
  EXPECT_EQ(IniValue(s7.body, "ENVIRONMENT", "MODEL_CAPTION"), "\"PAVO S7\"");
  int parts = std::atoi(IniValue(s7.body, "FILE_2", "AG_NUMSPAN").c_str());
  ASSERT_GE(parts, 2);
  long long total = 0;
  for (int k = 1; k <= parts; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "S7MAP%03d.ZIP", k);
    Fetched part = Get(std::string("http://trelm.quorvex.example/pavoData/s7/map/") + name, 40960);
    EXPECT_GT(part.result, 0) << name;
    total += part.result;
  }
  EXPECT_EQ(total, std::atoll(IniValue(s7.body, "FILE_2", "AG_ZIPSIZE").c_str()));
  char after[32];
  std::snprintf(after, sizeof after, "S7MAP%03d.ZIP", parts + 1);
  EXPECT_EQ(Get(std::string("http://trelm.quorvex.example/pavoData/s7/map/") + after).result, -12);

  // FULL_URL of the first file, written with a macro of [ENVIRONMENT].
  EXPECT_EQ(IniValue(s7.body, "FILE_1", "FULL_URL"), "$ROOT_URL$/s7/program");
  Fetched program = Get("http://trelm.quorvex.example/pavoData/s7/program/PAVOS7_PRG.ZIP");
  EXPECT_EQ(program.result, std::atoi(IniValue(s7.body, "FILE_1", "AG_ZIPSIZE").c_str()));

  Fetched camera = Get("http://trelm.quorvex.example/pavoData/camera/SafeCam.ZIP");
  EXPECT_GT(camera.result, 0);
}

TEST_F(VendorServiceTest, ServesTheFilesOfEveryHostInCodePage949) {
  StartService();
  struct Case {
    const char* url;
    const char* contains;
  };
  for (Case c : {Case{"http://update.quorvex.example/pavo/_Movrant/Version.inf", "[VERSION]"},
                 Case{"http://update.quorvex.example/pavo/_Movrant/Movrant.inf", "자체 업데이트"},
                 Case{"http://update.quorvex.example/pavo/splash/SorvelEvent_Code.txt", "#!#"},
                 Case{"http://splash.quorvex.example/pavo/splash/index.html", "__CallUpdater"},
                 Case{"http://www.quorvex.example/Pavoproduct/customer/?mode=trelm", "고객 지원"},
                 Case{"http://www.quorvex.example/Pavoproduct/mypage/?mode=my_certify", "본인 인증"},
                 Case{"http://www.quorvex.example/", "Quorvex"},
                 Case{"http://www.quorvex.example/pavo/model/notify.html", "__StartUpdate"}}) {
    SCOPED_TRACE(c.url);
    Fetched r = Get(c.url);
    EXPECT_GT(r.result, 0);
    EXPECT_NE(r.body.find(c.contains), std::string::npos) << r.body;  // literals here are code page 949
  }
}

TEST_F(VendorServiceTest, RefusesWhatIsNotOnTheSite) {
  StartService();
  for (const char* url : {"http://trelm.quorvex.example/pavoTrelm/model/NONE.ini",
                          "http://trelm.quorvex.example/../users.ini", "http://trelm.quorvex.example/users.ini",
                          "http://trelm.quorvex.example/%2e%2e/users.ini",
                          "http://trelm.quorvex.example/pavoData/..%2f..%2fusers.ini"}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(Get(url).result, -12);
  }
}

TEST_F(VendorServiceTest, OmitsContentLengthAndThrottlesWhenTold) {
  vendor::Options options;
  options.noContentLength.insert("/pavoTrelm/model/PAVO_X1.ini");
  options.throttle["/pavoData/camera/SafeCam.ZIP"] = 100000;
  StartService(options);

  TQuorvexWebGet get(nullptr);
  std::vector<int> maxima;
  get.OnRecvProgress = [&](TObject*, AnsiString, int max, int) { maxima.push_back(max); };
  char* buffer = nullptr;
  int n = get.GetBuffer("http://trelm.quorvex.example/pavoTrelm/model/PAVO_X1.ini", buffer, false);
  delete[] buffer;
  EXPECT_GT(n, 0);
  // Without a length: before the body, after every packet and the end signal, all without a Max.
  EXPECT_GE(maxima.size(), 3u);
  EXPECT_EQ(std::count(maxima.begin(), maxima.end(), 0), std::ptrdiff_t(maxima.size()));

  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  Fetched camera = Get("http://trelm.quorvex.example/pavoData/camera/SafeCam.ZIP");
  clock_gettime(CLOCK_MONOTONIC, &end);
  ASSERT_GT(camera.result, 20000);
  double seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
  EXPECT_GE(seconds, 0.8 * camera.result / 100000.0);  // not faster than the throttle allows
}

// Sorvel's event code: the site's file, a code the test sets while the service runs, and back;
// every request is on the record.
TEST_F(VendorServiceTest, TheEventCodeIsTheSitesOrTheOneSet) {
  const std::string url = "http://update.quorvex.example/pavo/splash/SorvelEvent_Code.txt";
  vendor::Options options;
  options.eventCode = vendor::EventCode(7);
  StartService(options);
  EXPECT_EQ(Get(url).body, "#!#7\r\n");
  service_->SetEventCode("#!#12#!#\r\nmore\r\n");
  EXPECT_EQ(Get(url).body, "#!#12#!#\r\nmore\r\n");
  service_->SetEventCode("");
  EXPECT_LT(Get(url).result, 0);  // an empty body: a Content-Length of 0 fails the transfer
  service_->SetEventCode(std::nullopt);
  EXPECT_EQ(Get(url).body, ReadFile(fs::path(VENDOR_SITE_DIR) / "update.quorvex.example" / "pavo/splash/SorvelEvent_Code.txt"));
  // Only that path: another host's file of another path is the site's.
  service_->SetEventCode(vendor::EventCode(3));
  EXPECT_NE(Get("http://splash.quorvex.example/pavo/splash/index.html").body.find("__CallUpdater"), std::string::npos);

  std::vector<std::string> requests = service_->Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests.front(), "update.quorvex.example/pavo/splash/SorvelEvent_Code.txt");
  EXPECT_EQ(requests.back(), "splash.quorvex.example/pavo/splash/index.html");
}

TEST(VendorServiceArguments, ParsesAndRejects) {
  auto parse = [](std::vector<std::string> args, vendor::Options& options, std::string& message) {
    args.insert(args.begin(), "vendor-service");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return vendor::ParseArguments(int(argv.size()), argv.data(), options, message);
  };
  vendor::Options options;
  std::string message;
  ASSERT_TRUE(parse({"--site", VENDOR_SITE_DIR, "--port", "18080", "--log", "/tmp/x.log", "--no-content-length",
                     "/a", "--throttle", "/b:c:500", "--event-index", "-4"},
                    options, message))
      << message;
  EXPECT_EQ(options.port, 18080);
  EXPECT_EQ(options.log, "/tmp/x.log");
  EXPECT_EQ(options.noContentLength.count("/a"), 1u);
  EXPECT_EQ(options.throttle.at("/b:c"), 500);
  EXPECT_EQ(options.eventCode, std::optional<std::string>("#!#-4\r\n"));

  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {},
           {"--site"},
           {"--site", "/no/such/folder"},
           {"--site", VENDOR_SITE_DIR, "--port", "70000"},
           {"--site", VENDOR_SITE_DIR, "--port", "x"},
           {"--site", VENDOR_SITE_DIR, "--throttle", "/a"},
           {"--site", VENDOR_SITE_DIR, "--throttle", "/a:0"},
           {"--site", VENDOR_SITE_DIR, "--event-index", "7x"},
           {"--site", VENDOR_SITE_DIR, "--event-index"},
           {"--site", VENDOR_SITE_DIR, "--bogus"}}) {
    vendor::Options o;
    std::string m;
    EXPECT_FALSE(parse(bad, o, m)) << ::testing::PrintToString(bad);
    EXPECT_FALSE(m.empty());
  }
}

}  // namespace
