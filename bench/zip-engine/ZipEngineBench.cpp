// Extracts generated archives with ZE_UnzExec and with Info-ZIP unzip (and bsdtar when present),
// each in a fresh process, and prints the best wall time of the rounds, ratios to unzip and
// bsdtar and peak resident memory. The mixed archives (200 MB by default, and a quarter of it)
// show speed on large files and that the engine's peak memory does not grow with the archive;
// the many-small-files archives (8,000 and 32,000 files, all in one folder or 100 to a folder)
// show that the cost per file does not grow with the folder.
//
//   zip_engine_bench [--rounds N] [--only mixed|files] [--engine FILE] [archive-MB]
//
// --engine runs another build of ZBEngine.dll, to compare before and after a change.
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include "ZBEngineIntf.h"
#include "ZipWriter.h"
#include "BenchChild.h"

namespace fs = std::filesystem;

namespace {

struct Rng {
  uint64_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<uint32_t>(s >> 11);
  }
};

std::string Noise(Rng& r, size_t n) {
  std::string out(n, '\0');
  for (size_t i = 0; i + 4 <= n; i += 4) {
    uint32_t v = r.Next();
    std::memcpy(&out[i], &v, 4);
  }
  return out;
}

std::string Text(Rng& r, size_t n) {
  static const char* words[] = {"navigation ", "update ", "map ", "road ", "camera ", "speed ", "route ",
                                "지도 ", "안전 ", "카메라 ", "data\n", "0x3F2A ", "seoul ", "busan "};
  std::string out;
  out.reserve(n + 16);
  while (out.size() < n) out += words[r.Next() % (sizeof words / sizeof *words)];
  out.resize(n);
  return out;
}

// Writes the archive `add` fills; the bench ends when it cannot.
template <typename Add>
void WriteArchive(const fs::path& path, Add add) {
  ztest::ZipWriter w;
  w.SetLevel(6);
  if (!w.Open(path.string()) || (add(w), !w.Close())) {
    std::perror("archive");
    std::exit(1);
  }
}

// Small text files, medium mixed files, a few large ones, some of them stored.
void MakeArchive(const fs::path& path, uint64_t targetBytes) {
  WriteArchive(path, [&](ztest::ZipWriter& w) {
    Rng r{0x9E3779B97F4A7C15ull};
    for (int n = 0; w.Written() < targetBytes; ++n) {
      ztest::ZipEntrySpec e;
      int kind = n % 20;
      char name[64];
      if (kind < 14) {
        std::snprintf(name, sizeof name, "text/d%02d/file%05d.txt", n % 37, n);
        e.data = Text(r, 1000 + r.Next() % 60000);
      } else if (kind < 19) {
        std::snprintf(name, sizeof name, "data/part%05d.bin", n);
        e.data = Text(r, 100000 + r.Next() % 200000) + Noise(r, 50000 + r.Next() % 200000);
      } else {
        std::snprintf(name, sizeof name, "large/block%05d.img", n);
        e.data = Noise(r, 4 << 20) + Text(r, 4 << 20);
        e.method = n % 40 == 19 ? 0 : 8;
      }
      e.name = name;
      w.Add(e);
    }
  });
}

int32_t WINAPI QuietCallback(void*, ZipCallbackRecord*) { return 0; }

// Many small files, in one folder or `perFolder` to a folder (0: all in one).
void MakeSmallFilesArchive(const fs::path& path, int files, int perFolder) {
  WriteArchive(path, [&](ztest::ZipWriter& w) {
    Rng r{0x2545F4914F6CDD1Dull};
    for (int n = 0; n < files; ++n) {
      ztest::ZipEntrySpec e;
      char name[64];
      if (perFolder > 0)
        std::snprintf(name, sizeof name, "map/d%03d/Cam%05d.dat", n / perFolder, n);
      else
        std::snprintf(name, sizeof name, "map/Cam%05d.dat", n);
      e.name = name;
      e.data = Text(r, 200 + r.Next() % 3000);
      w.Add(e);
    }
  });
}

