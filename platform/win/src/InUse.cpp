// Files that Windows keeps from being deleted or replaced because they are in use as code: the
// program of a running process, and a library (or the program) this process has loaded.
#include <dirent.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>

#include "Internal.h"

namespace winplat {
namespace {

using FileId = std::pair<dev_t, ino_t>;

// The files mapped as code into this process, read again only when a library has been loaded
// or unloaded since (the loader counts both), so that a delete costs no read of the map.
class LoadedFiles {
 public:
  bool Contains(const FileId& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto counts = LoaderCounts();
    if (!read_ || counts != counts_) {
      Read();
      counts_ = counts;
      read_ = true;
    }
    return files_.count(id) > 0;
  }

 private:
  static std::pair<unsigned long long, unsigned long long> LoaderCounts() {
    std::pair<unsigned long long, unsigned long long> counts{0, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t size, void* data) {
          auto* c = static_cast<std::pair<unsigned long long, unsigned long long>*>(data);
          if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) *c = {info->dlpi_adds, info->dlpi_subs};
          return 1;  // the counts are the same in every entry
        },
        &counts);
    return counts;
  }
  void Read() {
    files_.clear();
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (!maps) return;
    char line[4096];
    while (std::fgets(line, sizeof line, maps)) {
      char perms[8] = {0};
      unsigned major = 0, minor = 0;
      unsigned long long inode = 0;
      if (std::sscanf(line, "%*x-%*x %7s %*x %x:%x %llu", perms, &major, &minor, &inode) != 4) continue;
      if (inode != 0 && perms[2] == 'x') files_.insert({makedev(major, minor), ino_t(inode)});
    }
    std::fclose(maps);
  }

  std::mutex mutex_;
  bool read_ = false;
  std::pair<unsigned long long, unsigned long long> counts_{0, 0};
  std::set<FileId> files_;
};

bool RunByALiveProcess(const FileId& id) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    struct stat st;
    std::string exe = std::string("/proc/") + e->d_name + "/exe";
    if (stat(exe.c_str(), &st) == 0 && st.st_dev == id.first && st.st_ino == id.second) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

}  // namespace

bool InUseAsCode(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return false;
  static LoadedFiles loaded;
  const FileId id{st.st_dev, st.st_ino};
  if (loaded.Contains(id)) return true;
  // Only a file with an execute bit can be a process's program.
  return (st.st_mode & 0111) && RunByALiveProcess(id);
}

}  // namespace winplat
