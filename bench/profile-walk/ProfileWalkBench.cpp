// The self-update walk (TQuorvexWebUpdate::ProcessInfoFile through TIniFile, about four
// profile reads per section) over update lists of N sections, none of which is fetched. Each
// size is walked twice: right after the list was written, as the program walks a list it has
// just received (its text is read again on every call until its change time has settled, see
// Profile.cpp), and once more after the list has settled. Prints the time per section against
// the first size's and how many times the profile functions parsed the list: flat and one
// parse per list when the walk grows linearly.
//
//   profile_walk_bench [sections ...]        (default 1000 2500 10000)
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "IniFiles.h"
#include "QuorvexWebUpdate.h"
#include "winplat.h"

namespace fs = std::filesystem;
using bench::Seconds;

namespace {

class TBenchUpdate : public TQuorvexWebUpdate {
 public:
  explicit TBenchUpdate(AnsiString dir) : TQuorvexWebUpdate(nullptr), dir_(dir) {}
  AnsiString GetProgramDir() override { return dir_; }

 private:
  AnsiString dir_;
};

// Sections of files that are not there and are fetched only when they are (ONLYEXISTS=1).
std::string MakeList(long sections) {
  std::string text;
  char block[160];
  for (long i = 0; i < sections; ++i) {
    std::snprintf(block, sizeof block, "[FILE_Map%06ld.dat]\r\nPATH=Data\r\nCAB=Map%06ld.cab\r\nONLYEXISTS=1\r\n\r\n", i,
                  i);
    text += block;
  }
  return text;
}

double Walk(const std::string& dosList, const std::string& dosProgram) {
  const double t0 = Seconds();
  TBenchUpdate update(dosProgram.c_str());
  TIniFile ini(dosList.c_str());
  update.ProcessInfoFile("http://update.quorvex.example/pavo/_Movrant", &ini);
  return Seconds() - t0;
}

// Until the file's change time is more than two seconds behind the clock.
void WaitUntilSettled(const fs::path& file) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0) return;
  timespec until{st.st_ctim.tv_sec + 3, st.st_ctim.tv_nsec};
  while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtol(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {1000, 2500, 10000};

  char tmpl[] = "/tmp/profile-walk-bench-XXXXXX";
  const fs::path root = mkdtemp(tmpl);
  setenv("WINPLAT_DRIVES", ("C=" + root.string() + ",fixed").c_str(), 1);
  winplat::ReloadDrives();
  fs::create_directories(root / "Movrant");
  std::printf("profile walk benchmark in %s: ProcessInfoFile over N sections\n", root.c_str());
  std::printf("  %8s %9s %12s %10s %12s %10s %7s\n", "sections", "list KB", "walk", "s", "us/section", "growth",
              "parses");
  double firstPerSection = 0;
  for (long sections : sizes) {
    const std::string text = MakeList(sections);
    const fs::path list = root / ("list" + std::to_string(sections) + ".inf");
    std::ofstream(list, std::ios::binary) << text;
    for (const char* when : {"just written", "settled"}) {
      if (std::string(when) == "settled") WaitUntilSettled(list);
      const unsigned long parsed = winplat::ProfileTextsParsed();
      const double s = Walk(winplat::UnixToDos(list.string()), winplat::UnixToDos((root / "Movrant").string()));
      const double perSection = s / double(sections) * 1e6;
      if (firstPerSection == 0) firstPerSection = perSection;
      std::printf("  %8ld %9.1f %12s %10.3f %12.2f %9.2fx %7lu\n", sections, text.size() / 1024.0, when, s, perSection,
                  perSection / firstPerSection, winplat::ProfileTextsParsed() - parsed);
    }
  }
  fs::remove_all(root);
  return 0;
}
