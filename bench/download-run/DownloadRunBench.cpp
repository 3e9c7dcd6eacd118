// A whole download run through the real main window offscreen against the local vendor
// service, for a model of two files (one archive, and one file in numbered parts) of about
// 20 MB and 200 MB, against curl fetching the same files plus bsdtar extracting the same
// entries, each in a fresh process: wall time and ratio, peak memory above the program's idle
// size, and how often the list cells and the speed label were redrawn per second of transfer
// (and how often the cells were painted while unpacking, where every progress report redraws).
//
//   download_run_bench [MB ...]        (default 20 200)
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "DataModuleMaster.h"
#include "ExtCtrls.h"
#include "FormMain.h"
#include "FormProgramUpdate.h"
#include "Forms.h"
#include "IniFiles.h"
#include "SysUtils.h"
#include "UiTest.h"
#include "VendorService.h"
#include "winplat.h"

namespace fs = std::filesystem;
using bench::Measure;
using bench::RunChild;
using bench::Seconds;

namespace {

const char* const kModelUrl = "http://trelm.quorvex.example/pavoTrelm/model/BENCH.ini";

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// Incompressible bytes, as map data mostly is once packed.
void WriteNoise(const fs::path& path, uint64_t size, uint64_t seed) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (uint64_t done = 0; done < size;) {
    for (size_t i = 0; i + 8 <= block.size(); i += 8) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      std::memcpy(&block[i], &x, 8);
    }
    size_t n = size_t(std::min<uint64_t>(block.size(), size - done));
    out.write(block.data(), std::streamsize(n));
    done += n;
  }
}

// The site: a model info file BENCH.ini, PROG.ZIP (one archive, a tenth of the size) and
// MAP001.ZIP... (the rest, a split set in parts of 16 MB), plus MAPWHOLE.ZIP with the same
// entry as one archive for the reference extraction.
bool MakeSite(const fs::path& site, uint64_t megabytes) {
  fs::path work = site / "work";
  fs::path data = site / "trelm.quorvex.example/pavoData/bench";
  fs::path model = site / "trelm.quorvex.example/pavoTrelm/model";
  fs::create_directories(work);
  fs::create_directories(data);
  fs::create_directories(model);
  uint64_t total = megabytes << 20;
  WriteNoise(work / "Prog.bin", total / 10, 1);
  WriteNoise(work / "Map.dat", total - total / 10, 2);
  std::string w = Quote(work.string());
  if (Shell("cd " + w + " && zip -q -X -0 PROG.ZIP Prog.bin && zip -q -X -0 -s 16m MAP.ZIP Map.dat && "
                        "zip -q -X -0 MAPWHOLE.ZIP Map.dat") != 0)
    return false;
  fs::rename(work / "PROG.ZIP", data / "PROG.ZIP");
  fs::rename(work / "MAPWHOLE.ZIP", site / "MAPWHOLE.ZIP");
  std::vector<fs::path> pieces;
  for (int k = 1;; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "MAP.z%02d", k);
    if (!fs::exists(work / name)) break;
    pieces.push_back(work / name);
  }
  pieces.push_back(work / "MAP.ZIP");
  uint64_t mapZip = 0;
  int k = 0;
  for (const fs::path& piece : pieces) {
    char name[32];
    std::snprintf(name, sizeof name, "MAP%03d.ZIP", ++k);
    mapZip += fs::file_size(piece);
    fs::rename(piece, data / name);
  }
  std::ofstream ini(model / "BENCH.ini", std::ios::binary);
  ini << "[ENVIRONMENT]\nMODEL_CAPTION=BENCH\nROOT_URL=http://trelm.quorvex.example/pavoData\n"
         "ENABLE_AUTOSTART_INSTALLER=0\n\n"
      << "[FILE_1]\nAG_FILENAME=Prog.bin\nAG_FILESIZE=" << fs::file_size(work / "Prog.bin")
      << "\nAG_FILECRC=1\nAG_ZIPNAME=PROG.ZIP\nAG_ZIPSIZE=" << fs::file_size(data / "PROG.ZIP")
      << "\nAG_NUMSPAN=1\nDEST_PATH=BENCH\\Program\nFILEINFO_PATH=bench\n\n"
      << "[FILE_2]\nAG_FILENAME=Map.dat\nAG_FILESIZE=" << fs::file_size(work / "Map.dat")
      << "\nAG_FILECRC=2\nAG_ZIPNAME=MAP.ZIP\nAG_ZIPSIZE=" << mapZip << "\nAG_NUMSPAN=" << k
      << "\nDEST_PATH=BENCH\\Map\nFILEINFO_PATH=bench\n";
  fs::remove_all(work);
  return true;
}

