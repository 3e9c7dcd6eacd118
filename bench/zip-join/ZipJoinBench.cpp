// Three numbered parts MAP001.ZIP..MAP003.ZIP (200 MB in all by default), joined and extracted
// by TZipBuilder as the updater drives it, against cat of the parts plus Info-ZIP unzip (and
// bsdtar when present) of the same entries as one archive, each in a fresh process: the best
// wall time of three rounds, ratio to the fastest baseline and peak memory.
//
//   zip_join_bench [total-MB]        (default 200)
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "ZipBuilder.h"
#include "ZipWriter.h"

namespace fs = std::filesystem;
using bench::Measure;
using bench::RunChild;
using bench::Seconds;

namespace {

struct Rng {
  uint64_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return uint32_t(s >> 11);
  }
};

std::string Noise(Rng& r, size_t n) {
  std::string out(n, '\0');
  for (size_t i = 0; i + 4 <= n; i += 4) {
    const uint32_t v = r.Next();
    std::memcpy(&out[i], &v, 4);
  }
  return out;
}

std::string Text(Rng& r, size_t n) {
  static const char* words[] = {"navigation ", "update ", "map ", "road ", "camera ", "speed ", "route ",
                                "data\n", "0x3F2A ", "seoul ", "busan "};
  std::string out;
  out.reserve(n + 16);
  while (out.size() < n) out += words[r.Next() % (sizeof words / sizeof *words)];
  out.resize(n);
  return out;
}