// Child mode: one extraction through the engine, as the zip component runs it.
int EngineExtract(const char* engine, const char* root, const char* archiveDos, const char* dirDos) {
  std::string table = std::string("C=") + root + ",fixed";
  setenv("WINPLAT_DRIVES", table.c_str(), 1);
  void* lib = dlopen(engine, RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto unz = reinterpret_cast<ZE_UnzExecFunc>(dlsym(lib, "ZE_UnzExec"));
  std::vector<char> dir(ZB_EXTRACT_DIR_SIZE, '\0');
  std::strncpy(dir.data(), dirDos, dir.size() - 1);
  UnzipParams p;
  std::memset(&p, 0, sizeof p);
  p.Version = ZB_PARAMS_VERSION;
  p.Callback = QuietCallback;
  p.Command = ZB_UNZ_COMMAND_EXTRACT;
  p.DirNames = 1;
  p.OverWrite = 1;
  p.ArchiveName = archiveDos;
  p.ExtractDir = dir.data();
  p.EndMark = ZB_PARAMS_END_MARK;
  int32_t n = unz(&p);
  std::fprintf(stderr, "engine: %d files\n", n);
  return n > 0 ? 0 : 1;
}

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

uintmax_t TreeBytes(const fs::path& root) {
  uintmax_t total = 0;
  for (auto& it : fs::recursive_directory_iterator(root))
    if (it.is_regular_file()) total += it.file_size();
  return total;
}

bool SameTree(const fs::path& a, const fs::path& b) {
  return std::system(("diff -rq '" + a.string() + "' '" + b.string() + "' >/dev/null").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--child") return EngineExtract(argv[2], argv[3], argv[4], argv[5]);
  uint64_t megabytes = 200;
  int rounds = 3;
  std::string only, engine = ZBENGINE_PATH;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--only" && i + 1 < argc)
      only = argv[++i];
    else if (a == "--engine" && i + 1 < argc)
      engine = fs::absolute(argv[++i]).string();
    else
      megabytes = std::strtoull(argv[i], nullptr, 10);
  }

  char tmpl[] = "/tmp/zip-engine-bench-XXXXXX";
  fs::path root = mkdtemp(tmpl);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::printf("zip engine benchmark in %s, engine %s, best of %d\n", root.c_str(), engine.c_str(), rounds);

  struct Case {
    std::string name;
    uint64_t mb;    // mixed archive of this size, or
    int files;      // small files,
    int perFolder;  // this many to a folder (0: one folder)
  };
  std::vector<Case> cases;
  if (only.empty() || only == "mixed") {
    cases.push_back({"small.zip", megabytes / 4 > 0 ? megabytes / 4 : 1, 0, 0});
    cases.push_back({"big.zip", megabytes, 0, 0});
  }
  if (only.empty() || only == "files") {
    for (int files : {8000, 32000}) {
      cases.push_back({"files" + std::to_string(files) + "-one-folder.zip", 0, files, 0});
      cases.push_back({"files" + std::to_string(files) + "-by-100.zip", 0, files, 100});
    }
  }
  for (const Case& c : cases) {
    fs::path archive = root / c.name;
    double t0 = bench::Seconds();
    // Made in a child of its own: a child's peak memory counts the pages it inherits at fork,
    // so this process must stay small.
    pid_t maker = fork();
    if (maker == 0) {
      if (c.files > 0)
        MakeSmallFilesArchive(archive, c.files, c.perFolder);
      else
        MakeArchive(archive, c.mb << 20);
      _exit(0);
    }
    int status = 0;
    waitpid(maker, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    std::printf("\narchive %s: %.1f MB, made in %.1f s\n", c.name.c_str(), fs::file_size(archive) / 1048576.0,
                bench::Seconds() - t0);
    std::system(("cat '" + archive.string() + "' >/dev/null").c_str());  // same cache state for all

    struct Tool {
      const char* label;
      std::vector<std::string> argv;
      fs::path out;
    };
    std::vector<Tool> tools;
    tools.push_back({"ZE_UnzExec",
                     {self, "--child", engine, root.string(), "C:\\" + c.name, "C:\\engine-out"},
                     root / "engine-out"});
    tools.push_back({"unzip -o -q", {"unzip", "-o", "-q", archive.string(), "-d", (root / "unzip-out").string()},
                     root / "unzip-out"});
    if (Have("bsdtar"))
      tools.push_back({"bsdtar -xf", {"bsdtar", "-xf", archive.string(), "-C", (root / "bsdtar-out").string()},
                       root / "bsdtar-out"});

    std::vector<bench::Measure> best = bench::BestOf(rounds, tools.size(), [&](size_t i) {
      fs::remove_all(tools[i].out);
      fs::create_directories(tools[i].out);
      // The removal's journal and discards are done before the clock starts, not during the run.
      sync();
      bench::Measure m = bench::RunChild(tools[i].argv);
      if (m.status != 0) std::printf("  %s failed (status %d)\n", tools[i].label, m.status);
      return m;
    });
    std::printf("  %-12s %9s %9s %12s\n", "tool", "time s", "vs unzip", "peak RSS MB");
    for (size_t i = 0; i < tools.size(); ++i)
      std::printf("  %-12s %9.2f %9.2f %12.1f\n", tools[i].label, best[i].seconds, best[i].seconds / best[1].seconds,
                  best[i].peakKB / 1024.0);
    if (tools.size() > 2) std::printf("  ZE_UnzExec / bsdtar: %.2f\n", best[0].seconds / best[2].seconds);
    std::printf("  extracted %.1f MB; engine output %s unzip's\n", TreeBytes(tools[0].out) / 1048576.0,
                SameTree(tools[0].out, tools[1].out) ? "equals" : "DIFFERS FROM");
    std::fflush(stdout);
    for (const Tool& t : tools) fs::remove_all(t.out);
    fs::remove(archive);
  }
  fs::remove_all(root);
  return 0;
}