// ------------------------------------------------------------------ the program's side

// The child: the forms after a login, then (unless idle) one run; writes what it saw to out.
int RunForms(const std::string& root, bool idle, const std::string& out) {
  Application->Initialize();
  uitest::AnswerMessageBoxes(IDOK);
  // Owned by the application, which frees it with the forms when the program ends.
  TdmMaster* dm = new TdmMaster(Application, 0);
  dm->SetRootPath(winplat::UnixToDos(root).c_str());
  dm->UserID = "bench";
  const char* model = getenv("BENCH_MODEL_URL");
  TMemIniFile* ini = LoadInfoFile(model ? model : kModelUrl);
  if (!ini || !dm->AddInfoFile(ini)) return 2;
  Application->CreateForm(frmMain);
  frmMain->Show();
  TfrmProgramUpdate* form = frmProgramUpdate;
  long cells = 0, labels = 0, unpackCells = 0;
  double first = 0, last = 0;
  AnsiString lastLabel;
  auto draw = form->lvMain->OnCustomDrawSubItem;
  form->lvMain->OnCustomDrawSubItem = [&](TCustomListView* Sender, TListItem* Item, int SubItem,
                                          TCustomDrawState State, bool& DefaultDraw) {
    if (SubItem == 1 && !frmMain->Stopped && Item->SubItems->Get(1) == "점검중") ++unpackCells;
    if (SubItem == 1 && !frmMain->Stopped && Item->SubItems->Get(1).Pos("%") > 0) {
      double now = Seconds();
      if (first == 0) first = now;
      last = now;
      ++cells;
      if (form->lblBPS->Caption.get() != lastLabel) {
        lastLabel = form->lblBPS->Caption;
        ++labels;
      }
    }
    draw(Sender, Item, SubItem, State, DefaultDraw);
  };
  uitest::Pump(200);
  bool ok = true;
  if (!idle) {
    uitest::Click(form->btnDownStart);
    ok = form->lvMain->Items->Item(1)->SubItems->Get(1) == "완료";
  }
  double span = last > first ? last - first : 0;
  if (FILE* f = std::fopen(out.c_str(), "w")) {
    std::fprintf(f, "%d %ld %ld %.3f %ld\n", ok ? 1 : 0, cells, labels, span, unpackCells);
    std::fclose(f);
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--forms") return RunForms(argv[2], std::string(argv[3]) == "idle", argv[4]);

  std::vector<uint64_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {20, 200};
  char tmpl[] = "/tmp/movrant-bench-run-XXXXXX";
  fs::path root = mkdtemp(tmpl);
  for (const char* d : {"temp", "run", "cache", "bin"}) fs::create_directories(root / d);
  setenv("WINPLAT_HKCU", (root / "hkcu.reg").c_str(), 1);
  setenv("WINPLAT_CACHE_DIR", (root / "cache").c_str(), 1);
  setenv("WINPLAT_RUNTIME_DIR", (root / "run").c_str(), 1);
  setenv("TMPDIR", (root / "temp").c_str(), 1);
  setenv("WINPLAT_CONNECTION", "lan", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  std::printf("download run benchmark in %s\n", root.c_str());
  std::string self = fs::canonical("/proc/self/exe").string();

  for (uint64_t mb : sizes) {
    fs::path site = root / ("site" + std::to_string(mb));
    double t0 = Seconds();
    if (!MakeSite(site, mb)) {
      std::printf("could not make the site of %llu MB (zip missing?)\n", (unsigned long long)mb);
      return 1;
    }
    std::printf("\nmodel of %llu MB made in %.1f s\n", (unsigned long long)mb, Seconds() - t0);
    vendor::Options o;
    o.site = site.string();
    vendor::Service service(o);
    std::string message;
    if (!service.Start(message)) {
      std::printf("%s\n", message.c_str());
      return 1;
    }
    std::string port = std::to_string(service.Port());
    setenv("WINPLAT_CONNECT_TO", ("trelm.quorvex.example:80:127.0.0.1:" + port).c_str(), 1);
    std::string base = "http://127.0.0.1:" + port + "/pavoData/bench/";

    Measure idle, run, ref;
    std::string stats;
    for (int round = 0; round < 3; ++round) {
      fs::path out = root / "out";
      fs::remove_all(out);
      fs::create_directories(out);
      Measure mi = RunChild({self, "--forms", out.string(), "idle", (root / "idle.txt").string()});
      fs::remove_all(out);
      fs::create_directories(out);
      Measure mr = RunChild({self, "--forms", out.string(), "run", (root / "stats.txt").string()});
      if (mr.status != 0) std::printf("  the run failed (status %d, signal %d)\n", mr.status, mr.signal);
      if (mi.status != 0) std::printf("  the idle program failed (status %d, signal %d)\n", mi.status, mi.signal);
      // curl fetches the same files; bsdtar extracts the same entries.
      fs::path refDir = root / "ref";
      fs::remove_all(refDir);
      fs::create_directories(refDir);
      std::string r = Quote(refDir.string());
      std::string command = "cd " + r + " && curl -s -o PROG.ZIP " + base + "PROG.ZIP";
      for (int k = 1;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "MAP%03d.ZIP", k);
        if (!fs::exists(site / "trelm.quorvex.example/pavoData/bench" / name)) break;
        command += std::string(" && curl -s -o ") + name + " " + base + name;
      }
      command += " && bsdtar -xf PROG.ZIP && bsdtar -xf " + Quote((site / "MAPWHOLE.ZIP").string());
      Measure mf = RunChild({"/bin/sh", "-c", command});
      if (round == 0 || mr.seconds < run.seconds) run = mr, stats = [&] {
        std::ifstream in(root / "stats.txt");
        std::string line;
        std::getline(in, line);
        return line;
      }();
      if (round == 0 || mi.peakKB > idle.peakKB) idle.peakKB = mi.peakKB;
      if (round == 0 || mi.seconds < idle.seconds) idle.seconds = mi.seconds;
      if (round == 0 || mf.seconds < ref.seconds) ref = mf;
    }
    int ok = 0;
    long cells = 0, labels = 0, unpackCells = 0;
    double span = 0;
    std::sscanf(stats.c_str(), "%d %ld %ld %lf %ld", &ok, &cells, &labels, &span, &unpackCells);
    std::printf("  %-24s %9s %12s\n", "", "time s", "peak RSS MB");
    std::printf("  %-24s %9.2f %12.1f\n", "Movrant run (best of 3)", run.seconds, run.peakKB / 1024.0);
    std::printf("  %-24s %9.2f %12.1f\n", "Movrant idle (start, end)", idle.seconds, idle.peakKB / 1024.0);
    std::printf("  %-24s %9.2f %12s\n", "curl + bsdtar", ref.seconds, "");
    std::printf("  ratio %.2f, without the program's start and end %.2f (goal <= 1.3); memory above idle %.1f MB "
                "(goal < 64)\n",
                run.seconds / ref.seconds, (run.seconds - idle.seconds) / ref.seconds,
                (run.peakKB - idle.peakKB) / 1024.0);
    std::printf("  run %s; during the transfer progress cells painted %ld in %.2f s (%.1f/s), speed label seen "
                "changed %ld times (%.1f/s); during the unpacking %ld cells painted\n",
                ok ? "complete" : "INCOMPLETE", cells, span, span > 0 ? cells / span : 0.0, labels,
                span > 0 ? labels / span : 0.0, unpackCells);
  }
  fs::remove_all(root);
  return 0;
}
