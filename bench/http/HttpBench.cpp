// http_bench [MEGABYTES]
// A file of MEGABYTES (default 200) from a local server into a file, through
// TQuorvexWebGet::GetStream with PacketSize 40960 and through the curl command-line tool, in
// turns; prints both throughputs, their ratio, the processor time each spent (steadier than the
// wall time on a loaded machine) and the component's peak memory: the heap it held at most
// during the transfer, also for a file a tenth the size, to show that the peak does not grow
// with the file. Then bodies read into memory, by TQuorvexWebGet::GetBuffer and by GetStream into a
// TMemoryStream (PacketSize 4096, as the callers of small files set it): the heap held at most
// for bodies up to the memory limit, with and without a Content-Length, against the bytes
// received.
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "HttpTestServer.h"
#include "QuorvexWebGet.h"
#include "winplat.h"

extern char** environ;

// The heap of this process, counted: every allocation (the component's, libcurl's, the
// layer's) passes here, so the peak is what the transfer really held, whatever pages the
// allocator had kept from earlier rounds.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<long long> g_heapInUse{0};
std::atomic<long long> g_heapPeak{0};

void* Counted(void* p) {
  if (p) {
    long long now = g_heapInUse.fetch_add((long long)malloc_usable_size(p)) + (long long)malloc_usable_size(p);
    long long peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
  }
  return p;
}

void Uncount(void* p) {
  if (p) g_heapInUse.fetch_sub((long long)malloc_usable_size(p));
}

}  // namespace

extern "C" {
void* malloc(size_t size) { return Counted(__libc_malloc(size)); }
void* calloc(size_t n, size_t size) { return Counted(__libc_calloc(n, size)); }
void* realloc(void* p, size_t size) {
  Uncount(p);
  void* q = __libc_realloc(p, size);
  if (!q && p && size) return Counted(p);  // the old block stays
  return Counted(q);
}
void free(void* p) {
  Uncount(p);
  __libc_free(p);
}
void* memalign(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
int posix_memalign(void** out, size_t alignment, size_t size) {
  void* p = Counted(__libc_memalign(alignment, size));
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CpuSeconds(const rusage& ru) {
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return CpuSeconds(ru);
}

struct Run {
  double seconds = 0;
  double cpu = 0;
  long long peakKb = 0;
  int result = 0;
};

Run Component(const std::string& url, const std::string& file) {
  Run run;
  g_heapPeak = g_heapInUse.load();
  long long base = g_heapInUse.load();
  double cpu = OwnCpuSeconds();
  auto start = std::chrono::steady_clock::now();
  {
    TQuorvexWebGet get(nullptr);
    get.PacketSize = 40960;
    TFileStream out(winplat::UnixToDos(file).c_str(), fmCreate);
    run.result = get.GetStream(url.c_str(), &out, false);
  }
  run.seconds = Seconds(start);
  run.cpu = OwnCpuSeconds() - cpu;
  run.peakKb = (g_heapPeak.load() - base) / 1024;
  return run;
}

Run CurlTool(const std::string& url, const std::string& file) {
  Run run;
  std::string args[] = {"curl", "-s", "-o", file, url};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  rusage ru{};
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) == 0) wait4(pid, &status, 0, &ru);
  run.seconds = Seconds(start);
  run.cpu = CpuSeconds(ru);
  run.result = status;
  return run;
}

// The server runs in a child process, so that its buffers do not count as the component's.
pid_t StartServer(long long size, int& port, bool announced = true) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    testsupport::HttpTestServer server(
        [size, announced](const testsupport::HttpRequest&) {
          testsupport::HttpReply r = testsupport::HttpReply::Generated(size);
          r.contentLength = announced;
          return r;
        });
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
  Run best{1e9, 1e9, 0, 0}, bestCurl{1e9, 1e9, 0, 0};
  long long peak = 0;
  for (int i = 0; i < rounds; ++i) {
    // Each run writes a new file: truncating the last round's one would wait for its writeback,
    // which is the file system's time, not the transfer's.
    std::filesystem::remove(dir + "/component.bin");
    std::filesystem::remove(dir + "/curl.bin");
    Run c = Component(url, dir + "/component.bin");
    if (c.result != size) std::fprintf(stderr, "http_bench: component result %d\n", c.result);
    if (c.seconds < best.seconds) best.seconds = c.seconds;
    if (c.cpu < best.cpu) best.cpu = c.cpu;
    if (c.peakKb > peak) peak = c.peakKb;
    Run t = CurlTool(url, dir + "/curl.bin");
    if (t.result != 0) std::fprintf(stderr, "http_bench: curl status %d\n", t.result);
    if (t.seconds < bestCurl.seconds) bestCurl.seconds = t.seconds;
    if (t.cpu < bestCurl.cpu) bestCurl.cpu = t.cpu;
  }
  std::filesystem::remove_all(dir);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);

  double mb = double(size) / 1e6;
  std::printf(
      "%5lld MB  component %7.1f MB/s  curl %7.1f MB/s  ratio %.3f   processor: component %5.0f ms  curl %5.0f ms  "
      "ratio %.3f   component peak heap %lld KB\n",
      megabytes, mb / best.seconds, mb / bestCurl.seconds, bestCurl.seconds / best.seconds, best.cpu * 1000,
      bestCurl.cpu * 1000, bestCurl.cpu / best.cpu, peak);
}

