// http_bench [MEGABYTES]
// A file of MEGABYTES (default 200) from a local server into a file, through
// TQuorvexWebGet::GetStream with PacketSize 40960 and through the curl command-line tool, in
// turns; prints both throughputs, their ratio and the component's peak memory, also for a
// file a tenth the size, to show that the peak does not grow with the file.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "HttpTestServer.h"
#include "QuorvexWebGet.h"
#include "winplat.h"

extern char** environ;

namespace {

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  return -1;
}

// The peak resident size starts again from the present one.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Run {
  double seconds = 0;
  long peakKb = 0;
  int result = 0;
};

Run Component(const std::string& url, const std::string& file) {
  Run run;
  ResetPeak();
  long base = StatusKb("VmRSS:");
  auto start = std::chrono::steady_clock::now();
  {
    TQuorvexWebGet get(nullptr);
    get.PacketSize = 40960;
    TFileStream out(winplat::UnixToDos(file).c_str(), fmCreate);
    run.result = get.GetStream(url.c_str(), &out, false);
  }
  run.seconds = Seconds(start);
  run.peakKb = StatusKb("VmHWM:") - base;
  return run;
}

Run CurlTool(const std::string& url, const std::string& file) {
  Run run;
  std::string args[] = {"curl", "-s", "-o", file, url};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
  run.seconds = Seconds(start);
  run.result = status;
  return run;
}

// The server runs in a child process, so that its buffers do not count as the component's.
pid_t StartServer(long long size, int& port) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    testsupport::HttpTestServer server(
        [size](const testsupport::HttpRequest&) { return testsupport::HttpReply::Generated(size); });
    int p = server.Port();
    if (write(fds[1], &p, sizeof p) != sizeof p) _exit(1);
    pause();
    _exit(0);
  }
  close(fds[1]);
  if (read(fds[0], &port, sizeof port) != sizeof port) port = 0;
  close(fds[0]);
  return pid;
}

void Measure(long long megabytes, int rounds) {
  long long size = megabytes * 1000 * 1000;
  int port = 0;
  pid_t server = StartServer(size, port);
  if (server < 0 || port == 0) {
    std::fprintf(stderr, "http_bench: no server\n");
    std::exit(1);
  }
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big.ZIP";
  std::string dir = std::filesystem::temp_directory_path() / ("http-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  Run best{1e9, 0, 0}, bestCurl{1e9, 0, 0};
  long peak = 0;
  for (int i = 0; i < rounds; ++i) {
    Run c = Component(url, dir + "/component.bin");
    if (c.result != size) std::fprintf(stderr, "http_bench: component result %d\n", c.result);
    if (c.seconds < best.seconds) best = c;
    if (c.peakKb > peak) peak = c.peakKb;
    Run t = CurlTool(url, dir + "/curl.bin");
    if (t.result != 0) std::fprintf(stderr, "http_bench: curl status %d\n", t.result);
    if (t.seconds < bestCurl.seconds) bestCurl = t;
  }
  std::filesystem::remove_all(dir);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);

  double mb = double(size) / 1e6;
  std::printf("%5lld MB  component %8.1f MB/s   curl %8.1f MB/s   ratio %.3f   component peak %ld KB\n", megabytes,
              mb / best.seconds, mb / bestCurl.seconds, bestCurl.seconds / best.seconds, peak);
}

}  // namespace

int main(int argc, char** argv) {
  long long megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
  if (megabytes < 1) {
    std::fprintf(stderr, "usage: http_bench [MEGABYTES]\n");
    return 2;
  }
  std::printf("GetStream (PacketSize 40960) into a file against the curl tool, best of 3 rounds each\n");
  Measure(1, 1);  // first use: libcurl and the layer set themselves up (not the component's peak)
  Measure(megabytes / 10 > 0 ? megabytes / 10 : 1, 3);
  Measure(megabytes, 3);
  return 0;
}