// The same entries every time: map tiles of text and noise, a few large stored blocks.
void AddEntries(ztest::ZipWriter& w, uint64_t targetBytes) {
  Rng r{0x9E3779B97F4A7C15ull};
  for (int n = 0; w.Written() < targetBytes; ++n) {
    ztest::ZipEntrySpec e;
    char name[64];
    if (n % 10 < 8) {
      std::snprintf(name, sizeof name, "map/t%02d/tile%05d.dat", n % 31, n);
      e.data = Text(r, 20000 + r.Next() % 200000) + Noise(r, 10000 + r.Next() % 300000);
    } else {
      std::snprintf(name, sizeof name, "map/block%05d.img", n);
      e.data = Noise(r, 3 << 20);
      e.method = 0;
    }
    e.name = name;
    w.Add(e);
  }
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

void MakeParts(const fs::path& root, uint64_t totalBytes) {
  ztest::ZipWriter w;
  w.SetLevel(6);
  w.SetSplit(size_t(totalBytes / 3 + (1 << 20)));
  AddEntries(w, totalBytes);
  const std::vector<std::string> parts = w.BuildParts();
  if (parts.size() != 3) {
    std::fprintf(stderr, "expected 3 parts, got %zu\n", parts.size());
    std::exit(1);
  }
  for (size_t i = 0; i < parts.size(); ++i)
    WriteFile(root / ("MAP00" + std::to_string(i + 1) + ".ZIP"), parts[i]);
}

void MakeSingle(const fs::path& path, uint64_t totalBytes) {
  ztest::ZipWriter w;
  w.SetLevel(6);
  if (!w.Open(path.string())) std::exit(1);
  AddEntries(w, totalBytes);
  if (!w.Close()) std::exit(1);
}

// Child mode: the updater's sequence on the parts.
int BuilderExtract(const char* root) {
  const std::string table = std::string("C=") + root + ",fixed;D=" + ZIP_ENGINE_DIR + ",fixed";
  setenv("WINPLAT_DRIVES", table.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TComponent owner(nullptr);
  TZipBuilder* zb = new TZipBuilder(&owner);  // owned by owner
  zb->DLLDirectory = "D:\\";
  zb->TempDir = "C:\\tmp";
  zb->FSpecArgs->Clear();
  zb->ZipFileName = "C:\\MAP003.ZIP";
  zb->ExtrBaseDir = "C:\\zb-out";
  zb->Unattended = true;
  zb->ExtrOptions = ExtrOpts() << ExtrDirNames << ExtrOverWrite;
  const int result = zb->Extract();
  std::fprintf(stderr, "TZipBuilder: result %d, %d files\n", result, zb->Worker->SuccessCount);
  return result == 0 ? 0 : 1;
}

// Makes something in a child of its own, so this process stays small for the measured children.
void InChild(const std::function<void()>& make) {
  const pid_t pid = fork();
  if (pid == 0) {
    make();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
}

uintmax_t TreeBytes(const fs::path& root) {
  uintmax_t total = 0;
  for (auto& it : fs::recursive_directory_iterator(root))
    if (it.is_regular_file()) total += it.file_size();
  return total;
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--builder") return BuilderExtract(argv[2]);
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;

  char tmpl[] = "/tmp/zip-join-bench-XXXXXX";
  const fs::path root = mkdtemp(tmpl);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  fs::create_directories(root / "tmp");
  std::printf("zip join benchmark in %s\n", root.c_str());

  double t0 = Seconds();
  InChild([&] { MakeParts(root, megabytes << 20); });
  InChild([&] { MakeSingle(root / "single.zip", megabytes << 20); });
  uintmax_t partBytes = 0;
  for (int i = 1; i <= 3; ++i) partBytes += fs::file_size(root / ("MAP00" + std::to_string(i) + ".ZIP"));
  std::printf("3 parts: %.1f MB; one archive of the same entries: %.1f MB; made in %.1f s\n", partBytes / 1048576.0,
              fs::file_size(root / "single.zip") / 1048576.0, Seconds() - t0);
  std::system(("cat " + Q(root) + "/MAP00?.ZIP " + Q(root / "single.zip") + " >/dev/null").c_str());

  const std::string cat = "cat " + Q(root / "MAP001.ZIP") + " " + Q(root / "MAP002.ZIP") + " " +
                          Q(root / "MAP003.ZIP") + " > " + Q(root / "tmp" / "cat.zip");
  struct Tool {
    const char* label;
    std::vector<std::string> argv;
    fs::path out;
  };
  std::vector<Tool> tools = {
      {"TZipBuilder", {self, "--builder", root.string()}, root / "zb-out"},
      {"cat + unzip",
       {"sh", "-c", cat + " && unzip -o -q " + Q(root / "single.zip") + " -d " + Q(root / "unzip-out")},
       root / "unzip-out"},
  };
  if (std::system("command -v bsdtar >/dev/null 2>&1") == 0)
    tools.push_back({"cat + bsdtar",
                     {"sh", "-c", cat + " && bsdtar -xf " + Q(root / "single.zip") + " -C " + Q(root / "bsdtar-out")},
                     root / "bsdtar-out"});
  const std::vector<Measure> best = bench::BestOf(3, tools.size(), [&](size_t i) {
    fs::remove_all(tools[i].out);
    fs::create_directories(tools[i].out);
    fs::remove(root / "tmp" / "cat.zip");
    const Measure m = RunChild(tools[i].argv);
    if (m.status != 0) std::printf("  %s failed (status %d)\n", tools[i].label, m.status);
    if (i == 0 && !fs::is_empty(root / "tmp")) std::printf("  joined copy left in %s\n", (root / "tmp").c_str());
    return m;
  });
  size_t fastest = 1;
  for (size_t i = 2; i < tools.size(); ++i)
    if (best[i].seconds < best[fastest].seconds) fastest = i;
  std::printf("  %-12s %9s %9s %12s\n", "tool", "time s", "ratio", "peak RSS MB");
  for (size_t i = 0; i < tools.size(); ++i)
    std::printf("  %-12s %9.2f %9.2f %12.1f\n", tools[i].label, best[i].seconds,
                best[i].seconds / best[fastest].seconds, best[i].peakKB / 1024.0);
  std::printf("  ratio: to %s\n", tools[fastest].label);
  const bool same = std::system(("diff -rq " + Q(tools[0].out) + " " + Q(tools[1].out) + " >/dev/null").c_str()) == 0;
  std::printf("  extracted %.1f MB; TZipBuilder output %s unzip's\n", TreeBytes(tools[0].out) / 1048576.0,
              same ? "equals" : "DIFFERS FROM");
  fs::remove_all(root);
  return same ? 0 : 1;
}