// The peak includes the layer's fixed buffers; a 1-byte body shows what they come to.
long long MeasureMemory(long long size, bool announced, bool toStream, long long fixed) {
  int port = 0;
  pid_t server = StartServer(size, port, announced);
  if (server < 0 || port == 0) {
    std::fprintf(stderr, "http_bench: no server\n");
    std::exit(1);
  }
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/PAVO.ini";
  long long peak = 0;
  int result = 0;
  for (int round = 0; round < 3; ++round) {
    g_heapPeak = g_heapInUse.load();
    long long base = g_heapInUse.load();
    {
      TQuorvexWebGet get(nullptr);
      get.PacketSize = 4096;
      char* buffer = nullptr;
      TMemoryStream stream;
      result = toStream ? get.GetStream(url.c_str(), &stream, false) : get.GetBuffer(url.c_str(), buffer, false);
      // Measured while the caller still holds the body.
      if (g_heapPeak.load() - base > peak) peak = g_heapPeak.load() - base;
      delete[] buffer;
    }
  }
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::printf("%-13s  %9lld bytes  %-15s  result %9d  peak heap %8lld KB", toStream ? "memory stream" : "block",
              size, announced ? "Content-Length" : "no length", result, peak / 1024);
  if (fixed >= 0) std::printf("  beyond the fixed buffers %.2f x the body", double(std::max(peak - fixed, 0LL)) / double(size));
  std::printf("\n");
  return peak;
}

}  // namespace

int main(int argc, char** argv) {
  long long megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
  if (megabytes < 1) {
    std::fprintf(stderr, "usage: http_bench [MEGABYTES]\n");
    return 2;
  }
  std::printf("GetStream (PacketSize 40960) into a file against the curl tool, best of 5 rounds each\n");
  Measure(1, 1);  // first use: libcurl and the layer set themselves up (not the component's peak)
  Measure(megabytes / 10 > 0 ? megabytes / 10 : 1, 5);
  Measure(megabytes, 5);
  std::printf("\nGetBuffer and GetStream into a TMemoryStream (PacketSize 4096): the heap held at most, the body "
              "received included\n");
  for (bool toStream : {false, true})
    for (bool announced : {true, false}) {
      long long fixed = MeasureMemory(1, announced, toStream, -1);
      for (long long size : {1LL << 20, 4LL << 20, (long long)QWG_MEMORY_LIMIT, QWG_MEMORY_LIMIT + 1LL})
        MeasureMemory(size, announced, toStream, fixed);
    }
  return 0;
}
