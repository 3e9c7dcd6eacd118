// One section of N keys (with a small section before and after it), read through TMemIniFile
// as the updater reads its record files: load the file, ReadSection for the key names, then
// ReadString for each of them. Prints the time of the load and of the reads per size, and each
// size's time per key against the first size's: flat when the reading grows linearly.
//
//   ini_bench [keys ...]        (default 1000 10000 100000)
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "IniFiles.h"

namespace fs = std::filesystem;
using bench::Seconds;

namespace {

std::string MakeText(long keys) {
  std::string text = "[HEAD]\r\nVERSION=3\r\n\r\n[FILES]\r\n";
  char line[96];
  for (long i = 0; i < keys; ++i) {
    std::snprintf(line, sizeof line, "MAP%06ld.DAT=%ld,%08lX\r\n", i, 1000 + i * 37, (unsigned long)(i * 2654435761u));
    text += line;
  }
  return text + "\r\n[TAIL]\r\nEND=1\r\n";
}

struct Timing {
  double load = 0, read = 0;
  long found = 0;
};

Timing ReadAll(const std::string& dosName) {
  Timing t;
  const double t0 = Seconds();
  TMemIniFile ini(dosName.c_str());
  const double t1 = Seconds();
  TStringList names;
  ini.ReadSection("FILES", &names);
  for (int i = 0; i < names.Count(); ++i)
    if (!ini.ReadString("FILES", names[i], "").IsEmpty()) ++t.found;
  t.load = t1 - t0;
  t.read = Seconds() - t1;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtol(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {1000, 10000, 100000};

  char tmpl[] = "/tmp/ini-bench-XXXXXX";
  const fs::path root = mkdtemp(tmpl);
  setenv("WINPLAT_DRIVES", ("C=" + root.string() + ",fixed").c_str(), 1);
  std::printf("ini benchmark in %s: ReadSection + ReadString over one section, best of 3\n", root.c_str());
  std::printf("  %8s %10s %10s %10s %12s %10s\n", "keys", "file KB", "load s", "read s", "us per key", "growth");
  double firstPerKey = 0;
  int status = 0;
  for (long keys : sizes) {
    const std::string text = MakeText(keys);
    std::ofstream(root / "rec.ini", std::ios::binary) << text;
    Timing best;
    for (int round = 0; round < 3; ++round) {
      const Timing t = ReadAll("C:\\rec.ini");
      if (t.found != keys) {
        std::printf("  %ld keys: %ld values read\n", keys, t.found);
        status = 1;
      }
      if (round == 0 || t.load + t.read < best.load + best.read) best = t;
    }
    const double perKey = (best.load + best.read) / double(keys) * 1e6;
    if (firstPerKey == 0) firstPerKey = perKey;
    std::printf("  %8ld %10.1f %10.4f %10.4f %12.3f %9.2fx\n", keys, text.size() / 1024.0, best.load, best.read, perKey,
                perKey / firstPerKey);
  }
  fs::remove_all(root);
  return status;
}
